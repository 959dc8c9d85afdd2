// The test helpers that report through GoogleTest; the checker itself, in
// avl_check.cpp, needs nothing but the module, so the fuzzer shares it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "avl_check.h"

AVL_TREE* tree_of(const std::vector<int32_t>& keys) {
  AVL_TREE* tree = create_avl_tree();
  if (tree == nullptr) {
    ADD_FAILURE() << "create_avl_tree returned null";
    return nullptr;
  }
  for (int32_t key : keys) {
    EXPECT_EQ(AVL_insert(tree, key), 1) << "inserting " << key;
  }
  return tree;
}

ProcessResult run_command(const std::string& command) {
  // One file per test process: ctest runs the cases in parallel.
  const std::string err_path =
      ::testing::TempDir() + "avl_test_stderr." + std::to_string(getpid()) + ".txt";
  ProcessResult result;
  std::fflush(stdout);
  FILE* pipe = popen((command + " 2>" + err_path).c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot start " << command;
    return result;
  }
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    result.out.append(buffer, got);
  }
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.err = read_file(err_path);
  std::remove(err_path.c_str());
  return result;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
