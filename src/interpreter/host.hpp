// What a builtin may reach beyond its arguments: standard output, the window and the random
// source. The interpreter hands its own host to every builtin it calls.
#pragma once

#include <string_view>

#include "interpreter/random.hpp"
#include "support/output.hpp"

namespace orvane {

class GraphicsContext;

class Host {
 public:
  Host(GraphicsContext& graphics, RandomSource& random) : m_graphics(graphics), m_random(random) {}

  GraphicsContext& graphics() { return m_graphics; }
  RandomSource& random() { return m_random; }
  void write(std::string_view text) { output::write(text); }

 private:
  GraphicsContext& m_graphics;
  RandomSource& m_random;
};

}  // namespace orvane
