// Lookup, smallest/largest and the two rotations.
#include <gtest/gtest.h>

#include "avl_check.h"

namespace {

nod make_leaf(int32_t key) {
  return nod{key, nullptr, nullptr, 0};
}

TEST(CreateTest, FreshTreeIsEmpty) {
  AVL_TREE* tree = create_avl_tree();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->size, 0);
  EXPECT_EQ(tree->root, nullptr);
  EXPECT_EQ(check_avl(tree), "");
  AVL_destroy(tree);
}

TEST(SearchTest, FindsPresentKeysAndMissesAbsentOnes) {
  EXPECT_EQ(search_avl(nullptr, 7), nullptr);

  AVL_TREE* tree = tree_of({1, 2, 3});
  EXPECT_EQ(search_avl(tree->root, 2), tree->root);
  EXPECT_EQ(search_avl(tree->root, 1), tree->root->left);
  EXPECT_EQ(search_avl(tree->root, 3), tree->root->right);
  EXPECT_EQ(search_avl(tree->root, 4), nullptr);
  EXPECT_EQ(search_avl(tree->root, 0), nullptr);
  EXPECT_EQ(search_avl(tree->root, INT32_MIN), nullptr);
  EXPECT_EQ(search_avl(tree->root, INT32_MAX), nullptr);
  AVL_destroy(tree);
}

TEST(SearchTest, ReturnsFirstEqualKeyOnThePath) {
  // 5, 5, 5 puts the second 5 at the root with the others as its children.
  AVL_TREE* tree = tree_of({5, 5, 5});
  EXPECT_EQ(search_avl(tree->root, 5), tree->root);
  AVL_destroy(tree);
}

TEST(SearchTest, FindsEveryKeyOfALargerTree) {
  std::vector<int32_t> keys;
  for (int32_t k = -500; k <= 500; k += 2) {
    keys.push_back(k * 3);
  }
  AVL_TREE* tree = tree_of(keys);
  for (int32_t key : keys) {
    const nod* hit = search_avl(tree->root, key);
    ASSERT_NE(hit, nullptr) << key;
    EXPECT_EQ(hit->data, key);
    EXPECT_EQ(search_avl(tree->root, key + 1), nullptr) << key + 1;
  }
  AVL_destroy(tree);
}

TEST(ExtremesTest, SmallestAndLargest) {
  EXPECT_EQ(find_smallest_node(nullptr), nullptr);
  EXPECT_EQ(find_largest_node(nullptr), nullptr);

  nod single = make_leaf(42);
  EXPECT_EQ(find_smallest_node(&single), &single);
  EXPECT_EQ(find_largest_node(&single), &single);

  AVL_TREE* tree = tree_of({50, 20, 80, 10, 30, INT32_MIN, INT32_MAX, 90});
  EXPECT_EQ(find_smallest_node(tree->root)->data, INT32_MIN);
  EXPECT_EQ(find_largest_node(tree->root)->data, INT32_MAX);
  // On a subtree they stay inside it.
  EXPECT_EQ(find_largest_node(tree->root->left)->data, inorder_keys(tree->root->left).back());
  EXPECT_EQ(find_smallest_node(tree->root->right)->data, inorder_keys(tree->root->right).front());
  AVL_destroy(tree);
}

// A with right child B; B has children b and c; A has left child a.
struct RotationFixture : ::testing::Test {
  nod a = make_leaf(1), b = make_leaf(3), c = make_leaf(5);
  nod A{2, &a, nullptr, 7}, B{4, &b, &c, -7};
};

TEST_F(RotationFixture, RotateLeftLiftsRightChild) {
  A.right = &B;
  const std::vector<int32_t> before = inorder_keys(&A);

  nod* top = rotate_left(&A);
  EXPECT_EQ(top, &B);
  EXPECT_EQ(B.left, &A);
  EXPECT_EQ(B.right, &c);
  EXPECT_EQ(A.left, &a);
  EXPECT_EQ(A.right, &b);  // B's old left moved under A
  EXPECT_EQ(inorder_keys(top), before);
  // Rotations never touch balance factors.
  EXPECT_EQ(A.balance, 7);
  EXPECT_EQ(B.balance, -7);
}

TEST_F(RotationFixture, RotateRightUndoesRotateLeft) {
  A.right = &B;
  nod* top = rotate_right(rotate_left(&A));
  EXPECT_EQ(top, &A);
  EXPECT_EQ(A.left, &a);
  EXPECT_EQ(A.right, &B);
  EXPECT_EQ(B.left, &b);
  EXPECT_EQ(B.right, &c);
  EXPECT_EQ(A.balance, 7);
  EXPECT_EQ(B.balance, -7);
}

TEST_F(RotationFixture, RotationWithoutPivotChangesNothing) {
  EXPECT_EQ(rotate_left(nullptr), nullptr);
  EXPECT_EQ(rotate_right(nullptr), nullptr);
  // A has no right child yet; c has no children at all.
  EXPECT_EQ(rotate_left(&A), &A);
  EXPECT_EQ(A.left, &a);
  EXPECT_EQ(rotate_right(&c), &c);
  EXPECT_EQ(c.left, nullptr);
  EXPECT_EQ(c.right, nullptr);
}

// The randomized model test compares the queries at every step; these pin the
// edges it rarely reaches.
int count_visit(const nod*, void* context) {
  *static_cast<int*>(context) += 1;
  return 1;
}

TEST(QueryTest, EmptyTreeAndBadWalkOrders) {
  AVL_TREE* tree = create_avl_tree();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(AVL_lower_bound(tree, INT32_MIN), nullptr);
  EXPECT_EQ(AVL_upper_bound(tree, INT32_MIN), nullptr);
  EXPECT_EQ(AVL_count(tree, 0), 0);
  EXPECT_EQ(AVL_height(tree), 0);
  int visits = 0;
  EXPECT_EQ(AVL_walk(tree, 1, count_visit, &visits), 0);

  ASSERT_EQ(AVL_insert(tree, 1), 1);
  for (int32_t order : {-1, 3, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(AVL_walk(tree, order, count_visit, &visits), -1) << order;
  }
  EXPECT_EQ(AVL_walk(tree, 0, nullptr, nullptr), -1);
  EXPECT_EQ(visits, 0);
  AVL_destroy(tree);
}

TEST(QueryTest, BoundsAtTheExtremesAndAcrossRepeats) {
  AVL_TREE* tree = tree_of({INT32_MIN, 7, 7, 7, 7, 7, INT32_MAX, 7});
  EXPECT_EQ(AVL_lower_bound(tree, INT32_MIN)->data, INT32_MIN);
  EXPECT_EQ(AVL_upper_bound(tree, INT32_MIN)->data, 7);
  EXPECT_EQ(AVL_lower_bound(tree, INT32_MAX)->data, INT32_MAX);
  EXPECT_EQ(AVL_upper_bound(tree, INT32_MAX), nullptr);
  EXPECT_EQ(AVL_count(tree, 7), 6);
  EXPECT_EQ(AVL_count(tree, INT32_MAX), 1);
  EXPECT_EQ(AVL_count(tree, 8), 0);
  // Both must be the leftmost 7, the node right after INT32_MIN in-order.
  EXPECT_EQ(AVL_lower_bound(tree, 7), AVL_upper_bound(tree, INT32_MIN));
  EXPECT_EQ(AVL_height(tree), subtree_height(tree->root));
  AVL_destroy(tree);
}

}  // namespace
