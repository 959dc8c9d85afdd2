#include "avl_check.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace {

struct Walk {
  std::string fault;  // the first fault found; empty while all is well
  int64_t count = 0;
};

// Returns the subtree's height; records the first fault in walk.fault. Keys
// must lie in [low, high].
int check_subtree(const nod* node, int64_t low, int64_t high, Walk& walk) {
  if (node == nullptr || !walk.fault.empty()) {
    return 0;
  }
  walk.count += 1;
  if (node->data < low || node->data > high) {
    std::ostringstream text;
    text << "key " << node->data << " out of order (allowed " << low << ".." << high << ")";
    walk.fault = text.str();
    return 0;
  }
  int left = check_subtree(node->left, low, node->data, walk);
  int right = check_subtree(node->right, node->data, high, walk);
  if (!walk.fault.empty()) {
    return 0;
  }
  if (node->balance != left - right) {
    std::ostringstream text;
    text << "node " << node->data << " stores balance " << node->balance << " but its subtrees are "
         << left << " and " << right << " tall";
    walk.fault = text.str();
  } else if (node->balance < -1 || node->balance > 1) {
    walk.fault = "node " + std::to_string(node->data) +
                 " is out of balance: " + std::to_string(node->balance);
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
  if (walk.fault.empty() && walk.count != tree->size) {
    walk.fault = "size is " + std::to_string(tree->size) + " but the tree holds " +
                 std::to_string(walk.count) + " nodes";
  }
  return walk.fault;
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
