// Front-end throughput: scans, parses and lowers one script several times and prints the best
// CPU time of each phase and the megabytes per second of the whole front end.
// Usage: orvane_frontend_bench FILE [RUNS]
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>

#include "interpreter/compiler.hpp"
#include "lexer/lexer.hpp"
#include "parser/parser.hpp"
#include "run_guard.hpp"

namespace {

// CPU seconds used by this process so far.
double cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::optional<std::string> read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Phases {
  double scan = std::numeric_limits<double>::infinity();
  double parse = std::numeric_limits<double>::infinity();
  double lower = std::numeric_limits<double>::infinity();
  double total = std::numeric_limits<double>::infinity();
  size_t tokens = 0;
  size_t statements = 0;
};

// One pass through the front end; each phase, and the whole, keeps its best time. The code,
// the tree and the tokens are freed after the clock stops, so freeing is not counted.
void measure_once(const std::string& text, Phases& best) {
  double t0 = cpu_seconds();
  orvane::TokenList tokens = orvane::tokenize(text);
  double t1 = cpu_seconds();
  orvane::Program program = orvane::Parser::parse_program(tokens);
  double t2 = cpu_seconds();
  orvane::LoweringOptions options;
  std::vector<orvane::Chunk> chunks;
  chunks.reserve(program.size());
  for (const orvane::StmtPtr& stmt : program)
    chunks.push_back(orvane::lower_statement(*stmt, options));
  double t3 = cpu_seconds();
  best.scan = std::min(best.scan, t1 - t0);
  best.parse = std::min(best.parse, t2 - t1);
  best.lower = std::min(best.lower, t3 - t2);
  best.total = std::min(best.total, t3 - t0);
  best.tokens = tokens.size();
  best.statements = program.size();
}

double mib_per_second(size_t bytes, double seconds) {
  return static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [RUNS]\n", argv[0]);
    return 2;
  }
  std::optional<std::string> text = read_file(argv[1]);
  if (!text) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  Phases best;
  std::optional<std::string> failure = orvane::run_guarded([&] {
    for (int run = 0; run < runs; ++run) measure_once(*text, best);
  });
  if (failure) {
    std::fprintf(stderr, "%s\n", failure->c_str());
    return 1;
  }
  std::printf("front end: %zu bytes, %zu tokens, %zu statements; best of %d runs, CPU time\n",
              text->size(), best.tokens, best.statements, runs);
  std::printf("  scan          %8.1f ms  %7.1f MiB/s\n", best.scan * 1e3,
              mib_per_second(text->size(), best.scan));
  std::printf("  parse         %8.1f ms  %7.1f MiB/s\n", best.parse * 1e3,
              mib_per_second(text->size(), best.parse));
  std::printf("  lower         %8.1f ms  %7.1f MiB/s\n", best.lower * 1e3,
              mib_per_second(text->size(), best.lower));
  std::printf("  all three     %8.1f ms  %7.1f MiB/s\n", best.total * 1e3,
              mib_per_second(text->size(), best.total));
  return 0;
}
