#include "number_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

namespace tessaly {

std::string DecimalText(double value) {
    if (value == 0.0) {
        return "0";  // also for -0.0, which would otherwise print as "-0"
    }
    // Shortest round-trip digits in fixed notation; 330 characters hold the
    // longest fixed form of any finite double.
    std::array<char, 330> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed);
    return std::string(buffer.data(), result.ptr);
}

std::optional<double> ParseDecimal(std::string_view text) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace tessaly
