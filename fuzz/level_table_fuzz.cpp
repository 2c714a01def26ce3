// The threshold table reader on a Data.dat of any length and content, and a
// rebuild over it.
//
// Invariants: a level's threshold is read from its record exactly when the
// record's four value bytes lie in the file, every other entry keeps its
// value, and a rebuild rewrites records 1 to 59 and keeps every byte after them.

#include <algorithm>
#include <cstdint>
#include <string>

#include "core.h"
#include "fuzz_folder.h"

using tessaly::fuzz::Broken;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const tessaly::fuzz::FuzzFolder Folder;
    Folder.Clear();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    Folder.Write("Data.dat", bytes);

    tessaly::Core core(Folder.Path());
    constexpr std::int32_t Untouched = -777;
    for (std::int32_t level = -1; level <= tessaly::MaxLevel + 1; ++level) {
        core.Level = level;
        if (level >= 0 && level <= tessaly::MaxLevel) {
            core.SetThreshold(level, Untouched);
        }
        core.LoadLevelThreshold();
        if (level < 0 || level > tessaly::MaxLevel) {
            continue;
        }
        const std::size_t offset = (static_cast<std::size_t>(level) - 1) * 128;
        std::int32_t expected = Untouched;
        if (level >= 1 && offset + 4 <= bytes.size()) {
            std::uint32_t bits = 0;
            for (std::size_t b = 0; b < 4; ++b) {
                bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + b]))
                        << (8 * b);
            }
            expected = static_cast<std::int32_t>(bits);
        }
        if (core.Threshold(level) != expected) {
            Broken("a threshold read does not match its record");
        }
    }

    core.BuildLevelTable();
    const std::string rebuilt = Folder.Read("Data.dat");
    const std::size_t written = 59 * 128;
    if (rebuilt.size() != std::max(bytes.size(), written) ||
        (bytes.size() > written &&
         rebuilt.compare(written, std::string::npos, bytes, written) != 0)) {
        Broken("a rebuild changed bytes after record 59");
    }
    if (rebuilt.compare(0, 4, std::string("\x64\x00\x00\x00", 4)) != 0) {
        Broken("a rebuild did not write record 1");
    }
    return 0;
}
