// Chains in the window: with 颜色 > 在结果上继续 checked, the next chosen step takes the shown
// result as its input image (resultinput.h), and the status bar names the chain that led to
// the result shown ("gray → sobel → threshold（阈值 128）").
#pragma once

#include "resultorigin.h"

#include <memory>
#include <string>

class CVexlanView;

class CStepChain {
public:
    explicit CStepChain(CVexlanView& view) : m_view(view) {}

    bool IsContinuing() const { return m_continuing; }
    void ToggleContinuing() { m_continuing = !m_continuing; }

    // Where a step chosen now starts: the links before it and its input, the shown result
    // while continuing on it (nothing when there is no memory for it), else the image.
    std::optional<CResultOrigin> Next();
    // Where the shown result came from; empty while it came from no step.
    const CResultOrigin& Shown() const { return m_shown; }
    void SetShown(CResultOrigin origin) { m_shown = std::move(origin); }
    // The origin of the shown result with its last link taken off: where it starts again.
    CResultOrigin ShownStart() const;

    // The chain of the shown result for the status bar; empty for a single step without
    // parameters and for a result of no step.
    std::string Description() const;
    // "sobel-threshold_128": the chain and the last step's values as part of a file name.
    std::string FileWord() const;

private:
    CVexlanView& m_view;
    bool m_continuing = false;
    CResultOrigin m_shown;
    // The shown result as an input, made once for all the steps that continue on it.
    CSharedResultInput m_resultInput;
    std::weak_ptr<std::uint8_t[]> m_resultInputOf;
};
