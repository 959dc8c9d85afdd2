// The demonstration program end to end: exact output bytes and exit status,
// and what it does when memory runs out.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "avl_check.h"

namespace {

TEST(DemoTest, TenMillionAscendingKeys) {
  const ProcessResult r = run_command(AVL_DEMO_PATH);
  EXPECT_EQ(r.out, "height(max): 24\nlargest data: 10000000\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

TEST(DemoTest, IgnoresArguments) {
  const ProcessResult r = run_command(std::string(AVL_DEMO_SMALL_PATH) + " --help extra");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST(DemoTest, RootWithoutRightChildIsTheLargestKey) {
  // Built with a single key: the spine walk ends where it starts.
  const ProcessResult r = run_command(AVL_DEMO_SMALL_PATH);
  EXPECT_EQ(r.out, "height(max): 1\nlargest data: 1\n");
  EXPECT_EQ(r.status, 0);
}

// A result that could not be written is a failure, said on standard error:
// to a full device, and to a standard output that is closed.
TEST(DemoTest, UnwrittenResultFails) {
  if (access("/dev/full", W_OK) != 0) {
    GTEST_SKIP() << "no /dev/full here";
  }
  const ProcessResult full = run_command(std::string(AVL_DEMO_SMALL_PATH) + " >/dev/full");
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "avl_demo: cannot write the result: No space left on device\n");
  const ProcessResult closed = run_command(std::string(AVL_DEMO_SMALL_PATH) + " >&-");
  EXPECT_EQ(closed.status, 1);
  EXPECT_EQ(closed.err.rfind("avl_demo: cannot write the result: ", 0), 0u) << closed.err;
}

// The build chose mimalloc for the executables: the demo must really run on
// it (a linker that drops the unused library would leave it on glibc).
TEST(DemoTest, RunsOnTheChosenHeap) {
#if !defined(AVL_DEMO_ON_MIMALLOC)
  GTEST_SKIP() << "the executables use the system heap in this build";
#endif
  const ProcessResult r = run_command(std::string("MIMALLOC_VERBOSE=1 ") + AVL_DEMO_SMALL_PATH);
  EXPECT_EQ(r.out, "height(max): 1\nlargest data: 1\n");
  EXPECT_NE(r.err.find("mimalloc: process init"), std::string::npos) << r.err;
}

// Under an address-space limit too small for the key buffer (40 MB), or for
// the ten million nodes after it, the demo must say so and print no result.
class DemoOutOfMemoryTest : public ::testing::TestWithParam<std::pair<int, const char*>> {};

TEST_P(DemoOutOfMemoryTest, FailsLoudlyWithoutResults) {
#if defined(AVL_SANITIZE)
  GTEST_SKIP() << "sanitizer runtimes reserve more address space than the limit allows";
#endif
  const auto [limit_kib, what] = GetParam();
  const ProcessResult r =
      run_command("ulimit -v " + std::to_string(limit_kib) + " && exec " + AVL_DEMO_PATH);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, std::string("avl_demo: out of memory: cannot allocate ") + what + "\n");
  EXPECT_EQ(r.status, 1);
}

INSTANTIATE_TEST_SUITE_P(Limits, DemoOutOfMemoryTest,
                         ::testing::Values(std::make_pair(30 * 1024, "the key buffer"),
                                           std::make_pair(200 * 1024, "a tree node")),
                         [](const ::testing::TestParamInfo<std::pair<int, const char*>>& info) {
                           return std::to_string(info.param.first) + "KiB";
                         });

}  // namespace
