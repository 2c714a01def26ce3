#pragma once

#include <array>
#include <cstdint>
#include <filesystem>

namespace tessaly {

inline constexpr int MaxLevel = 60;

// The user's progress and everything that reads, changes and keeps it: the
// level threshold table, the progress record, the awards and the level-up.
// One object per program, built with the folder that holds the executable;
// every file it touches lies below that folder.
//
// The record is public, as the windows read and change it directly. Values
// that were never set are 0.
class Core {
public:
    explicit Core(std::filesystem::path programFolder);

    std::int32_t Level = 0;
    std::int32_t RunCount = 0;
    double Experience = 0.0;

    const std::filesystem::path& ProgramFolder() const { return programFolder_; }

    // T(index), the cumulative experience that ends level `index`. Throws
    // Failure for an index outside 0..60.
    std::int32_t Threshold(std::int64_t index) const;
    void SetThreshold(std::int64_t index, std::int32_t value);

    // Level threshold table (Data\Data.dat). Both skip failing steps.
    void BuildLevelTable();
    void LoadLevelThreshold();

    // Progress record (Data\Xdata.dat). All three skip failing steps. A record
    // that is there but cannot be read, or that could not be copied aside
    // before a first run replaces it, is never saved over by this object.
    void SaveProgress();
    void LoadProgress();
    void StartRun();

    // Awards: each adds its amount to Experience and does nothing else.
    void AwardSponsorClick();
    void AwardStatusTextChange();
    void AwardProgressChange(std::int32_t progressMax);
    void AwardDownloadComplete();
    void AwardNavigateComplete();

    // At the level cap, drops Experience to 0 and returns true.
    bool ApplyCapRule();
    // Raises Level by one when Experience has reached T(Level), then reads
    // T(Level) of the level now current. Throws Failure for a Level outside 0..60.
    void ApplyLevelUp();

private:
    static std::size_t CheckedIndex(std::int64_t index);

    std::filesystem::path programFolder_;
    std::filesystem::path levelTablePath_;
    std::filesystem::path progressPath_;
    std::filesystem::path unreadableProgressPath_;
    bool storedRecordHasContent_ = false;
    bool keepStoredRecord_ = false;
    std::array<std::int32_t, MaxLevel + 1> levelThresholds_{};
};

}  // namespace tessaly
