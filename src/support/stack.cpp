#include "support/stack.hpp"

#include <pthread.h>

#include <cstdlib>

namespace orvane::stack {

namespace {

constexpr size_t LARGE_STACK = size_t{4} << 30;
// Room kept free below the limit for the frames that run between two checks.
constexpr size_t MARGIN = size_t{1} << 20;

struct Job {
  const std::function<int()>* body;
  int result;
};

void* run_job(void* arg) {
  auto* job = static_cast<Job*>(arg);
  job->result = (*job->body)();
  return nullptr;
}

}  // namespace

int run_with_large_stack(const std::function<int()>& body) {
  Job job{&body, 0};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_t thread;
  bool started = pthread_attr_setstacksize(&attr, LARGE_STACK) == 0 &&
                 pthread_create(&thread, &attr, run_job, &job) == 0;
  pthread_attr_destroy(&attr);
  if (!started) return body();  // no room for a large stack: run here with the usual one
  pthread_join(thread, nullptr);
  return job.result;
}

const char* limit() {
  thread_local const char* cached = [] {
    pthread_attr_t attr;
    void* low = nullptr;
    size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      pthread_attr_getstack(&attr, &low, &size);
      pthread_attr_destroy(&attr);
    }
    if (!low) return static_cast<const char*>(nullptr);
    size_t margin = size / 8 < MARGIN ? size / 8 : MARGIN;
    return static_cast<const char*>(low) + margin;
  }();
  return cached;
}

}  // namespace orvane::stack
