// The scanner: one left-to-right pass from source text to tokens.
#pragma once

#include <stdexcept>
#include <string_view>
#include <vector>

#include "lexer/token.hpp"

namespace orvane {

// The one input the scanner cannot represent: an integer literal beyond 9223372036854775807.
struct LiteralTooLarge {
  std::string digits;
};

// Never fails otherwise: unknown characters are dropped, unterminated strings and comments
// end at the end of the text. The list always ends with one Eof token.
TokenList tokenize(std::string_view source);

// Every keyword's spelling, for completion in the interactive loop.
std::vector<std::string_view> keyword_spellings();

}  // namespace orvane
