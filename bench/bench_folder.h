#pragma once

#include <filesystem>
#include <random>
#include <string>

#include "core.h"

namespace tessaly::bench {

// A program folder of the benchmark's own, made once: the level table is
// built and the record stands at level 30, where refreshes read a threshold
// from disk and never level up at 1000 points. Remove it at the end of main.
inline std::filesystem::path BenchProgramFolder() {
    static const std::filesystem::path Folder = [] {
        std::random_device random;
        auto path =
            std::filesystem::temp_directory_path() / ("tessaly-bench-" + std::to_string(random()));
        std::filesystem::create_directories(path / "Data");
        Core first(path);
        first.StartRun();
        first.Level = 30;
        first.SaveProgress();
        return path;
    }();
    return Folder;
}

}  // namespace tessaly::bench
