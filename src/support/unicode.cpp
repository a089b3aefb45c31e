#include "support/unicode.hpp"

#include <unicode/utf8.h>

#include "support/icu.hpp"

namespace orvane::unicode {

bool is_valid_utf8(std::string_view text) {
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  int32_t length = static_cast<int32_t>(text.size());
  if (text.size() > INT32_MAX) {
    // ICU's macros index with 32 bits; check huge texts in pieces that end on a boundary.
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = std::min(text.size(), pos + (size_t{1} << 30));
      while (end < text.size() && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) ++end;
      if (!is_valid_utf8(text.substr(pos, end - pos))) return false;
      pos = end;
    }
    return true;
  }
  for (int32_t i = 0; i < length;) {
    if (s[i] < 0x80) {
      ++i;
      continue;
    }
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

char32_t decode(std::string_view text, size_t& pos) {
  auto b = static_cast<uint8_t>(text[pos]);
  if (b < 0x80) {
    ++pos;
    return b;
  }
  int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
  char32_t c = b & (0x3F >> extra);
  ++pos;
  for (int k = 0; k < extra && pos < text.size(); ++k, ++pos)
    c = (c << 6) | (static_cast<uint8_t>(text[pos]) & 0x3F);
  return c;
}

bool is_alphanumeric(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  auto cp = static_cast<UChar32>(c);
  if (icu::has_binary_property()(cp, UCHAR_ALPHABETIC)) return true;
  int8_t category = icu::char_type()(cp);
  return category == U_DECIMAL_DIGIT_NUMBER || category == U_LETTER_NUMBER ||
         category == U_OTHER_NUMBER;
}

namespace {

bool is_white_space(char32_t c) {
  return icu::has_binary_property()(static_cast<UChar32>(c), UCHAR_WHITE_SPACE);
}

// Length in bytes of the character that ends at text[end - 1].
size_t previous_length(std::string_view text, size_t end) {
  size_t start = end - 1;
  while (start > 0 && (static_cast<uint8_t>(text[start]) & 0xC0) == 0x80) --start;
  return end - start;
}

}  // namespace

std::string_view trim_white_space(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size()) {
    size_t next = begin;
    if (!is_white_space(decode(text, next))) break;
    begin = next;
  }
  size_t end = text.size();
  while (end > begin) {
    size_t len = previous_length(text, end);
    size_t at = end - len;
    if (!is_white_space(decode(text, at))) break;
    end -= len;
  }
  return text.substr(begin, end - begin);
}

}  // namespace orvane::unicode
