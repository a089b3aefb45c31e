// A compact one-line S-expression rendering of a syntax tree, for tests and debugging.
//
//   expressions  42  2.5  "text"  true  name  (+ a b)  (- a)  (not a)  (call f a b)
//                (array a b)  (dict (k v) ...)  (index t i)  (range a b)
//   statements   (let x e)  (= x e)  (+= x e)  (def f (a b) {...})  (if c {...} {...})
//                (while c {...})  (for x e {...})  (match e (=> p {...}) (=> _ {...}))
//                (try {...} err {...})  (return)  (return e)  (break)  (continue)
//                (global x)  (expr e)
//   blocks       {s1 s2}; a program is its statements separated by blanks.
//
// Floats always show a decimal point, so 2.0 and 2 stay apart; strings are quoted with
// \" \\ \n \t \r escaped.
#pragma once

#include <string>
#include <string_view>

#include "parser/ast.hpp"

namespace orvane {

// A string literal's text in double quotes with \" \\ \n \t \r escaped.
std::string quote(std::string_view text);
std::string dump(const Expr& expr);
std::string dump(const Stmt& stmt);
std::string dump(const Block& block);
// The statements of a program, separated by blanks, without the braces of a block.
std::string dump_program(const Program& program);

}  // namespace orvane
