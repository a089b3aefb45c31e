// What the forgiving parser can tell an onlooker: every place where it skipped a token, left a
// statement out, stood in a 0 for a missing expression or read the input in a way the writer
// may not have meant. The parser's result is the same with or without an observer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvane {

// Each kind comes with a token range [at, end) of the list the parser was given; where only
// one token is concerned, end is at + 1.
enum class Forgiven : uint8_t {
  // No expression could begin at `at`; the number 0 stands in and nothing is consumed. When the
  // attempt is then given up (one of the skips below, or EmptyStatement, at the same token),
  // that report comes right after this one and the 0 is gone again.
  MissingExpression,
  // A token that nothing could take, skipped where a statement, an element of a list, a match
  // arm or a dict key was to begin.
  TokenSkipped,
  ElementSkipped,
  ArmTokenSkipped,
  KeySkipped,
  // A statement that began at `at` did not fit its form and was left out; what it consumed
  // stays consumed and parsing goes on at `end`.
  StatementLeftOut,
  // A lone ";" where a statement begins: the statement is the number 0.
  EmptyStatement,
  // An "else" not followed by "{", dropped: the if has no else branch.
  ElseDropped,
  // A match arm whose body is the single expression [at, end), without braces.
  UnbracedArm,
  // A match arm pattern [at, end) not followed by "=>", discarded with no arm added.
  ArmLeftOut,
  // A dict key not followed by ":", dropped.
  KeyDropped,
  // A "." not followed by a name, dropped.
  DotDropped,
  // The argument list [at, end) after a callee that is not a plain name, parsed and discarded.
  ArgumentsDropped,
  // The bracket or brace at `at` is not closed; `end` is where its closer was expected.
  // BlockNotClosed is the same for the brace of a block, whose statements parse as usual.
  CloserMissing,
  BlockNotClosed,
};

class ParseObserver {
 public:
  virtual ~ParseObserver() = default;
  virtual void forgiven(Forgiven what, size_t at, size_t end) = 0;
};

}  // namespace orvane
