#include "interpreter/builtins.hpp"

#include <cmath>

namespace orvane {

namespace {

// A reader called as a handler.
template <BuiltinReader Read>
Value reading(BuiltinArgs args, Host& host) {
  return Read(args, host);
}

// The fixed table: name, minimum number of arguments, handler, and the handler again for a
// builtin that only reads its arguments.
constexpr BuiltinEntry TABLE[] = {
    {"len", 1, reading<builtins::len>, builtins::len},
    {"pop", 1, builtins::pop},
    {"abs", 1, reading<builtins::abs>, builtins::abs},
    {"pow", 2, reading<builtins::pow>, builtins::pow},
    {"min", 2, reading<builtins::min>, builtins::min},
    {"max", 2, reading<builtins::max>, builtins::max},
    {"push", 2, builtins::push},
    {"sqrt", 1, reading<builtins::sqrt>, builtins::sqrt},
    {"ceil", 1, reading<builtins::ceil>, builtins::ceil},
    {"rect", 4, builtins::rect},
    {"fill", 2, builtins::fill},
    {"draw", 2, builtins::draw},
    {"print", 0, builtins::print},
    {"input", 1, builtins::input},
    {"upper", 1, builtins::upper},
    {"lower", 1, builtins::lower},
    {"slice", 3, builtins::slice},
    {"split", 2, builtins::split},
    {"floor", 1, reading<builtins::floor>, builtins::floor},
    {"round", 1, reading<builtins::round>, builtins::round},
    {"clear", 0, builtins::clear},
    {"color", 3, builtins::color},
    {"concat", 0, builtins::concat},
    {"random", 0, builtins::random},
    {"typeof", 1, reading<builtins::type_of>, builtins::type_of},
    {"window", 2, builtins::window},
    {"circle", 3, builtins::circle},
    {"reverse", 1, builtins::reverse},
    {"is_dict", 0, reading<builtins::is_dict>, builtins::is_dict},
    {"present", 0, builtins::present},
    {"is_open", 0, builtins::is_open},
    {"contains", 2, reading<builtins::contains>, builtins::contains},
    {"is_array", 0, reading<builtins::is_array>, builtins::is_array},
    {"triangle", 6, builtins::triangle},
    {"is_number", 0, reading<builtins::is_number>, builtins::is_number},
    {"is_string", 0, reading<builtins::is_string>, builtins::is_string},
    {"random_range", 2, builtins::random_range},
    {"window_width", 0, builtins::window_width},
    {"window_height", 0, builtins::window_height},
};

static_assert(TABLE[BUILTIN_PUSH].name == "push");
static_assert(TABLE[BUILTIN_LEN].name == "len");

constexpr double TWO_POW_63 = 9223372036854775808.0;

}  // namespace

int builtin_index(std::string_view name) {
  for (size_t i = 0; i < std::size(TABLE); ++i)
    if (TABLE[i].name == name) return static_cast<int>(i);
  return -1;
}

std::vector<std::string_view> builtin_names() {
  std::vector<std::string_view> names;
  for (const BuiltinEntry& entry : TABLE) names.push_back(entry.name);
  return names;
}

const BuiltinEntry* find_builtin(std::string_view name) {
  int index = builtin_index(name);
  return index < 0 ? nullptr : &TABLE[index];
}

Value call_builtin_at(int index, BuiltinArgs args, Host& host) {
  const BuiltinEntry& entry = TABLE[index];
  if (args.size() < entry.min_args) return Value::null();
  return entry.handler(args, host);
}

bool reads_only(int index) { return TABLE[index].reader != nullptr; }

Value call_builtin_reading(int index, ReadArgs args, Host& host) {
  const BuiltinEntry& entry = TABLE[index];
  if (args.size() < entry.min_args) return Value::null();
  return entry.reader(args, host);
}

Value call_builtin_at(int index, BuiltinArgs args, GraphicsContext& graphics) {
  Host host(graphics, RandomSource::for_thread());
  return call_builtin_at(index, args, host);
}

std::optional<Value> call_builtin(std::string_view name, std::vector<Value> args,
                                  GraphicsContext& graphics) {
  int index = builtin_index(name);
  if (index < 0) return std::nullopt;
  return call_builtin_at(index, args, graphics);
}

std::optional<int64_t> as_integer(const Value& v) {
  if (v.is(Value::Number)) return v.as_number();
  if (!v.is(Value::Float)) return std::nullopt;
  double d = v.as_float();
  if (std::isnan(d)) return 0;
  if (d >= TWO_POW_63) return INT64_MAX;
  if (d < -TWO_POW_63) return INT64_MIN;
  return static_cast<int64_t>(d);
}

std::optional<double> as_real(const Value& v) {
  if (v.is(Value::Float)) return v.as_float();
  if (v.is(Value::Number)) return static_cast<double>(v.as_number());
  return std::nullopt;
}

}  // namespace orvane
