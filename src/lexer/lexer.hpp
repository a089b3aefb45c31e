// The scanner: one left-to-right pass from source text to tokens.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "lexer/token.hpp"

namespace orvane {

// The one input the scanner cannot represent: an integer literal beyond 9223372036854775807.
struct LiteralTooLarge {
  std::string digits;
  size_t offset = 0;  // byte offset of the literal in the source
};

// Never fails otherwise: unknown characters are dropped, unterminated strings and comments
// end at the end of the text. The list always ends with one Eof token.
TokenList tokenize(std::string_view source);

// Every keyword's spelling, for completion in the interactive loop.
std::vector<std::string_view> keyword_spellings();

// Where a token begins: line and column from 1, the column counted in characters.
struct SourcePosition {
  uint32_t line;
  uint32_t column;
};

// The same list as tokenize(source), with where each token begins in `positions` (the Eof
// token at the end of the text) and, when `dropped` is given, the byte offset of each
// character the scan dropped (one that begins no token and no comment and is no blank). For
// tools; running a script never needs it.
TokenList tokenize(std::string_view source, std::vector<SourcePosition>& positions,
                   std::vector<size_t>* dropped = nullptr);

// The positions of the bytes at `offsets` (in increasing order) in `source`.
std::vector<SourcePosition> positions_of(std::string_view source,
                                         const std::vector<size_t>& offsets);

}  // namespace orvane
