#include "progress_line.h"

#include <cmath>
#include <limits>
#include <optional>

#include "number_text.h"

namespace tessaly {

namespace {

std::optional<std::int32_t> ToWholeNumber(double value) {
    const double rounded = std::nearbyint(value);  // the default mode rounds ties to even
    if (rounded < std::numeric_limits<std::int32_t>::min() ||
        rounded > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(rounded);
}

// Splits off the next comma-separated field; false when the line has no more.
bool NextField(std::string_view& line, bool& exhausted, std::string_view& field) {
    if (exhausted) {
        return false;
    }
    const auto comma = line.find(',');
    field = line.substr(0, comma);
    if (comma == std::string_view::npos) {
        exhausted = true;
    } else {
        line.remove_prefix(comma + 1);
    }
    return true;
}

}  // namespace

std::string FormatProgressLine(const ProgressValues& values) {
    return std::to_string(values.level) + ',' + std::to_string(values.runCount) + ',' +
           DecimalText(values.experience) + "\r\n";
}

void ReadProgressLine(std::string_view text, ProgressValues& values) {
    // Editors such as Notepad put a byte-order mark before UTF-8 text.
    constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(ByteOrderMark)) {
        text.remove_prefix(ByteOrderMark.size());
    }
    std::string_view line = text.substr(0, text.find_first_of("\r\n"));
    bool exhausted = line.empty();
    std::string_view field;

    const auto readWhole = [&](std::int32_t& target) {
        if (!NextField(line, exhausted, field)) {
            return false;
        }
        const auto number = ParseDecimal(field);
        const auto whole = number ? ToWholeNumber(*number) : std::nullopt;
        if (!whole) {
            return false;
        }
        target = *whole;
        return true;
    };

    if (!readWhole(values.level) || !readWhole(values.runCount) ||
        !NextField(line, exhausted, field)) {
        return;
    }
    if (const auto experience = ParseDecimal(field)) {
        values.experience = *experience;
    }
}

}  // namespace tessaly
