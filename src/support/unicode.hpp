// The Unicode rules the scanner and the console need, answered by ICU.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane::unicode {

bool is_valid_utf8(std::string_view text);
// Decodes the character at text[pos] (valid UTF-8 assumed) and advances pos past it.
char32_t decode(std::string_view text, size_t& pos);
// Alphabetic, or general category Nd, Nl or No: may continue a name.
bool is_alphanumeric(char32_t c);
// Removes leading and trailing characters with the White_Space property.
std::string_view trim_white_space(std::string_view text);

}  // namespace orvane::unicode
