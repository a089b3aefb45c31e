#include "parser/ast.hpp"

namespace orvane {

void free_chain(std::unique_ptr<Expr>& head) {
  std::unique_ptr<Expr> node = std::move(head);
  while (node) {
    std::unique_ptr<Expr> next;
    if (node->kind == Expr::Binary)
      next = std::move(static_cast<BinaryExpr&>(*node).left);
    else if (node->kind == Expr::Index)
      next = std::move(static_cast<IndexExpr&>(*node).target);
    node = std::move(next);  // the node goes with its left link already cut
  }
}

}  // namespace orvane
