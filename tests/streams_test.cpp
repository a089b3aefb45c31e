// Standard output that goes away: a closed pipe ends the run quietly, a full device fails it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "test_support.hpp"

namespace orvane::testing {
namespace {

// Runs a bash pipeline in a scratch folder holding `script` as x.ov; returns its stdout, and
// orvane's exit status and standard error through the files the pipeline writes.
struct PipeRun {
  std::string out, err;
  int status = -1;
};

PipeRun run_pipeline(const std::string& script, const std::string& tail) {
  std::string dir = temp_dir();
  write_file(dir + "/x.ov", script);
  std::string cmd = "cd '" + dir + "' && bash -c '\"" + std::string(ORVANE_BINARY) +
                    "\" x.ov 2> err.txt " + tail +
                    " > out.txt; echo ${PIPESTATUS[0]} > status.txt'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  PipeRun r{read_file(dir + "/out.txt"), read_file(dir + "/err.txt"),
            std::atoi(read_file(dir + "/status.txt").c_str())};
  std::system(("rm -rf '" + dir + "'").c_str());
  return r;
}

const char* MANY_LINES = "let i = 0\nwhile i < 1000000 { print(i) i = i + 1 }\n";

TEST(Streams, ClosedPipeEndsTheRunQuietly) {
  PipeRun r = run_pipeline(MANY_LINES, "| head -n 2");
  EXPECT_EQ(r.out, "0\n1\n");
  EXPECT_EQ(r.err, "");
  // Ended by SIGPIPE as other tools are: no success claimed, no message.
  EXPECT_EQ(r.status, 128 + 13);
}

TEST(Streams, ReaderThatTakesEverythingSeesEveryLine) {
  PipeRun r = run_pipeline(MANY_LINES, "| tail -n 1");
  EXPECT_EQ(r.out, "999999\n");
  EXPECT_EQ(r.status, 0);
}

}  // namespace
}  // namespace orvane::testing

namespace orvane::testing {
namespace {

// A file that opens but cannot be read, even by root: the read error is reported with the
// system's text and code.
TEST(Streams, FileThatCannotBeReadReportsTheSystemError) {
  std::string dir = temp_dir();
  std::string link = dir + "/memory.ov";
  ASSERT_EQ(symlink("/proc/self/mem", link.c_str()), 0);
  RunResult r = run_orvane({"memory.ov"}, "", dir);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: Failed to read the file: Input/output error (os error 5)\n");
  EXPECT_EQ(r.status, 1);
  std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
}  // namespace orvane::testing
