// Exhaustive small cases. Every insertion order of up to 8 keys drawn from
// 1..5 is built and checked after each step; then, from every distinct tree
// reached (shape, keys and balances), every possible deletion is applied and
// checked, and so on from each tree that produces, until no new tree appears.
// A deletion's result depends only on the tree it is applied to, so covering
// every (tree, key) pair covers every deletion order of every insertion order.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <set>

#include "avl_check.h"

namespace {

constexpr int32_t kLowKey = 1;
constexpr int32_t kHighKey = 5;
constexpr int kMaxKeys = 8;

AVL_TREE* clone_tree(const AVL_TREE* tree) {
  AVL_TREE* copy = create_avl_tree();
  if (copy != nullptr) {
    copy->size = tree->size;
    copy->root = clone_subtree(tree->root);
  }
  return copy;
}

struct Explorer {
  std::map<std::string, AVL_TREE*> trees;  // distinct trees, by shape()
  long insert_steps = 0;
  long delete_steps = 0;

  ~Explorer() {
    for (auto& entry : trees) {
      AVL_destroy(entry.second);
    }
  }

  // Inserts every key into `tree` in turn, checks, and recurses to depth kMaxKeys.
  void insert_all_orders(const AVL_TREE* tree, std::multiset<int32_t>& model) {
    const std::string here = shape(tree->root);
    if (trees.count(here) == 0) {
      trees[here] = clone_tree(tree);
    }
    if (tree->size == kMaxKeys) {
      return;
    }
    for (int32_t key = kLowKey; key <= kHighKey; ++key) {
      AVL_TREE* next = clone_tree(tree);
      ASSERT_NE(next, nullptr);
      ASSERT_EQ(AVL_insert(next, key), 1);
      ++insert_steps;
      model.insert(key);
      ASSERT_EQ(check_avl(next), "") << here << " + " << key;
      ASSERT_EQ(inorder_keys(next->root), std::vector<int32_t>(model.begin(), model.end()));
      insert_all_orders(next, model);
      model.erase(model.find(key));
      AVL_destroy(next);
      if (::testing::Test::HasFatalFailure()) {
        return;
      }
    }
  }
};

TEST(ExhaustiveTest, EveryInsertionOrderThenEveryDeletion) {
  Explorer explorer;
  AVL_TREE* empty = create_avl_tree();
  ASSERT_NE(empty, nullptr);
  std::multiset<int32_t> model;
  explorer.insert_all_orders(empty, model);
  AVL_destroy(empty);
  ASSERT_FALSE(HasFatalFailure());
  const size_t built = explorer.trees.size();

  std::deque<std::string> pending;
  for (const auto& entry : explorer.trees) {
    pending.push_back(entry.first);
  }
  while (!pending.empty()) {
    const std::string from = pending.front();
    pending.pop_front();
    const AVL_TREE* tree = explorer.trees.at(from);
    const std::vector<int32_t> keys = inorder_keys(tree->root);
    for (int32_t key = kLowKey - 1; key <= kHighKey + 1; ++key) {
      AVL_TREE* next = clone_tree(tree);
      ASSERT_NE(next, nullptr);
      std::multiset<int32_t> model(keys.begin(), keys.end());
      const auto at = model.find(key);
      const int expected = at != model.end() ? 1 : 0;
      if (at != model.end()) {
        model.erase(at);
      }
      ASSERT_EQ(AVL_delete(next, key), expected) << from << " - " << key;
      ++explorer.delete_steps;
      ASSERT_EQ(check_avl(next), "") << from << " - " << key;
      ASSERT_EQ(inorder_keys(next->root), std::vector<int32_t>(model.begin(), model.end()))
          << from << " - " << key;
      const std::string to = shape(next->root);
      if (expected == 0) {
        EXPECT_EQ(to, from) << "deleting absent " << key << " changed the tree";
      }
      if (explorer.trees.count(to) == 0) {
        explorer.trees[to] = next;
        pending.push_back(to);
      } else {
        AVL_destroy(next);
      }
    }
  }
  RecordProperty("trees_from_insertion", std::to_string(built));
  RecordProperty("insertions", std::to_string(explorer.insert_steps));
  RecordProperty("deletions", std::to_string(explorer.delete_steps));
  RecordProperty("distinct_trees", std::to_string(explorer.trees.size()));
}

}  // namespace
