#include "avl_check.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

std::string check_avl(const AVL_TREE* tree) {
  if (AVL_check(tree, nullptr) == 1) {
    return "";
  }
  // Broken: run it again to capture its one-line report.
  char* text = nullptr;
  size_t length = 0;
  FILE* report = open_memstream(&text, &length);
  if (report == nullptr) {
    return "AVL_check: broken tree (no memory for the report)";
  }
  const int again = AVL_check(tree, report);
  std::fclose(report);
  std::string fault(text, length);
  std::free(text);
  if (again != 0 || fault.empty()) {
    fault = "AVL_check answered 0, then " + std::to_string(again) + " with report '" + fault + "'";
  }
  return fault;
}

namespace {

void collect_nodes(const nod* node, int order, std::vector<const nod*>& out) {
  if (node == nullptr) {
    return;
  }
  if (order == 0) {
    out.push_back(node);
  }
  collect_nodes(node->left, order, out);
  if (order == 1) {
    out.push_back(node);
  }
  collect_nodes(node->right, order, out);
  if (order == 2) {
    out.push_back(node);
  }
}

}  // namespace

std::vector<const nod*> nodes_in_order(const nod* node, int order) {
  std::vector<const nod*> out;
  collect_nodes(node, order, out);
  return out;
}

int subtree_height(const nod* node) {
  if (node == nullptr) {
    return 0;
  }
  return 1 + std::max(subtree_height(node->left), subtree_height(node->right));
}

std::vector<int32_t> inorder_keys(const nod* node) {
  std::vector<int32_t> keys;
  for (const nod* each : nodes_in_order(node, 1)) {
    keys.push_back(each->data);
  }
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
