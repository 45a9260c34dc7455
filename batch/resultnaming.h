// The names the runner gives results under --name PATTERN: the pattern with its fields filled
// in, in the root of drive D: like File Save's "D:\out<stem>.raw". Fields: {stem} (the image's
// name up to its first '.'), {ext} (its ending after the last '.'), {step} (the step, or the
// chain's steps joined by '-') and each parameter's name ({threshold}, in a chain also
// {threshold.threshold}) for its value in the run.
#pragma once

#include "batchstep.h"

#include <optional>
#include <string>
#include <vector>

class CResultNaming {
public:
    // Nothing, with problem set, when a field is unknown or a brace has no partner.
    static std::optional<CResultNaming>
    Make(const std::string& pattern, const std::vector<CBatchStep>& steps, std::string& problem);

    // "D:\photo_threshold_64.raw" for the entry "photo.png".
    std::string ResultName(const std::string& entryName) const;

private:
    enum class Field { Text, Stem, Ext };
    struct Part {
        Field field;
        std::string text; // of Text, a run's fields filled in already
    };

    std::vector<Part> m_parts;
};
