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

// ------------------------------------------------------ against a model --

std::string tree_mismatch(const AVL_TREE* tree, const KeyModel& model) {
  const std::string fault = check_avl(tree);
  if (!fault.empty()) {
    return fault;
  }
  const std::vector<int32_t> keys = inorder_keys(tree->root);
  const auto [at, in_model] = std::mismatch(keys.begin(), keys.end(), model.begin(), model.end());
  if (at != keys.end() || in_model != model.end()) {
    return "in-order keys differ from the model at position " + std::to_string(at - keys.begin()) +
           " of " + std::to_string(keys.size()) + " (model: " + std::to_string(model.size()) +
           " keys)";
  }
  return "";
}

namespace {

std::string node_name(const nod* node) {
  return node == nullptr ? "past the end" : "a node holding " + std::to_string(node->data);
}

}  // namespace

std::string query_mismatch(const AVL_TREE* tree, const KeyModel& model, int32_t key,
                           const std::vector<const nod*>* inorder) {
  const std::string of = " of " + std::to_string(key);
  const auto first = model.lower_bound(key);
  const auto last = model.upper_bound(key);
  const nod* lower = AVL_lower_bound(tree, key);
  const nod* upper = AVL_upper_bound(tree, key);
  if (inorder != nullptr) {
    // The model's positions, found in `inorder`, whose keys are the model's.
    auto node_at = [&](bool strict) -> const nod* {
      const auto at = std::partition_point(inorder->begin(), inorder->end(), [&](const nod* node) {
        return strict ? node->data <= key : node->data < key;
      });
      return at != inorder->end() ? *at : nullptr;
    };
    if (lower != node_at(false)) {
      return "AVL_lower_bound" + of + " is " + node_name(lower) + ", not the node at the model's";
    }
    if (upper != node_at(true)) {
      return "AVL_upper_bound" + of + " is " + node_name(upper) + ", not the node at the model's";
    }
  } else {
    if ((lower == nullptr) != (first == model.end()) ||
        (lower != nullptr && lower->data != *first)) {
      return "AVL_lower_bound" + of + " is " + node_name(lower) + ", unlike the model's";
    }
    if ((upper == nullptr) != (last == model.end()) || (upper != nullptr && upper->data != *last)) {
      return "AVL_upper_bound" + of + " is " + node_name(upper) + ", unlike the model's";
    }
  }
  const auto expected = std::distance(first, last);
  if (AVL_count(tree, key) != expected) {
    return "AVL_count" + of + " is " + std::to_string(AVL_count(tree, key)) + ", not " +
           std::to_string(expected);
  }
  return "";
}

namespace {

// Steps `cursor`, which stands at position `index` of `inorder` (its size
// meaning past the end), `steps` times in one direction and checks each node.
std::string step_and_compare(AVL_CURSOR cursor, const std::vector<const nod*>& inorder,
                             size_t index, int steps, bool forwards, const std::string& from) {
  const size_t size = inorder.size();
  for (int step = 1; step <= steps; ++step) {
    const nod* got = forwards ? AVL_cursor_next(&cursor) : AVL_cursor_prev(&cursor);
    if (forwards) {
      index = index == size ? size : index + 1;  // next past the end stays there
    } else {
      index = index == size ? size - 1 : index == 0 ? size : index - 1;  // prev from the end: last
    }
    const nod* expected = index < size ? inorder[index] : nullptr;
    if (got != expected || AVL_cursor_node(&cursor) != expected) {
      return std::string(forwards ? "AVL_cursor_next" : "AVL_cursor_prev") + " step " +
             std::to_string(step) + " from " + from + " gave " + node_name(got) + ", expected " +
             node_name(expected);
    }
  }
  return "";
}

}  // namespace

std::string cursor_mismatch(const AVL_TREE* tree, const std::vector<const nod*>& inorder,
                            int32_t key, int steps) {
  for (int strict = 0; strict <= 1; ++strict) {
    AVL_CURSOR cursor;
    const nod* at = strict ? AVL_cursor_upper_bound(&cursor, tree, key)
                           : AVL_cursor_lower_bound(&cursor, tree, key);
    const nod* bound = strict ? AVL_upper_bound(tree, key) : AVL_lower_bound(tree, key);
    const std::string from =
        std::string(strict ? "the upper" : "the lower") + " bound of " + std::to_string(key);
    if (at != bound || AVL_cursor_node(&cursor) != bound) {
      return "the cursor at " + from + " stands on " + node_name(at) + ", the bound is on " +
             node_name(bound);
    }
    const auto found = std::find(inorder.begin(), inorder.end(), bound);
    const auto index = static_cast<size_t>(found - inorder.begin());
    for (bool forwards : {true, false}) {
      std::string fault = step_and_compare(cursor, inorder, index, steps, forwards, from);
      if (!fault.empty()) {
        return fault;
      }
    }
  }
  return "";
}

std::string iteration_mismatch(const AVL_TREE* tree, const std::vector<const nod*>& inorder) {
  AVL_CURSOR cursor;
  AVL_cursor_end(&cursor, tree);
  if (AVL_cursor_node(&cursor) != nullptr) {
    return "AVL_cursor_end left the cursor on " + node_name(AVL_cursor_node(&cursor));
  }
  for (bool forwards : {true, false}) {
    std::string fault =
        step_and_compare(cursor, inorder, inorder.size(), 2, forwards, "AVL_cursor_end");
    if (!fault.empty()) {
      return fault;
    }
  }
  const nod* first = AVL_cursor_first(&cursor, tree);
  const int whole = static_cast<int>(inorder.size()) + 1;  // every node, then off the end
  if (first != (inorder.empty() ? nullptr : inorder.front())) {
    return "AVL_cursor_first stands on " + node_name(first);
  }
  std::string fault = step_and_compare(cursor, inorder, 0, whole, true, "the first node");
  if (!fault.empty() || inorder.empty()) {
    return fault;
  }
  const nod* last = AVL_cursor_last(&cursor, tree);
  if (last != inorder.back()) {
    return "AVL_cursor_last stands on " + node_name(last);
  }
  return step_and_compare(cursor, inorder, inorder.size() - 1, whole, false, "the last node");
}
