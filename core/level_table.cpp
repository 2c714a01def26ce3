// The level threshold table: T(1) = 100, T(n) = T(n - 1) + 100 (n - 1)^2,
// kept in Data\Data.dat as 128-byte records 1 to 59.

#include <cmath>

#include "core.h"
#include "file_io.h"
#include "skip_failing_steps.h"

namespace tessaly {

void Core::BuildLevelTable() {
    File file;
    SkipIfFails([&] { file = OpenForUpdate(levelTablePath_); });

    // The table is computed in full even when the file cannot be written.
    levelThresholds_[1] = 100;
    for (int i = 1; i <= MaxLevel - 1; ++i) {
        const double next = std::pow(static_cast<double>(i), 2.0) * 100.0 + levelThresholds_[i];
        levelThresholds_[i + 1] = static_cast<std::int32_t>(std::nearbyint(next));
        // Record i gets T(i); T(60) is never stored.
        SkipIfFails([&] { WriteRecord(file.get(), i, levelThresholds_[i]); });
    }

    SkipIfFails([&] { CloseFile(file); });
}

void Core::LoadLevelThreshold() {
    // Runs on every progress refresh, so it reads the one record straight from
    // the file. A file that cannot be opened reads nothing. A level outside
    // 0..60 reads nothing; record 0 does not exist, so T(0) stays 0. A record
    // whose value bytes are not in the file keeps the value in memory.
    SkipIfFails([&] {
        const RecordReader file(levelTablePath_);
        const std::size_t k = CheckedIndex(Level);
        levelThresholds_[k] = file.Read(static_cast<std::int64_t>(k));
    });
}

}  // namespace tessaly
