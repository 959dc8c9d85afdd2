// Deletion: absent keys, the three ways a node leaves (leaf, one child, two
// children), every rebalancing case on both sides, rotations at several
// levels in one deletion, and repeated keys removed one node at a time.
#include <gtest/gtest.h>

#include <algorithm>

#include "avl_check.h"

namespace {

struct DeleteCase {
  const char* name;
  std::vector<int32_t> keys;  // inserted in this order
  const char* before;         // shape() after the insertions
  int32_t removed;
  const char* after;  // shape() after AVL_delete(removed)
};

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const DeleteCase& c, std::ostream* os) {
  *os << c.name;
}

class DeleteShapeTest : public ::testing::TestWithParam<DeleteCase> {};

TEST_P(DeleteShapeTest, EndsInExpectedShape) {
  const DeleteCase& c = GetParam();
  AVL_TREE* tree = tree_of(c.keys);
  ASSERT_EQ(shape(tree->root), c.before);
  EXPECT_EQ(AVL_delete(tree, c.removed), 1);
  EXPECT_EQ(shape(tree->root), c.after);
  EXPECT_EQ(tree->size, static_cast<int32_t>(c.keys.size()) - 1);
  EXPECT_EQ(check_avl(tree), "");
  AVL_destroy(tree);
}

INSTANTIATE_TEST_SUITE_P(
    Rebalancing, DeleteShapeTest,
    ::testing::Values(
        // No rotation: the parent absorbs the change or passes it up.
        DeleteCase{"LeafRightTiltsLeft", {1, 2, 3}, "(1:0 2:0 3:0)", 3, "(1:0 2:1 .)"},
        DeleteCase{"LeafLeftTiltsRight", {1, 2, 3}, "(1:0 2:0 3:0)", 1, "(. 2:-1 3:0)"},
        // Two children: the predecessor's key moves up into the root.
        DeleteCase{"RootWithTwoChildren", {1, 2, 3}, "(1:0 2:0 3:0)", 2, "(. 1:-1 3:0)"},
        // One child: the child takes the node's place.
        DeleteCase{"OnlyRightChild", {2, 1, 3, 4}, "(1:0 2:-1 (. 3:-1 4:0))", 3, "(1:0 2:0 4:0)"},
        DeleteCase{"OnlyLeftChild", {3, 2, 4, 1}, "((1:0 2:1 .) 3:1 4:0)", 2, "(1:0 3:0 4:0)"},
        // Single rotations over a child that leans away from the shrunk side.
        DeleteCase{"RotateLeft", {1, 2, 3, 4}, "(1:0 2:-1 (. 3:-1 4:0))", 1, "(2:0 3:0 4:0)"},
        DeleteCase{"RotateRight", {4, 3, 2, 1}, "((1:0 2:1 .) 3:1 4:0)", 4, "(1:0 2:0 3:0)"},
        // Single rotations over a balanced child: the height is kept, shrinking stops.
        DeleteCase{"RotateLeftOverBalancedChild",
                   {2, 1, 4, 3, 5},
                   "(1:0 2:-1 (3:0 4:0 5:0))",
                   1,
                   "((. 2:-1 3:0) 4:1 5:0)"},
        DeleteCase{"RotateRightOverBalancedChild",
                   {4, 5, 2, 1, 3},
                   "((1:0 2:0 3:0) 4:1 5:0)",
                   5,
                   "(1:0 2:-1 (3:0 4:1 .))"},
        // Double rotations, with the grandchild leaning either way.
        DeleteCase{"LeftRightAtRoot",
                   {5, 2, 8, 1, 4, 9, 3},
                   "((1:0 2:-1 (3:0 4:1 .)) 5:1 (. 8:-1 9:0))",
                   9,
                   "((1:0 2:0 3:0) 4:0 (. 5:-1 8:0))"},
        DeleteCase{"RightLeftAtRoot",
                   {5, 2, 8, 1, 7, 9, 6},
                   "((1:0 2:1 .) 5:-1 ((6:0 7:1 .) 8:1 9:0))",
                   1,
                   "((2:0 5:0 6:0) 7:0 (. 8:-1 9:0))"},
        DeleteCase{"LeftRightGrandchildRight",
                   {5, 2, 8, 1, 3, 9, 4},
                   "((1:0 2:-1 (. 3:-1 4:0)) 5:1 (. 8:-1 9:0))",
                   9,
                   "((1:0 2:1 .) 3:0 (4:0 5:0 8:0))"},
        DeleteCase{
            "LeftRightLeafGrandchild", {3, 1, 4, 2}, "((. 1:-1 2:0) 3:1 4:0)", 4, "(1:0 2:0 3:0)"},
        // A rotation low in the right subtree shrinks it, and the root rotates too.
        DeleteCase{"RotationsAtTwoLevels",
                   {10, 5, 13, 3, 7, 12, 15, 2, 4, 6, 8, 16, 1},
                   "((((1:0 2:1 .) 3:1 4:0) 5:1 (6:0 7:0 8:0)) 10:1 (12:0 13:-1 (. 15:-1 16:0)))",
                   12,
                   "(((1:0 2:1 .) 3:1 4:0) 5:0 ((6:0 7:0 8:0) 10:0 (13:0 15:0 16:0)))"}),
    [](const ::testing::TestParamInfo<DeleteCase>& info) { return std::string(info.param.name); });

