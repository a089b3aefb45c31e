// len, upper, lower, slice, split, concat, contains, reverse, push, pop.
// Two measures of a string live here side by side: len counts bytes, slice counts characters.
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

#include "interpreter/builtins.hpp"
#include "support/icu.hpp"
#include "support/unicode.hpp"

namespace orvane {

namespace {

bool is_continuation(char byte) { return (static_cast<uint8_t>(byte) & 0xC0) == 0x80; }

// The first place at or after `from` where `needle` (not empty) occurs, or npos. glibc's memmem
// is linear in the worst case.
size_t find_text(std::string_view haystack, std::string_view needle, size_t from) {
  if (from > haystack.size()) return std::string_view::npos;
  const void* at =
      ::memmem(haystack.data() + from, haystack.size() - from, needle.data(), needle.size());
  if (!at) return std::string_view::npos;
  return static_cast<size_t>(static_cast<const char*>(at) - haystack.data());
}

// The display form of a value, borrowing a String's own text instead of copying it.
class DisplayText {
 public:
  explicit DisplayText(const Value& v) {
    if (v.is(Value::String)) {
      m_view = v.as_string();
    } else {
      append_display(m_owned, v);
      m_view = m_owned;
    }
  }
  std::string_view view() const { return m_view; }

 private:
  std::string m_owned;
  std::string_view m_view;
};

// ---- case mapping ----

struct CaseMapCloser {
  void operator()(UCaseMap* map) const { icu::case_map_close()(map); }
};

// The root locale's case mapper: full mappings, Final_Sigma, no language tailoring.
const UCaseMap* root_case_map() {
  static thread_local std::unique_ptr<UCaseMap, CaseMapCloser> map = [] {
    UErrorCode status = U_ZERO_ERROR;
    return std::unique_ptr<UCaseMap, CaseMapCloser>(icu::case_map_open()("", 0, &status));
  }();
  return map.get();
}

using CaseFunction = int32_t (*)(const UCaseMap*, char*, int32_t, const char*, int32_t,
                                 UErrorCode*);

// Maps one piece short enough for ICU's 32-bit lengths, appending to `out`.
void map_piece(std::string& out, std::string_view piece, CaseFunction convert) {
  size_t start = out.size();
  // Most text keeps its length; a few characters grow (ß to SS, ŉ to ʼN).
  size_t capacity = piece.size() + piece.size() / 8 + 16;
  for (;;) {
    check_allocation(start + capacity);
    out.resize(start + capacity);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = convert(root_case_map(), out.data() + start, static_cast<int32_t>(capacity),
                             piece.data(), static_cast<int32_t>(piece.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      capacity = static_cast<size_t>(length);
      continue;
    }
    // ICU fails only for lengths beyond its range, which the pieces avoid; keep the text then.
    if (U_FAILURE(status)) {
      out.resize(start);
      out += piece;
      return;
    }
    out.resize(start + static_cast<size_t>(length));
    return;
  }
}

// Case-ignorable ASCII characters: a Final_Sigma context runs through them.
bool is_ascii_case_ignorable(char c) {
  return c == '\'' || c == '.' || c == ':' || c == '^' || c == '`';
}

// Where to cut a long text for ICU, at most `limit` bytes from `from`. The best cut falls
// between two ASCII characters that are not case-ignorable: no Final_Sigma context can reach
// across them, so the pieces map exactly as the whole would. Without such a pair nearby, any
// character boundary will do.
size_t cut_point(std::string_view text, size_t from, size_t limit) {
  size_t end = from + limit;
  if (end >= text.size()) return text.size();
  size_t floor = from + limit / 2;
  for (size_t p = end; p > floor; --p) {
    char before = text[p - 1], after = text[p];
    if (static_cast<uint8_t>(before) < 0x80 && static_cast<uint8_t>(after) < 0x80 &&
        !is_ascii_case_ignorable(before) && !is_ascii_case_ignorable(after))
      return p;
  }
  while (end > from + 1 && is_continuation(text[end])) --end;
  return end;
}

// A cut between two ASCII characters that are not case-ignorable (or at either end) leaves no
// context for the other side to see.
bool is_clean_cut(std::string_view text, size_t p) {
  auto plain = [](char c) { return static_cast<uint8_t>(c) < 0x80 && !is_ascii_case_ignorable(c); };
  return p == 0 || p == text.size() || (plain(text[p - 1]) && plain(text[p]));
}

bool is_case_ignorable(char32_t c) { return icu::has_binary_property()(c, UCHAR_CASE_IGNORABLE); }

// The nearest character before `pos` that is not case-ignorable, as text; empty if none.
std::string_view context_before(std::string_view text, size_t pos) {
  while (pos > 0) {
    size_t start = pos - 1;
    while (start > 0 && is_continuation(text[start])) --start;
    size_t at = start;
    if (!is_case_ignorable(unicode::decode(text, at))) return text.substr(start, pos - start);
    pos = start;
  }
  return {};
}

// The nearest character at or after `pos` that is not case-ignorable, as text; empty if none.
std::string_view context_after(std::string_view text, size_t pos) {
  while (pos < text.size()) {
    size_t start = pos;
    if (!is_case_ignorable(unicode::decode(text, pos))) return text.substr(start, pos - start);
  }
  return {};
}

size_t mapped_length(std::string_view text, CaseFunction convert) {
  std::string out;
  map_piece(out, text, convert);
  return out.size();
}

// Maps text[from, to) as it maps inside the whole text. The only rule that looks around a
// character (a final sigma) looks past case-ignorable characters to the nearest other one on
// each side, so those two are mapped along with the piece and their own mappings, which do not
// depend on what surrounds them in length, are cut off again.
void map_piece_in_context(std::string& out, std::string_view text, size_t from, size_t to,
                          CaseFunction convert) {
  std::string_view before = context_before(text, from);
  std::string_view after = context_after(text, to);
  check_allocation(uint64_t{before.size()} + (to - from) + after.size());
  std::string piece;
  piece.reserve(before.size() + (to - from) + after.size());
  piece += before;
  piece += text.substr(from, to - from);
  piece += after;
  size_t start = out.size();
  map_piece(out, piece, convert);
  out.resize(out.size() - mapped_length(after, convert));
  out.erase(start, mapped_length(before, convert));
}

}  // namespace

// Full case mapping of `text` in pieces of at most `limit` bytes (ICU counts in 32 bits).
// Not in a header: only the case builtins and their tests call it.
std::string map_case(std::string_view text, bool to_upper, size_t limit) {
  CaseFunction convert = to_upper ? icu::to_upper() : icu::to_lower();
  std::string out;
  check_allocation(text.size());
  out.reserve(text.size());
  for (size_t from = 0; from < text.size();) {
    size_t to = cut_point(text, from, limit);
    if (is_clean_cut(text, from) && is_clean_cut(text, to))
      map_piece(out, text.substr(from, to - from), convert);
    else
      map_piece_in_context(out, text, from, to, convert);
    from = to;
  }
  return out;
}

namespace {

// Small enough that even a threefold growth (ΐ to three letters) fits ICU's int32 lengths.
constexpr size_t ICU_PIECE_LIMIT = size_t{1} << 28;

Value case_builtin(BuiltinArgs args, bool to_upper) {
  if (!args[0].is(Value::String)) return Value::null();
  const std::string& text = args[0].as_string();
  // Pure ASCII needs no tables. The argument is changed where it is (copied first when
  // shared), so that a failure leaves it whole.
  if (args[0].is_ascii()) {
    if (!args[0].is_unique()) check_allocation(text.size());
    std::string& s = args[0].mutable_string();
    for (char& c : s) {
      if (to_upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (!to_upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return std::move(args[0]);
  }
  return Value::string(map_case(text, to_upper, ICU_PIECE_LIMIT));
}

// ---- split ----

// Every character on its own, with an empty piece before the first and after the last.
Value split_characters(std::string_view text) {
  size_t count = 2;
  for (char c : text) count += !is_continuation(c);
  check_allocation(uint64_t{count} * (sizeof(Value) + sizeof(StringObject)) + text.size());
  Value pieces = Value::empty_array(count);
  pieces.append(Value::string(""));
  for (size_t i = 0; i < text.size();) {
    size_t j = i + 1;
    while (j < text.size() && is_continuation(text[j])) ++j;
    pieces.append(Value::string(std::string(text.substr(i, j - i))));
    i = j;
  }
  pieces.append(Value::string(""));
  return pieces;
}

Value split_on(std::string_view text, std::string_view separator) {
  size_t count = 1;
  for (size_t at = find_text(text, separator, 0); at != std::string_view::npos;
       at = find_text(text, separator, at + separator.size()))
    ++count;
  check_allocation(uint64_t{count} * (sizeof(Value) + sizeof(StringObject)) + text.size());
  Value pieces = Value::empty_array(count);
  size_t from = 0;
  for (size_t at = find_text(text, separator, 0); at != std::string_view::npos;
       at = find_text(text, separator, from)) {
    pieces.append(Value::string(std::string(text.substr(from, at - from))));
    from = at + separator.size();
  }
  pieces.append(Value::string(std::string(text.substr(from))));
  return pieces;
}

}  // namespace

namespace builtins {

Value len(ReadArgs args, Host&) {
  const Value& v = args[0];
  switch (v.kind()) {
    case Value::String:
      return Value::number(static_cast<int64_t>(v.as_string().size()));
    case Value::Array:
      return Value::number(static_cast<int64_t>(v.as_array().size()));
    case Value::Dict:
      return Value::number(static_cast<int64_t>(v.as_dict().size()));
    default:
      return Value::null();
  }
}

Value upper(BuiltinArgs args, Host&) { return case_builtin(args, true); }

Value lower(BuiltinArgs args, Host&) { return case_builtin(args, false); }

// Start is read unsigned, so a negative start lies past every end; the count end - start
// wraps, so an end before start takes the rest of the text.
Value slice(BuiltinArgs args, Host&) {
  std::optional<int64_t> start = as_integer(args[1]);
  std::optional<int64_t> end = as_integer(args[2]);
  if (!start || !end || !args[0].is(Value::String)) return Value::null();
  std::string_view text = args[0].as_string();
  auto skip = static_cast<uint64_t>(*start);
  uint64_t take = static_cast<uint64_t>(*end) - static_cast<uint64_t>(*start);
  // A text has no more characters than bytes.
  if (skip >= text.size() || take == 0) return Value::string("");
  size_t pos, stop;
  if (args[0].is_ascii()) {
    pos = skip;
    stop = take >= text.size() - pos ? text.size() : pos + take;
  } else {
    pos = args[0].character_offset(skip);
    stop = skip_characters(text, pos, take);
  }
  return Value::string(std::string(text.substr(pos, stop - pos)));
}

Value split(BuiltinArgs args, Host&) {
  DisplayText text(args[0]);
  DisplayText separator(args[1]);
  if (separator.view().empty()) return split_characters(text.view());
  return split_on(text.view(), separator.view());
}

// `s = concat(s, ...)` hands over the only reference to s, which then grows in place. Should
// that fail, s is cut back to what it was, so the caller can give it back unchanged.
Value concat(BuiltinArgs args, Host&) {
  if (args.empty()) return Value::string("");
  bool in_place = args[0].is(Value::String) && args[0].is_unique();
  Value fresh = in_place ? Value() : Value::string("");
  Value& result = in_place ? args[0] : fresh;
  std::string& out = result.mutable_string();
  size_t kept = out.size();
  try {
    for (size_t i = in_place ? 1 : 0; i < args.size(); ++i) {
      if (args[i].is(Value::String))
        check_allocation(uint64_t{out.size()} + args[i].as_string().size());
      append_display(out, args[i]);
    }
  } catch (...) {
    out.resize(kept);
    throw;
  }
  return std::move(result);
}

Value contains(ReadArgs args, Host&) {
  DisplayText haystack(args[0]);
  DisplayText needle(args[1]);
  if (needle.view().empty()) return Value::boolean(true);
  return Value::boolean(find_text(haystack.view(), needle.view(), 0) != std::string_view::npos);
}

Value reverse(BuiltinArgs args, Host&) {
  if (!args[0].is(Value::Array)) return Value::null();
  if (!args[0].is_unique()) {
    std::span<const Value> items = args[0].as_array();
    return Value::array(std::vector<Value>(items.rbegin(), items.rend()));
  }
  std::span<Value> items = args[0].mutable_array();
  std::reverse(items.begin(), items.end());
  return std::move(args[0]);
}

// `a = push(a, x)` hands over the only reference to a, so the append is in place. A failed
// append leaves a as it was.
Value push(BuiltinArgs args, Host&) {
  if (!args[0].is(Value::Array)) return Value::null();
  append_in_place(args[0], std::move(args[1]));
  return std::move(args[0]);
}

Value pop(BuiltinArgs args, Host&) {
  if (!args[0].is(Value::Array) || args[0].as_array().empty()) return Value::null();
  return args[0].as_array().back();
}

}  // namespace builtins

}  // namespace orvane
