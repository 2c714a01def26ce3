#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "core.h"
#include "rank_presentation.h"

namespace tessaly::testing {

// A program folder of its own for each test, with a Data folder unless asked
// otherwise; removed at the end of the test.
class TempProgramFolder {
public:
    explicit TempProgramFolder(bool withDataFolder = true) {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("tessaly-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path_);
        if (withDataFolder) {
            std::filesystem::create_directory(path_ / "Data");
        }
    }
    ~TempProgramFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempProgramFolder(const TempProgramFolder&) = delete;
    TempProgramFolder& operator=(const TempProgramFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path LevelTable() const { return path_ / "Data" / "Data.dat"; }
    std::filesystem::path Progress() const { return path_ / "Data" / "Xdata.dat"; }

private:
    std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A threshold file whose records hold the given values (record n = values[n - 1]).
inline std::string LevelTableBytes(const std::vector<std::int32_t>& values) {
    std::string bytes(values.size() * 128, '\0');
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto bits = static_cast<std::uint32_t>(values[i]);
        for (int b = 0; b < 4; ++b) {
            bytes[i * 128 + b] = static_cast<char>((bits >> (8 * b)) & 0xFF);
        }
    }
    return bytes;
}

// Records everything the refresh writes, like a bar and labels would show it.
class RecordingDisplay : public ProgressDisplay {
public:
    float min = 0, max = 100, value = 0;
    std::string barToolTip, rankNumber = "9999999", rankTitle = "往往往往", insignia,
                            insigniaToolTip;
    std::vector<std::string> rangeSettings;  // "min=..." / "max=..." in call order

    void SetBarMin(float v) override {
        min = v;
        rangeSettings.push_back("min=" + std::to_string(static_cast<long long>(v)));
    }
    void SetBarMax(float v) override {
        max = v;
        rangeSettings.push_back("max=" + std::to_string(static_cast<long long>(v)));
    }
    void SetBarValue(float v) override { value = v; }
    float BarMin() const override { return min; }
    float BarMax() const override { return max; }
    void SetBarToolTip(const std::string& t) override { barToolTip = t; }
    void SetRankNumber(const std::string& t) override { rankNumber = t; }
    void SetRankTitle(const std::string& t) override { rankTitle = t; }
    void SetInsignia(const std::string& t) override { insignia = t; }
    void SetInsigniaToolTip(const std::string& t) override { insigniaToolTip = t; }
};

}  // namespace tessaly::testing
