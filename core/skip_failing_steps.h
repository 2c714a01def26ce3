#pragma once

#include <utility>

namespace tessaly {

// Runs one step and swallows whatever it throws: the step is skipped and the
// caller goes on with its next statement. Returns whether the step completed.
template <class Step>
bool SkipIfFails(Step&& step) noexcept {
    try {
        std::forward<Step>(step)();
        return true;
    } catch (...) {
        return false;
    }
}

// Runs the steps in order; a step that fails is skipped and the next one runs.
// Used by the procedures whose failures must never stop the program, such as
// the progress file operations and the sponsor-image clicks.
template <class... Steps>
void SkipFailingSteps(Steps&&... steps) noexcept {
    (SkipIfFails(std::forward<Steps>(steps)), ...);
}

}  // namespace tessaly
