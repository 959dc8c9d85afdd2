// Allocation failure, for real: this binary replaces the global nothrow
// operator new (which the module uses for its nodes and handles) with one that
// can be told to fail after k more allocations.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <random>
#include <set>
#include <tuple>

#include "avl_check.h"

namespace {

// -1: never fail. k >= 0: the next k nothrow allocations succeed, then fail.
long allocations_left = -1;
long nothrow_calls = 0;

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++nothrow_calls;
  if (allocations_left == 0) {
    return nullptr;
  }
  if (allocations_left > 0) {
    --allocations_left;
  }
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

namespace {

// Every node's address, key, links and balance, in pre-order.
using NodeImage = std::tuple<const nod*, int32_t, const nod*, const nod*, int32_t>;

void snapshot(const nod* node, std::vector<NodeImage>& out) {
  if (node == nullptr) {
    return;
  }
  out.emplace_back(node, node->data, node->left, node->right, node->balance);
  snapshot(node->left, out);
  snapshot(node->right, out);
}

std::vector<NodeImage> snapshot(const nod* node) {
  std::vector<NodeImage> out;
  snapshot(node, out);
  return out;
}

TEST(AllocationFailureTest, CreateReturnsNullWhenHeapRefuses) {
  allocations_left = 0;
  AVL_TREE* tree = create_avl_tree();
  allocations_left = -1;
  EXPECT_EQ(tree, nullptr);
}

// For every k, let the k-th node allocation of a build fail: that insertion
// returns 0 and leaves the root, the size and every node exactly as they were;
// the tree is still sound, and once memory returns the build completes.
TEST(AllocationFailureTest, FailedInsertLeavesTreeUntouched) {
  constexpr int kKeys = 300;
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> pick(-100, 100);
  std::vector<int32_t> keys(kKeys);
  for (int32_t& key : keys) {
    key = pick(rng);
  }

  for (int k = 0; k < kKeys; ++k) {
    AVL_TREE* tree = create_avl_tree();
    ASSERT_NE(tree, nullptr);
    std::multiset<int32_t> model;
    allocations_left = k;
    int failures = 0;
    for (int i = 0; i < kKeys; ++i) {
      const nod* root = tree->root;
      const int32_t size = tree->size;
      const std::vector<NodeImage> before = snapshot(tree->root);
      const int result = AVL_insert(tree, keys[i]);
      if (i == k) {
        ASSERT_EQ(result, 0) << "k " << k;
        ++failures;
        EXPECT_EQ(tree->root, root);
        EXPECT_EQ(tree->size, size);
        EXPECT_EQ(snapshot(tree->root), before) << "k " << k;
        EXPECT_EQ(check_avl(tree), "");
        allocations_left = -1;  // memory is back
      } else {
        ASSERT_EQ(result, 1) << "k " << k << " i " << i;
        model.insert(keys[i]);
      }
    }
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(check_avl(tree), "");
    EXPECT_EQ(inorder_keys(tree->root), std::vector<int32_t>(model.begin(), model.end()));
    AVL_destroy(tree);
  }
}

TEST(AllocationFailureTest, FullCountIsRefusedBeforeAllocating) {
  AVL_TREE* tree = tree_of({1});
  tree->size = INT32_MAX;
  const long calls = nothrow_calls;
  EXPECT_EQ(AVL_insert(tree, 2), 0);
  EXPECT_EQ(nothrow_calls, calls);
  tree->size = 1;
  AVL_destroy(tree);
}

TEST(AllocationFailureTest, OneAllocationPerInsert) {
  AVL_TREE* tree = create_avl_tree();
  ASSERT_NE(tree, nullptr);
  const long calls = nothrow_calls;
  for (int32_t key = 0; key < 1000; ++key) {
    ASSERT_EQ(AVL_insert(tree, key % 17), 1);
  }
  EXPECT_EQ(nothrow_calls - calls, 1000);
  AVL_destroy(tree);
}

}  // namespace
