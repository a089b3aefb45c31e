// A request to stop the running code, made from a signal handler (Ctrl-C, SIGTERM, SIGHUP)
// and honoured by the interpreter at its next loop round or call, which throws Interrupted.
// The driver and the interactive loop decide what stopping means for them.
#pragma once

#include <csignal>

namespace orvane {

// Thrown by the interpreter when a stop was requested; `signal` is the signal that asked.
struct Interrupted {
  int signal;
};

namespace interrupt {

// The number of the signal that asked to stop, or 0. Written only by request() and take().
extern volatile std::sig_atomic_t g_requested;

// Async-signal-safe: records that `signal` asks the running code to stop.
inline void request(int signal) { g_requested = signal; }
inline bool requested() { return g_requested != 0; }
// The pending request's signal (0 if none), cleared.
int take();
// Throws Interrupted when a stop was requested, clearing the request.
void check();

}  // namespace interrupt
}  // namespace orvane
