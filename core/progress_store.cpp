// The progress record in Data\Xdata.dat and the start-of-run rule.

#include <filesystem>
#include <limits>

#include "core.h"
#include "failure.h"
#include "file_io.h"
#include "progress_line.h"
#include "skip_failing_steps.h"

namespace tessaly {

namespace {
// The record is one short line; anything past this is never read.
constexpr std::size_t ProgressFileReadLimit = 4096;
}  // namespace

void Core::SaveProgress() {
    // The new record goes to a file beside the old one and replaces it only once
    // it is written, flushed and closed, so a save that fails half-way (a full
    // disk, a killed process) keeps the previous record.
    const std::string line = FormatProgressLine({Level, RunCount, Experience});
    bool complete = false;
    SkipFailingSteps(
        [&] {
            WriteWholeFile(progressTempPath_, line);
            complete = true;
        },
        [&] {
            if (!complete) {
                throw Failure("no complete record to put in place");
            }
            std::filesystem::rename(progressTempPath_, progressPath_);
        });
}

void Core::LoadProgress() {
    std::string text;
    SkipFailingSteps([&] { text = ReadFilePrefix(progressPath_, ProgressFileReadLimit); });
    ProgressValues values{Level, RunCount, Experience};
    ReadProgressLine(text, values);
    Level = values.level;
    RunCount = values.runCount;
    Experience = values.experience;
}

void Core::StartRun() {
    LoadProgress();
    if (RunCount == 0) {
        // First run: no record, an unreadable one, or a stored run count of 0.
        // A record that is there but gave no run count is kept aside before the
        // new one replaces it, so a damaged file never costs the user's progress.
        SkipIfFails([&] {
            if (std::filesystem::exists(progressPath_)) {
                std::filesystem::copy_file(progressPath_, unreadableProgressPath_,
                                           std::filesystem::copy_options::overwrite_existing);
            }
        });
        BuildLevelTable();
        Level = 1;
        RunCount = 1;
        Experience = 0.0;
        LoadLevelThreshold();
    } else {
        LoadLevelThreshold();
        // A hand-edited record at the largest count stays there rather than wrapping.
        if (RunCount < std::numeric_limits<std::int32_t>::max()) {
            RunCount = RunCount + 1;
        }
    }
    SaveProgress();
}

}  // namespace tessaly
