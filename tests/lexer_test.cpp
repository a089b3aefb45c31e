// Scanner: kinds and payloads of the token list for source texts, one table per concern.
#include "lexer/lexer.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "parser/dump.hpp"

namespace orvane {
namespace {

// One line per token list (the closing Eof left out by the caller): spellings for payload-free
// kinds, then id:NAME, n:INT, f:REAL, s:"TEXT" (with \n \t \r \\ \" shown escaped) and eof.
std::string describe(const TokenList& tokens) {
  std::string out;
  for (const Token& t : tokens) {
    if (!out.empty()) out += ' ';
    switch (t.kind()) {
      case TokenKind::Identifier:
        out += "id:" + t.text();
        break;
      case TokenKind::Number:
        out += "n:" + std::to_string(t.integer());
        break;
      case TokenKind::Float: {
        char buf[64];
        auto res = std::to_chars(buf, buf + sizeof buf, t.real());
        out += "f:" + std::string(buf, res.ptr);
        break;
      }
      case TokenKind::String:
        out += "s:" + quote(t.text());
        break;
      default:
        out += token_kind_name(t.kind());
    }
  }
  return out;
}

// The tokens before the closing Eof, which every list must have.
std::string scan(std::string_view source) {
  TokenList tokens = tokenize(source);
  if (tokens.empty() || tokens.back().kind() != TokenKind::Eof) return "<no eof>";
  tokens.pop_back();
  return describe(tokens);
}

struct Case {
  const char* source;
  const char* tokens;
};

void check_all(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(scan(c.source), c.tokens) << "source: " << c.source;
}

// Every payload-free kind, with its code and spelling, in code order. Scanning the spelling
// alone must give exactly that kind.
TEST(Lexer, EveryKindHasItsCodeAndSpelling) {
  struct KindCase {
    int code;
    const char* spelling;
  };
  const KindCase kinds[] = {
      {0, "let"},     {1, "def"}, {2, "return"}, {3, "if"},       {4, "else"},  {5, "while"},
      {6, "for"},     {7, "in"},  {8, "break"},  {9, "continue"}, {10, "true"}, {11, "false"},
      {12, "and"},    {13, "or"}, {14, "not"},   {15, "match"},   {16, "try"},  {17, "catch"},
      {18, "global"}, {23, "+"},  {24, "-"},     {25, "*"},       {26, "/"},    {27, "%"},
      {28, "**"},     {29, "="},  {30, "+="},    {31, "-="},      {32, "*="},   {33, "/="},
      {34, "=="},     {35, "!="}, {36, "<"},     {37, ">"},       {38, "<="},   {39, ">="},
      {40, "("},      {41, ")"},  {42, "{"},     {43, "}"},       {44, "["},    {45, "]"},
      {46, ","},      {47, ":"},  {48, ";"},     {49, "->"},      {50, "=>"},   {51, "."},
      {52, "?"},
  };
  for (const KindCase& k : kinds) {
    TokenList tokens = tokenize(k.spelling);
    ASSERT_EQ(tokens.size(), 2u) << k.spelling;
    EXPECT_EQ(static_cast<int>(tokens[0].kind()), k.code) << k.spelling;
    EXPECT_EQ(tokens[1].kind(), TokenKind::Eof);
  }
  // The payload kinds and the end sit at their codes too.
  EXPECT_EQ(static_cast<int>(tokenize("x")[0].kind()), 19);
  EXPECT_EQ(static_cast<int>(tokenize("1")[0].kind()), 20);
  EXPECT_EQ(static_cast<int>(tokenize("1.5")[0].kind()), 21);
  EXPECT_EQ(static_cast<int>(tokenize("\"\"")[0].kind()), 22);
  EXPECT_EQ(static_cast<int>(tokenize("")[0].kind()), 53);
  EXPECT_EQ(TOKEN_KIND_COUNT, 54);
}

TEST(Lexer, NothingButLayoutAndComments) {
  check_all({
      {"", ""},
      {" \t\r\n  \n", ""},
      {"# a comment", ""},  // no final line feed
      {"# one\n# two\n", ""},
      {"/* block */", ""},
      {"/* spans\nlines */ \n # and more", ""},
      {"/*", ""},
      {"/* never closed", ""},
  });
}

TEST(Lexer, Comments) {
  check_all({
      {"x # comment\ny", "id:x id:y"},
      {"x #\ny", "id:x id:y"},
      {"# \"not a string\nx", "id:x"},
      {"/* \" */ x", "id:x"},
      {"a /* b */ c", "id:a id:c"},
      {"/**/x", "id:x"},  // the smallest complete block comment
      {"/***/x", "id:x"},
      {"/*/ x", ""},                  // the opening star does not close: still inside
      {"/*/*/x", "id:x"},             // "/*", then "/" and "*/"
      {"/* /* */ x */", "id:x * /"},  // comments do not nest
      {"/* ** */x", "id:x"},
      {"//x", "/ / id:x"},  // two slashes are not a comment
      {"/ *x", "/ * id:x"},
      {"a/*", "id:a"},
      {"1/*2*/3", "n:1 n:3"},
      {"#é\nx", "id:x"},
  });
}

TEST(Lexer, StringLiterals) {
  check_all({
      {R"("")", R"(s:"")"},
      {R"("hello world")", R"(s:"hello world")"},
      {R"("a#b")", R"(s:"a#b")"},
      {R"("/* no comment */")", R"(s:"/* no comment */")"},
      {"\"line\nbreak\"", R"(s:"line\nbreak")"},  // a raw line break stays
      {R"("a\nb")", R"(s:"a\nb")"},
      {R"("\t\r")", R"(s:"\t\r")"},
      {R"("\\")", R"(s:"\\")"},
      {R"("say \"hi\"")", R"(s:"say \"hi\"")"},
      {R"("\q")", R"(s:"\\q")"},  // unknown escapes keep both characters
      {R"("\0")", R"(s:"\\0")"},
      {R"("\\n")", R"(s:"\\n")"},  // an escaped backslash, then a plain n
      {R"("\é")", R"(s:"\\é")"},
      {R"("\)", R"(s:"")"},       // backslash at the end: dropped, literal ends
      {R"("abc)", R"(s:"abc")"},  // unterminated: everything to the end
      {R"("abc\)", R"(s:"abc")"},
      {R"("a\")", R"(s:"a\"")"},  // the escaped quote does not close
      {R"("a"b)", R"(s:"a" id:b)"},
      {R"("a""b")", R"(s:"a" s:"b")"},
      {R"("x" + "y")", R"(s:"x" + s:"y")"},
      {R"("let if 12")", R"(s:"let if 12")"},
      {"\"日本\"", "s:\"日本\""},
  });
}

TEST(Lexer, OperatorsTakeAtMostOneCharacterOfLookahead) {
  check_all({
      {"===", "== ="},
      {"-->", "- ->"},
      {"->=", "-> ="},
      {"**=", "** ="},  // no compound "**="
      {"%=", "% ="},    // nor "%="
      {"***", "** *"},
      {"=>=", "=> ="},
      {"==>", "== >"},
      {"<==", "<= ="},
      {"!==", "!= ="},
      {"!x", "not id:x"},
      {"not x", "not id:x"},
      {"! =", "not ="},
      {"!!x", "not not id:x"},
      {"< =", "< ="},
      {"a-=1", "id:a -= n:1"},
      {"a-1", "id:a - n:1"},
      {"a- -1", "id:a - - n:1"},
      {"x**=2", "id:x ** = n:2"},
      {"+", "+"},
      {"-", "-"},
      {"=", "="},
      {"!", "not"},
      {"<", "<"},
      {"(){}[],:;.?", "( ) { } [ ] , : ; . ?"},
      {"a.b", "id:a . id:b"},
      {"a?b:c", "id:a ? id:b : id:c"},
  });
}

TEST(Lexer, CharactersWithoutARuleAreDropped) {
  check_all({
      {"&&||^~$'@`\\", ""},
      {"a&b", "id:a id:b"},
      {"a && b || c", "id:a id:b id:c"},
      {"\x01\x1f\x7f"
       "x",
       "id:x"},
      {"\xEF\xBB\xBFlet x", "let id:x"},  // a byte-order mark
      {"é", ""},
      {"αβγ", ""},
      {"😀 1", "n:1"},
      {"a\u00A0b", "id:a id:b"},  // no-break space: neither layout nor part of a name
      {"a\u2028b", "id:a id:b"},
      {"a\u3000b", "id:a id:b"},
      {"x\uFEFFy", "id:x id:y"},  // a format character inside a name ends it
      {"1\u00B72", "n:1 n:2"},
  });
}

TEST(Lexer, NumbersAndTheDotRule) {
  check_all({
      {"0", "n:0"},
      {"42", "n:42"},
      {"007", "n:7"},
      {"0000", "n:0"},
      {"1.5", "f:1.5"},
      {"0.25", "f:0.25"},
      {"2.0", "f:2"},
      {"00.50", "f:0.5"},
      {"1.", "n:1 ."},
      {"1.x", "n:1 . id:x"},
      {"1..", "n:1 . ."},
      {"1..5", "n:1 . . n:5"},
      {"0..10", "n:0 . . n:10"},
      {".5", ". n:5"},
      {"1.2.3", "f:1.2 . n:3"},
      {"1.2..3", "f:1.2 . . n:3"},
      {"1 .5", "n:1 . n:5"},
      {"1. 5", "n:1 . n:5"},
      {"1e5", "n:1 id:e5"},  // no exponents
      {"1.5e3", "f:1.5 id:e3"},
      {"-5", "- n:5"},  // no signed literals
      {"-1.5", "- f:1.5"},
      {"12abc", "n:12 id:abc"},
      {"abc12", "id:abc12"},
      {"1_000", "n:1 id:_000"},
      {"0x1F", "n:0 id:x1F"},
      {"3٣", "n:3"},  // only ASCII digits make numbers
      {"9223372036854775807", "n:9223372036854775807"},
      {"0009223372036854775807", "n:9223372036854775807"},
      {"0.1", "f:0.1"},
      {"0.30000000000000004", "f:0.30000000000000004"},
      {"3.14159265358979323846264338327950288", "f:3.141592653589793"},
      {"123456789012345678901234567890.0", "f:1.2345678901234568e+29"},
  });
}

TEST(Lexer, FloatLiteralsOutsideTheDoubleRange) {
  std::string huge = "1" + std::string(400, '0') + ".5";
  TokenList t = tokenize(huge);
  ASSERT_EQ(t[0].kind(), TokenKind::Float);
  EXPECT_EQ(t[0].real(), std::numeric_limits<double>::infinity());

  std::string tiny = "0." + std::string(400, '0') + "1";
  t = tokenize(tiny);
  ASSERT_EQ(t[0].kind(), TokenKind::Float);
  EXPECT_EQ(t[0].real(), 0.0);

  // Subnormal values are still the nearest double, not zero.
  std::string subnormal = "0." + std::string(320, '0') + "5";  // 5e-321
  t = tokenize(subnormal);
  ASSERT_EQ(t[0].kind(), TokenKind::Float);
  EXPECT_EQ(t[0].real(), 5e-321);
  EXPECT_GT(t[0].real(), 0.0);

  std::string max =
      "179769313486231570814527423731704356798070567525844996598917476803157260780"
      "028538760589558632766878171540458953514382464234321326889464182768467546703"
      "537516986049910576551282076245490090389328944075868508455133942304583236903"
      "222948165808559332123348274797826204144723168738177180919299881250404026184"
      "124858368.0";
  t = tokenize(max);
  EXPECT_EQ(t[0].real(), std::numeric_limits<double>::max());
}

TEST(Lexer, IntegerLiteralsBeyondTheRangeAreRefused) {
  for (const char* digits : {"9223372036854775808", "18446744073709551616", "18446744073709551615",
                             "99999999999999999999999", "92233720368547758070"}) {
    try {
      tokenize(std::string("x = ") + digits + " + 1");
      ADD_FAILURE() << digits << " was accepted";
    } catch (const LiteralTooLarge& e) {
      EXPECT_EQ(e.digits, digits);
    }
  }
  // The same digits as a float are fine.
  EXPECT_EQ(scan("9223372036854775808.0"), "f:9223372036854775808");
}

TEST(Lexer, NamesAndKeywords) {
  check_all({
      {"let def return if else while for in break continue",
       "let def return if else while for in break continue"},
      {"true false and or not match try catch global",
       "true false and or not match try catch global"},
      {"elseif", "id:elseif"},
      {"iffy", "id:iffy"},
      {"If", "id:If"},
      {"LET", "id:LET"},
      {"True", "id:True"},
      {"notx", "id:notx"},
      {"_", "id:_"},
      {"__", "id:__"},
      {"_x1", "id:_x1"},
      {"x_y_z", "id:x_y_z"},
      {"a.b", "id:a . id:b"},
      {"if(x)", "if ( id:x )"},
      {"print", "id:print"},
  });
}

// Non-ASCII letters and digits may continue a name but never begin one.
TEST(Lexer, NamesContinueWithUnicodeLettersAndDigits) {
  check_all({
      {"café", "id:café"},
      {"naïve", "id:naïve"},
      {"x中文", "id:x中文"},
      {"éa", "id:a"},  // the leading letter is dropped
      {"中x", "id:x"},
      {"aΩb", "id:aΩb"},
      {"x٣", "id:x٣"},            // Arabic-Indic digit three (Nd)
      {"xⅫ", "id:xⅫ"},            // Roman numeral twelve (Nl)
      {"x½", "id:x½"},            // vulgar fraction (No)
      {"x²", "id:x²"},            // superscript two (No)
      {"xª", "id:xª"},            // feminine ordinal (Lo)
      {"x\u0345", "id:x\u0345"},  // combining ypogegrammeni: a mark, but Alphabetic
      {"a\u0301b", "id:a id:b"},  // combining acute: neither Alphabetic nor a number
      {"x😀y", "id:x id:y"},
      {"x·y", "id:x id:y"},
      {"x−y", "id:x id:y"},  // U+2212 minus sign is a symbol, not the operator
      {"ifé", "id:ifé"},     // a keyword continued by a letter is a name
      {"_é", "id:_é"},
  });
}

TEST(Lexer, TokenSequencesOfCommonForms) {
  check_all({
      {"x ** = 2", "id:x ** = n:2"},
      {"x**=2", "id:x ** = n:2"},
      {"let x = 10;", "let id:x = n:10 ;"},
      {"for i in 0..n { }", "for id:i in n:0 . . id:n { }"},
      {"match v { _ => 1 }", "match id:v { id:_ => n:1 }"},
      {"def f(a, b) -> x", "def id:f ( id:a , id:b ) -> id:x"},
      {"a[0]=1", "id:a [ n:0 ] = n:1"},
  });
}

TEST(Lexer, ListEndsWithExactlyOneEof) {
  for (const char* src : {"", "x", "\"open", "/* open", "# open", "1.", "a b c"}) {
    TokenList t = tokenize(src);
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.back().kind(), TokenKind::Eof) << src;
    for (size_t i = 0; i + 1 < t.size(); ++i) EXPECT_NE(t[i].kind(), TokenKind::Eof) << src;
  }
}

TEST(Lexer, ScanningIsRepeatable) {
  std::string src = "def f(a) { return a * 2.5 + \"x\\n\" } # end\nlet y = f(1)..9";
  EXPECT_EQ(tokenize(src), tokenize(src));
}

TEST(Token, EqualityComparesKindsAndPayloads) {
  EXPECT_EQ(Token(TokenKind::Identifier, "a"), Token(TokenKind::Identifier, "a"));
  EXPECT_NE(Token(TokenKind::Identifier, "a"), Token(TokenKind::Identifier, "b"));
  EXPECT_NE(Token(TokenKind::Identifier, "a"), Token(TokenKind::String, "a"));
  EXPECT_EQ(Token::number(7), Token::number(7));
  EXPECT_NE(Token::number(7), Token::number(8));
  EXPECT_NE(Token::number(1), Token::real(1.0));
  EXPECT_EQ(Token::real(0.0), Token::real(-0.0));  // numeric equality
  EXPECT_NE(Token::real(0.5), Token::real(0.25));
  EXPECT_EQ(Token(TokenKind::Plus), Token(TokenKind::Plus));
  EXPECT_NE(Token(TokenKind::Plus), Token(TokenKind::Minus));
}

// Tokens own their string text: copies are independent, moves hand it over.
TEST(Token, CopiesAndMovesKeepTheirText) {
  TokenList original =
      tokenize("\"a fairly long string literal, longer than any small buffer\" x 1");
  TokenList copy = original;
  EXPECT_EQ(copy, original);
  original.clear();
  ASSERT_EQ(copy.size(), 4u);
  EXPECT_EQ(copy[0].text(), "a fairly long string literal, longer than any small buffer");
  EXPECT_EQ(copy[1].text(), "x");

  Token moved = std::move(copy[0]);
  EXPECT_EQ(moved.text(), "a fairly long string literal, longer than any small buffer");
  Token assigned(TokenKind::Plus);
  assigned = moved;
  EXPECT_EQ(assigned, moved);
  assigned = Token::string("other");
  EXPECT_EQ(assigned.text(), "other");
  EXPECT_EQ(moved.text(), "a fairly long string literal, longer than any small buffer");
  assigned = Token::number(3);
  EXPECT_EQ(assigned.integer(), 3);
  Token& self = assigned;
  assigned = self;
  EXPECT_EQ(assigned.integer(), 3);

  // Growing a list moves every token; the texts must survive it.
  TokenList many;
  for (int i = 0; i < 1000; ++i) many.push_back(Token::string(std::string(40, 'a' + i % 26)));
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(many[i].text(), std::string(40, 'a' + i % 26));
}

}  // namespace
}  // namespace orvane
