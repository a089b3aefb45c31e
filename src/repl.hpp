// The interactive loop: one interpreter for the whole session, entries held while brackets
// are open.
#pragma once

namespace orvane {

void run_repl();

}  // namespace orvane
