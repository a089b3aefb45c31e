// The linter: scans and parses a source text exactly as a run would, and reports what the
// forgiving parser dropped or read in a way the writer probably did not mean.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lexer/lexer.hpp"

namespace orvane::lint {

struct Finding {
  SourcePosition position;
  // An error stops a run before anything executes; everything else is a warning.
  bool error = false;
  std::string text;
};

// The findings for one source text (valid UTF-8), in source order.
std::vector<Finding> lint_source(std::string_view source);

// "FILE:LINE:COLUMN: warning: TEXT" (or "error:"), without a line feed.
std::string format(std::string_view file, const Finding& finding);

}  // namespace orvane::lint
