// What a step sees when its input is the result of the step before it (a chain): the result
// as the gray plane, and as gray in all three channels of the colour plane, so that the gray
// level of every pixel is the result's value and a step works the same on an image and on a
// result. The planes are shared blocks, which a step's own process can map.
#pragma once

#include "debugalloc.h"
#include "processingstep.h"

#include <optional>

struct CResultInput {
    CByteBlock gray;
    CByteBlock color;
    int width = 0;
    int height = 0;

    CStepInput Input() const { return {width, height, gray.get(), color.get()}; }
};

// The input a step gets from result (width * height bytes); nothing when there is no memory
// for it or the size is not an image's.
std::optional<CResultInput> ResultAsInput(int width, int height, const BYTE* result);
