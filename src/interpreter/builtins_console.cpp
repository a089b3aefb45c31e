// print, input, typeof and the type tests.
#include <string>

#include "interpreter/builtins.hpp"
#include "support/input.hpp"
#include "support/output.hpp"
#include "support/unicode.hpp"

namespace orvane::builtins {

Value print(BuiltinArgs args, Host& host) {
  if (output::discarding()) return Value::null();  // nothing to format for
  std::string text;
  for (const Value& v : args) {
    append_display(text, v);
    text += '\n';
  }
  host.write(text);
  return Value::null();
}

Value input(BuiltinArgs args, Host& host) {
  host.write(display(args[0]));
  std::optional<std::string> line = input::read_line();
  // A line that is not valid UTF-8 counts as empty.
  if (!line || !unicode::is_valid_utf8(*line)) return Value::string("");
  return Value::string(std::string(unicode::trim_white_space(*line)));
}

Value type_of(ReadArgs args, Host&) { return Value::string(std::string(type_name(args[0]))); }

Value is_number(ReadArgs args, Host&) {
  return Value::boolean(!args.empty() && (args[0].is(Value::Number) || args[0].is(Value::Float)));
}

Value is_string(ReadArgs args, Host&) {
  return Value::boolean(!args.empty() && args[0].is(Value::String));
}

Value is_array(ReadArgs args, Host&) {
  return Value::boolean(!args.empty() && args[0].is(Value::Array));
}

Value is_dict(ReadArgs args, Host&) {
  return Value::boolean(!args.empty() && args[0].is(Value::Dict));
}

}  // namespace orvane::builtins
