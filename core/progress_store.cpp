// The progress record in Data\Xdata.dat and the start-of-run rule.

#include <filesystem>
#include <limits>

#include "core.h"
#include "file_io.h"
#include "progress_line.h"
#include "skip_failing_steps.h"

namespace tessaly {

namespace {
// The record is one short line; anything past this is never read.
constexpr std::size_t ProgressFileReadLimit = 4096;
}  // namespace

void Core::SaveProgress() {
    if (keepStoredRecord_) {
        return;
    }
    // The new record replaces the old one only once it is wholly on the disk,
    // so a save that fails half-way (a full disk, a killed process, a power
    // cut) keeps the previous record; a read-only record is left as it is.
    const std::string line = FormatProgressLine({Level, RunCount, Experience});
    SkipIfFails([&] { ReplaceFileContent(progressPath_, line); });
}

void Core::LoadProgress() {
    std::optional<std::string> text;
    if (!SkipIfFails([&] { text = ReadFilePrefix(progressPath_, ProgressFileReadLimit); })) {
        // Something is there that cannot be read (no permission, a folder, a
        // FIFO, a link that leads nowhere). It may hold the user's progress:
        // this run goes on without ever saving over it.
        keepStoredRecord_ = true;
        return;
    }
    storedRecordHasContent_ = text && !text->empty();
    ProgressValues values{Level, RunCount, Experience};
    ReadProgressLine(text.value_or(std::string()), values);
    Level = values.level;
    RunCount = values.runCount;
    Experience = values.experience;
}

void Core::StartRun() {
    LoadProgress();
    if (RunCount == 0) {
        // First run: no record, an unreadable one, or a stored run count of 0.
        // A record with something in it is copied aside before the new one
        // replaces it, so a damaged file never costs the user's progress; when
        // that copy cannot be made, the record is not replaced at all.
        if (storedRecordHasContent_ && !keepStoredRecord_ &&
            !SkipIfFails([&] { CopyAside(progressPath_, unreadableProgressPath_); })) {
            keepStoredRecord_ = true;
        }
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
