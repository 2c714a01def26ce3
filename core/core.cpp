#include "core.h"

#include <string>
#include <utility>

#include "failure.h"
#include "program_path.h"

namespace tessaly {

Core::Core(std::filesystem::path programFolder)
    : programFolder_(std::move(programFolder)),
      levelTablePath_(ProgramPath(programFolder_, "\\Data\\Data.dat")),
      progressPath_(ProgramPath(programFolder_, "\\Data\\Xdata.dat")),
      unreadableProgressPath_(ProgramPath(programFolder_, "\\Data\\Xdata.dat.unreadable")) {}

std::size_t Core::CheckedIndex(std::int64_t index) {
    if (index < 0 || index > MaxLevel) {
        throw Failure("level index out of range: " + std::to_string(index));
    }
    return static_cast<std::size_t>(index);
}

std::int32_t Core::Threshold(std::int64_t index) const {
    return levelThresholds_[CheckedIndex(index)];
}

void Core::SetThreshold(std::int64_t index, std::int32_t value) {
    levelThresholds_[CheckedIndex(index)] = value;
}

}  // namespace tessaly
