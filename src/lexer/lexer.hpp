// The scanner: one left-to-right pass from source text to tokens.
#pragma once

#include <stdexcept>
#include <string_view>

#include "lexer/token.hpp"

namespace orvane {

// The one input the scanner cannot represent: an integer literal beyond 9223372036854775807.
struct LiteralTooLarge {
  std::string digits;
};

// Never fails otherwise: unknown characters are dropped, unterminated strings and comments
// end at the end of the text. The list always ends with one Eof token.
TokenList tokenize(std::string_view source);

}  // namespace orvane
