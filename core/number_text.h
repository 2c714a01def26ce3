#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// Decimal text of a number that never depends on the user's locale: a point
// as decimal separator, no exponent, no thousands separators, a whole value
// without a point, and the fewest digits that read back to the same double.
std::string DecimalText(double value);

// Reads a decimal number such as "12", "-3", "0.5" or ".5", with blanks
// (spaces and tabs) around it. Anything else - letters, quotes, an empty
// field, "nan", "inf", a value too large for a double - is no number.
std::optional<double> ParseDecimal(std::string_view text);

}  // namespace tessaly
