#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace tessaly::fuzz {

// One program folder for the whole fuzzing process, with a Data folder that
// is emptied before each input. Removed when the process ends normally.
class FuzzFolder {
public:
    FuzzFolder() {
        path_ =
            std::filesystem::temp_directory_path() / ("tessaly-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(Data());
    }
    ~FuzzFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path Data() const { return path_ / "Data"; }

    void Clear() const {
        for (const auto& entry : std::filesystem::directory_iterator(Data())) {
            std::filesystem::remove_all(entry.path());
        }
    }

    void Write(const std::string& name, std::string_view bytes) const {
        std::ofstream out(Data() / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    std::string Read(const std::string& name) const {
        std::ifstream in(Data() / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path path_;
};

// Stops the run with a crash that libFuzzer records, with the input that caused it.
[[noreturn]] inline void Broken(const char* invariant) {
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

}  // namespace tessaly::fuzz