TEST(DeleteTest, AbsentKeysChangeNothing) {
  AVL_TREE* tree = create_avl_tree();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(AVL_delete(tree, 0), 0);
  EXPECT_EQ(AVL_delete(tree, INT32_MIN), 0);
  EXPECT_EQ(tree->size, 0);
  EXPECT_EQ(tree->root, nullptr);
  AVL_destroy(tree);

  tree = tree_of({1, 2, 3});
  nod* root = tree->root;
  for (int32_t absent : {9, 0, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(AVL_delete(tree, absent), 0);
    EXPECT_EQ(tree->root, root);
    EXPECT_EQ(tree->size, 3);
    EXPECT_EQ(shape(tree->root), "(1:0 2:0 3:0)");
  }
  AVL_destroy(tree);
}

TEST(DeleteTest, OnlyNodeLeavesEmptyTree) {
  AVL_TREE* tree = tree_of({42});
  EXPECT_EQ(AVL_delete(tree, 42), 1);
  EXPECT_EQ(tree->size, 0);
  EXPECT_EQ(tree->root, nullptr);
  EXPECT_EQ(AVL_delete(tree, 42), 0);
  // The emptied tree is as good as a new one.
  EXPECT_EQ(AVL_insert(tree, 7), 1);
  EXPECT_EQ(shape(tree->root), "7:0");
  AVL_destroy(tree);
}

TEST(DeleteTest, TwoChildrenNodeKeepsItsPlaceAndTakesPredecessorKey) {
  AVL_TREE* tree = tree_of({1, 2, 3});
  nod* root = tree->root;
  nod* right = root->right;
  EXPECT_EQ(AVL_delete(tree, 2), 1);
  EXPECT_EQ(tree->root, root);  // the same node, now holding 1
  EXPECT_EQ(root->data, 1);
  EXPECT_EQ(root->right, right);
  EXPECT_EQ(root->balance, -1);
  EXPECT_EQ(tree->size, 2);
  AVL_destroy(tree);
}

TEST(DeleteTest, RepeatedKeysLeaveOneNodeAtATime) {
  AVL_TREE* tree = tree_of({5, 3, 5, 8, 5, 1});
  for (int remaining = 2; remaining >= 0; --remaining) {
    EXPECT_EQ(AVL_delete(tree, 5), 1);
    EXPECT_EQ(check_avl(tree), "");
    std::vector<int32_t> expected{1, 3};
    expected.insert(expected.end(), remaining, 5);
    expected.push_back(8);
    EXPECT_EQ(inorder_keys(tree->root), expected);
  }
  EXPECT_EQ(AVL_delete(tree, 5), 0);
  EXPECT_EQ(tree->size, 3);
  AVL_destroy(tree);
}

TEST(DeleteTest, AllEqualKeysDrainToEmpty) {
  std::vector<int32_t> keys(200, -7);
  AVL_TREE* tree = tree_of(keys);
  for (int i = 199; i >= 0; --i) {
    ASSERT_EQ(AVL_delete(tree, -7), 1);
    ASSERT_EQ(tree->size, i);
    ASSERT_EQ(check_avl(tree), "") << i << " left";
  }
  EXPECT_EQ(tree->root, nullptr);
  EXPECT_EQ(AVL_delete(tree, -7), 0);
  AVL_destroy(tree);
}

TEST(DeleteTest, ShrinkFlagReportsHeightChange) {
  // delete_rotate on its own: shrank and found are its only channels.
  AVL_TREE* tree = tree_of({2, 1, 3});
  bool shrank = true, found = true;
  tree->root = delete_rotate(tree->root, 9, &shrank, &found);
  EXPECT_FALSE(found);
  EXPECT_FALSE(shrank);

  tree->root = delete_rotate(tree->root, 3, &shrank, &found);
  EXPECT_TRUE(found);
  EXPECT_FALSE(shrank);  // the root now leans left; its height is unchanged
  tree->size = 2;

  tree->root = delete_rotate(tree->root, 1, &shrank, &found);
  EXPECT_TRUE(found);
  EXPECT_TRUE(shrank);  // from two levels to one
  tree->size = 1;
  EXPECT_EQ(shape(tree->root), "2:0");
  AVL_destroy(tree);
}

TEST(DeleteTest, OutOfRangeBalanceIsLeftAlone) {
  nod odd{3, nullptr, nullptr, 4};
  bool shrank = true;
  EXPECT_EQ(del_balance_left(&odd, &shrank), &odd);
  EXPECT_EQ(del_balance_right(&odd, &shrank), &odd);
  EXPECT_TRUE(shrank);
  EXPECT_EQ(odd.balance, 4);
}

// Deleting a key held by a node with two children moves another key into that
// node: a pointer found earlier may afterwards hold a different key.
TEST(SearchAfterDeleteTest, FoundNodeMayTakeAnotherKey) {
  AVL_TREE* tree = tree_of({1, 2, 3});
  const nod* two = search_avl(tree->root, 2);
  ASSERT_EQ(two, tree->root);
  ASSERT_EQ(AVL_delete(tree, 2), 1);
  EXPECT_EQ(two->data, 1);
  EXPECT_EQ(search_avl(tree->root, 1), two);
  EXPECT_EQ(search_avl(tree->root, 2), nullptr);
  AVL_destroy(tree);
}

TEST(SearchAfterDeleteTest, FindsTheRepeatedKeyNearestTheRoot) {
  // 3, 5, 1, 5, 5: the last insertion rotates the three 5s so that the
  // second one sits above the other two, as the root's right child.
  AVL_TREE* tree = create_avl_tree();
  ASSERT_NE(tree, nullptr);
  nod* fives[3] = {};
  int next = 0;
  for (int32_t key : {3, 5, 1, 5, 5}) {
    ASSERT_EQ(AVL_insert(tree, key), 1);
    if (key == 5) {
      // The new node is the only 5 not yet recorded.
      std::vector<nod*> stack{tree->root};
      while (!stack.empty()) {
        nod* node = stack.back();
        stack.pop_back();
        if (node->data == 5 && std::find(fives, fives + next, node) == fives + next) {
          fives[next++] = node;
          break;
        }
        for (nod* child : {node->left, node->right}) {
          if (child != nullptr) {
            stack.push_back(child);
          }
        }
      }
    }
  }
  ASSERT_EQ(next, 3);
  ASSERT_EQ(shape(tree->root), "(1:0 3:-1 (5:0 5:0 5:0))");
  EXPECT_EQ(tree->root->right, fives[1]);
  EXPECT_EQ(search_avl(tree->root, 5), fives[1]);
  // Deleting a 5 removes the first one met on the path: here it has two
  // children, so it takes its predecessor's key (also 5) and the first 5's
  // node is released instead.
  ASSERT_EQ(AVL_delete(tree, 5), 1);
  EXPECT_EQ(search_avl(tree->root, 5), fives[1]);
  EXPECT_EQ(fives[1]->left, nullptr);
  EXPECT_EQ(fives[1]->right, fives[2]);
  EXPECT_EQ(check_avl(tree), "");
  AVL_destroy(tree);
}

}  // namespace
