// The demonstration program end to end: exact output bytes and exit status,
// the heap and pages it runs on, and what it does when memory runs out.
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

// The kB figure of one smaps_rollup line ("AnonHugePages:   2048 kB"), or -1.
[[maybe_unused]] long rollup_kib(const std::string& report, const std::string& field) {
  const size_t at = report.find(field + ":");
  return at == std::string::npos ? -1 : std::stol(report.substr(at + field.size() + 1));
}

// On mimalloc the executables ask for large OS pages before main: where the
// kernel offers transparent huge pages, most of the demo's memory must sit on
// them, and a user's MIMALLOC_LARGE_OS_PAGES=0 must take them away again
// (checked where the kernel gives huge pages only to memory that asks).
TEST(DemoTest, GetsHugePagesUnlessTheUserSaysNo) {
#if !defined(AVL_DEMO_ON_MIMALLOC)
  GTEST_SKIP() << "the executables use the system heap in this build";
#else
  const std::string mode = read_file("/sys/kernel/mm/transparent_hugepage/enabled");
  if (mode.empty() || mode.find("[never]") != std::string::npos) {
    GTEST_SKIP() << "the kernel offers no transparent huge pages (enabled: '" << mode << "')";
  }
  if (read_file("/proc/self/smaps_rollup").empty()) {
    GTEST_SKIP() << "no /proc/self/smaps_rollup to count the pages with";
  }
  const std::string probe = std::string("LD_PRELOAD=") + AVL_PAGES_PROBE_PATH + " ";
  const ProcessResult r = run_command(probe + AVL_DEMO_PATH);
  EXPECT_EQ(r.out, "height(max): 24\nlargest data: 10000000\n");
  EXPECT_EQ(r.status, 0);
  const long anonymous = rollup_kib(r.err, "Anonymous");
  const long huge = rollup_kib(r.err, "AnonHugePages");
  ASSERT_GT(anonymous, 300 * 1024) << r.err;
  EXPECT_GE(huge, anonymous / 2) << "THP enabled: " << mode << r.err;

  if (mode.find("[madvise]") == std::string::npos) {
    return;  // "always": every process may get huge pages, asked or not
  }
  const ProcessResult off = run_command("MIMALLOC_LARGE_OS_PAGES=0 " + probe + AVL_DEMO_PATH);
  EXPECT_EQ(off.out, r.out);
  EXPECT_LT(rollup_kib(off.err, "AnonHugePages"), anonymous / 10) << off.err;
#endif
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
