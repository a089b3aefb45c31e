#include "support/interrupt.hpp"

namespace orvane::interrupt {

volatile std::sig_atomic_t g_requested = 0;

int take() {
  int signal = g_requested;
  g_requested = 0;
  return signal;
}

void check() {
  if (requested()) throw Interrupted{take()};
}

}  // namespace orvane::interrupt
