// The fixed table of builtin functions and the two numeric coercions they share.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "interpreter/host.hpp"
#include "interpreter/value.hpp"

namespace orvane {

class GraphicsContext;

// Arguments arrive by value: a handler owns them and may move out of them. The table has
// already checked the minimum count, so a handler may index args[0..min-1] freely.
using BuiltinArgs = std::span<Value>;
using BuiltinHandler = Value (*)(BuiltinArgs args, Host& host);
// The arguments of a builtin that only reads them, which may be variables' own values.
using ReadArgs = std::span<const Value>;
using BuiltinReader = Value (*)(ReadArgs args, Host& host);

struct BuiltinEntry {
  std::string_view name;
  size_t min_args;
  BuiltinHandler handler;
  BuiltinReader reader = nullptr;  // the handler itself, for a builtin that only reads
};

// Index of the builtin called `name`, or -1 when no builtin has that name.
int builtin_index(std::string_view name);
// Every builtin's name, in table order.
std::vector<std::string_view> builtin_names();
// The table entry of the builtin called `name`, or null.
const BuiltinEntry* find_builtin(std::string_view name);
// The table index of `push`, which the interpreter runs in place for `a = push(a, x)`.
inline constexpr int BUILTIN_PUSH = 6;
// The table index of `len`, which the interpreter works out itself for an array.
inline constexpr int BUILTIN_LEN = 0;

// Runs builtin `index` with the argument-count rule applied: too few arguments give Null.
Value call_builtin_at(int index, BuiltinArgs args, Host& host);
// The same with a host made of `graphics` and the thread's random source.
Value call_builtin_at(int index, BuiltinArgs args, GraphicsContext& graphics);
// Whether builtin `index` only reads its arguments.
bool reads_only(int index);
// Runs builtin `index`, which only reads its arguments, on arguments that stay where they are.
Value call_builtin_reading(int index, ReadArgs args, Host& host);

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
Value print(BuiltinArgs, Host&);
Value input(BuiltinArgs, Host&);
Value type_of(ReadArgs, Host&);
Value is_number(ReadArgs, Host&);
Value is_string(ReadArgs, Host&);
Value is_array(ReadArgs, Host&);
Value is_dict(ReadArgs, Host&);
// Strings and collections (builtins_strings.cpp).
Value len(ReadArgs, Host&);
Value upper(BuiltinArgs, Host&);
Value lower(BuiltinArgs, Host&);
Value slice(BuiltinArgs, Host&);
Value split(BuiltinArgs, Host&);
Value concat(BuiltinArgs, Host&);
Value contains(ReadArgs, Host&);
Value reverse(BuiltinArgs, Host&);
Value push(BuiltinArgs, Host&);
Value pop(BuiltinArgs, Host&);
// Math and random (builtins_math.cpp).
Value abs(ReadArgs, Host&);
Value pow(ReadArgs, Host&);
Value sqrt(ReadArgs, Host&);
Value floor(ReadArgs, Host&);
Value ceil(ReadArgs, Host&);
Value round(ReadArgs, Host&);
Value min(ReadArgs, Host&);
Value max(ReadArgs, Host&);
Value random(BuiltinArgs, Host&);
Value random_range(BuiltinArgs, Host&);
// Window, frame, shapes (graphics.cpp).
Value window(BuiltinArgs, Host&);
Value is_open(BuiltinArgs, Host&);
Value present(BuiltinArgs, Host&);
Value clear(BuiltinArgs, Host&);
Value window_width(BuiltinArgs, Host&);
Value window_height(BuiltinArgs, Host&);
Value rect(BuiltinArgs, Host&);
Value circle(BuiltinArgs, Host&);
Value triangle(BuiltinArgs, Host&);
Value color(BuiltinArgs, Host&);
Value draw(BuiltinArgs, Host&);
Value fill(BuiltinArgs, Host&);
}  // namespace builtins

}  // namespace orvane
