// The fixed table of builtin functions and the two numeric coercions they share.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "interpreter/value.hpp"

namespace orvane {

class GraphicsContext;

// Arguments arrive by value: a handler owns them and may move out of them. The table has
// already checked the minimum count, so a handler may index args[0..min-1] freely.
using BuiltinArgs = std::span<Value>;
using BuiltinHandler = Value (*)(BuiltinArgs args, GraphicsContext& graphics);

struct BuiltinEntry {
  std::string_view name;
  size_t min_args;
  BuiltinHandler handler;
};

// Index of the builtin called `name`, or -1 when no builtin has that name.
int builtin_index(std::string_view name);
// Every builtin's name, in table order.
std::vector<std::string_view> builtin_names();
// The table entry of the builtin called `name`, or null.
const BuiltinEntry* find_builtin(std::string_view name);
// The table index of `push`, which the interpreter runs in place for `a = push(a, x)`.
inline constexpr int BUILTIN_PUSH = 6;

// Runs builtin `index` with the argument-count rule applied: too few arguments give Null.
Value call_builtin_at(int index, BuiltinArgs args, GraphicsContext& graphics);

// The dispatcher by name: empty (NotBuiltin) when no builtin has that name.
std::optional<Value> call_builtin(std::string_view name, std::vector<Value> args,
                                  GraphicsContext& graphics);

// Number as is; Float truncated toward zero, saturating, NaN as 0; other kinds rejected.
std::optional<int64_t> as_integer(const Value& v);
// Float as is; Number to the nearest double; other kinds rejected.
std::optional<double> as_real(const Value& v);

// Handlers, one family per source file.
namespace builtins {
// Console and type tests (builtins_console.cpp).
Value print(BuiltinArgs, GraphicsContext&);
Value input(BuiltinArgs, GraphicsContext&);
Value type_of(BuiltinArgs, GraphicsContext&);
Value is_number(BuiltinArgs, GraphicsContext&);
Value is_string(BuiltinArgs, GraphicsContext&);
Value is_array(BuiltinArgs, GraphicsContext&);
Value is_dict(BuiltinArgs, GraphicsContext&);
// Strings and collections (builtins_strings.cpp).
Value len(BuiltinArgs, GraphicsContext&);
Value upper(BuiltinArgs, GraphicsContext&);
Value lower(BuiltinArgs, GraphicsContext&);
Value slice(BuiltinArgs, GraphicsContext&);
Value split(BuiltinArgs, GraphicsContext&);
Value concat(BuiltinArgs, GraphicsContext&);
Value contains(BuiltinArgs, GraphicsContext&);
Value reverse(BuiltinArgs, GraphicsContext&);
Value push(BuiltinArgs, GraphicsContext&);
Value pop(BuiltinArgs, GraphicsContext&);
// Math and random (builtins_math.cpp).
Value abs(BuiltinArgs, GraphicsContext&);
Value pow(BuiltinArgs, GraphicsContext&);
Value sqrt(BuiltinArgs, GraphicsContext&);
Value floor(BuiltinArgs, GraphicsContext&);
Value ceil(BuiltinArgs, GraphicsContext&);
Value round(BuiltinArgs, GraphicsContext&);
Value min(BuiltinArgs, GraphicsContext&);
Value max(BuiltinArgs, GraphicsContext&);
Value random(BuiltinArgs, GraphicsContext&);
Value random_range(BuiltinArgs, GraphicsContext&);
// Window, frame, shapes (graphics.cpp).
Value window(BuiltinArgs, GraphicsContext&);
Value is_open(BuiltinArgs, GraphicsContext&);
Value present(BuiltinArgs, GraphicsContext&);
Value clear(BuiltinArgs, GraphicsContext&);
Value window_width(BuiltinArgs, GraphicsContext&);
Value window_height(BuiltinArgs, GraphicsContext&);
Value rect(BuiltinArgs, GraphicsContext&);
Value circle(BuiltinArgs, GraphicsContext&);
Value triangle(BuiltinArgs, GraphicsContext&);
Value color(BuiltinArgs, GraphicsContext&);
Value draw(BuiltinArgs, GraphicsContext&);
Value fill(BuiltinArgs, GraphicsContext&);
}  // namespace builtins

}  // namespace orvane
