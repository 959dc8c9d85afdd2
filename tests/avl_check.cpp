#include "avl_check.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

struct Walk {
  std::ostringstream fault;
  int64_t count = 0;
};

// Returns the subtree's height; records the first fault in walk.fault. Keys
// must lie in [low, high].
int check_subtree(const nod* node, int64_t low, int64_t high, Walk& walk) {
  if (node == nullptr || !walk.fault.str().empty()) {
    return 0;
  }
  walk.count += 1;
  if (node->data < low || node->data > high) {
    walk.fault << "key " << node->data << " out of order (allowed " << low << ".." << high << ")";
    return 0;
  }
  int left = check_subtree(node->left, low, node->data, walk);
  int right = check_subtree(node->right, node->data, high, walk);
  if (!walk.fault.str().empty()) {
    return 0;
  }
  if (node->balance != left - right) {
    walk.fault << "node " << node->data << " stores balance " << node->balance
               << " but its subtrees are " << left << " and " << right << " tall";
  } else if (node->balance < -1 || node->balance > 1) {
    walk.fault << "node " << node->data << " is out of balance: " << node->balance;
  }
  return 1 + std::max(left, right);
}

void collect(const nod* node, std::vector<int32_t>& keys) {
  if (node == nullptr) {
    return;
  }
  collect(node->left, keys);
  keys.push_back(node->data);
  collect(node->right, keys);
}

}  // namespace

std::string check_avl(const AVL_TREE* tree) {
  Walk walk;
  check_subtree(tree->root, INT32_MIN, INT32_MAX, walk);
  if (!walk.fault.str().empty()) {
    return walk.fault.str();
  }
  if (walk.count != tree->size) {
    walk.fault << "size is " << tree->size << " but the tree holds " << walk.count << " nodes";
  }
  return walk.fault.str();
}

int subtree_height(const nod* node) {
  if (node == nullptr) {
    return 0;
  }
  return 1 + std::max(subtree_height(node->left), subtree_height(node->right));
}

std::vector<int32_t> inorder_keys(const nod* node) {
  std::vector<int32_t> keys;
  collect(node, keys);
  return keys;
}

std::string shape(const nod* node) {
  if (node == nullptr) {
    return ".";
  }
  std::string self = std::to_string(node->data) + ":" + std::to_string(node->balance);
  if (node->left == nullptr && node->right == nullptr) {
    return self;
  }
  return "(" + shape(node->left) + " " + self + " " + shape(node->right) + ")";
}

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

nod* clone_subtree(const nod* node) {
  if (node == nullptr) {
    return nullptr;
  }
  nod* copy = new nod{node->data, nullptr, nullptr, node->balance};
  copy->left = clone_subtree(node->left);
  copy->right = clone_subtree(node->right);
  return copy;
}

long scaled(long count) {
  const char* text = std::getenv("AVL_TEST_SCALE");
  const double scale = text != nullptr ? std::atof(text) : 1.0;
  const long result = static_cast<long>(static_cast<double>(count) * scale);
  return result < 1 ? 1 : result;
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
  std::ifstream in(err_path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  result.err = text.str();
  std::remove(err_path.c_str());
  return result;
}
