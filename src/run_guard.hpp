// The few failures that end a script run (or drop an interactive entry), each with its message.
#pragma once

#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#include "interpreter/interpreter.hpp"
#include "lexer/lexer.hpp"
#include "parser/parser.hpp"

namespace orvane {

// Runs `work`; returns the message of the limit it hit, or nothing when it finished.
template <class F>
std::optional<std::string> run_guarded(F&& work) {
  try {
    work();
    return std::nullopt;
  } catch (const LiteralTooLarge& e) {
    return "Error: integer literal too large: " + e.digits;
  } catch (const NestingTooDeep&) {
    return "Error: nesting too deep";
  } catch (const RecursionTooDeep&) {
    return "Error: maximum recursion depth exceeded";
  } catch (const OutOfMemory&) {
    return "Error: out of memory";
  } catch (const std::bad_alloc&) {
    return "Error: out of memory";
  } catch (const std::length_error&) {
    return "Error: out of memory";
  }
}

}  // namespace orvane
