// Insertion: exact shapes and balance factors for every rebalancing case on
// both sides, repeated keys, and perfect trees from ascending runs.
#include <gtest/gtest.h>

#include <numeric>

#include "avl_check.h"

namespace {

struct ShapeCase {
  const char* name;
  std::vector<int32_t> keys;
  const char* expected;  // as printed by shape()
};

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const ShapeCase& c, std::ostream* os) {
  *os << c.name;
}

class InsertShapeTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(InsertShapeTest, EndsInExpectedShape) {
  const ShapeCase& c = GetParam();
  AVL_TREE* tree = tree_of(c.keys);
  EXPECT_EQ(shape(tree->root), c.expected);
  EXPECT_EQ(tree->size, static_cast<int32_t>(c.keys.size()));
  EXPECT_EQ(check_avl(tree), "");
  AVL_destroy(tree);
}

INSTANTIATE_TEST_SUITE_P(
    Rebalancing, InsertShapeTest,
    ::testing::Values(
        ShapeCase{"Single", {7}, "7:0"}, ShapeCase{"TiltRight", {1, 2}, "(. 1:-1 2:0)"},
        ShapeCase{"TiltLeft", {2, 1}, "(1:0 2:1 .)"},
        ShapeCase{"RightRight", {1, 2, 3}, "(1:0 2:0 3:0)"},
        ShapeCase{"LeftLeft", {3, 2, 1}, "(1:0 2:0 3:0)"},
        ShapeCase{"LeftRightLeafGrandchild", {3, 1, 2}, "(1:0 2:0 3:0)"},
        ShapeCase{"RightLeftLeafGrandchild", {1, 3, 2}, "(1:0 2:0 3:0)"},
        // The short side catches up: growth stops without a rotation.
        ShapeCase{"CatchUp", {2, 1, 3}, "(1:0 2:0 3:0)"},
        // Left-right with a grandchild leaning left: the old root leans right.
        ShapeCase{
            "LeftRightGrandchildLeft", {5, 2, 8, 1, 4, 3}, "((1:0 2:0 3:0) 4:0 (. 5:-1 8:0))"},
        // Left-right with a grandchild leaning right: the old child leans left.
        ShapeCase{"LeftRightGrandchildRight",
                  {50, 20, 80, 10, 40, 45},
                  "((10:0 20:1 .) 40:0 (45:0 50:0 80:0))"},
        // Right-left with a grandchild leaning left: the old child leans right.
        ShapeCase{
            "RightLeftGrandchildLeft", {2, 1, 5, 4, 6, 3}, "((1:0 2:0 3:0) 4:0 (. 5:-1 6:0))"},
        // Right-left with a grandchild leaning right: the old root leans left.
        ShapeCase{"RightLeftGrandchildRight",
                  {20, 10, 50, 40, 60, 45},
                  "((10:0 20:1 .) 40:0 (45:0 50:0 60:0))"},
        // A rotation deep in the tree: the levels above only relink.
        ShapeCase{"RotationBelowRoot",
                  {4, 2, 6, 1, 3, 5, 7, 8, 9},
                  "((1:0 2:0 3:0) 4:-1 (5:0 6:-1 (7:0 8:0 9:0)))"},
        // Equal keys go right; rotations may put them on either side.
        ShapeCase{"Repeats", {5, 5, 5}, "(5:0 5:0 5:0)"},
        ShapeCase{"RepeatsBesideOthers", {5, 3, 5, 5}, "(3:0 5:-1 (. 5:-1 5:0))"},
        ShapeCase{"ExtremeKeys", {INT32_MAX, INT32_MIN, 0}, "(-2147483648:0 0:0 2147483647:0)"}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) { return std::string(info.param.name); });

TEST(InsertTest, FirstKeyBecomesRoot) {
  AVL_TREE* tree = create_avl_tree();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(AVL_insert(tree, -3), 1);
  ASSERT_NE(tree->root, nullptr);
  EXPECT_EQ(tree->root->data, -3);
  EXPECT_EQ(tree->root->balance, 0);
  EXPECT_EQ(tree->root->left, nullptr);
  EXPECT_EQ(tree->root->right, nullptr);
  EXPECT_EQ(tree->size, 1);
  AVL_destroy(tree);
}

TEST(InsertTest, RepeatedKeysKeepTheirInsertionNodes) {
  // The second 5 ends on top, the first on its left, the third on its right.
  AVL_TREE* tree = tree_of({5});
  nod* first = tree->root;
  ASSERT_EQ(AVL_insert(tree, 5), 1);
  nod* second = tree->root->right;
  ASSERT_EQ(AVL_insert(tree, 5), 1);
  EXPECT_EQ(tree->root, second);
  EXPECT_EQ(tree->root->left, first);
  EXPECT_NE(tree->root->right, nullptr);
  EXPECT_NE(tree->root->right, first);
  EXPECT_EQ(tree->size, 3);
  AVL_destroy(tree);
}

TEST(InsertTest, AllEqualKeysStayBalanced) {
  AVL_TREE* tree = create_avl_tree();
  ASSERT_NE(tree, nullptr);
  for (int i = 1; i <= 1000; ++i) {
    ASSERT_EQ(AVL_insert(tree, 9), 1);
    ASSERT_EQ(check_avl(tree), "") << "after " << i << " inserts";
  }
  EXPECT_EQ(inorder_keys(tree->root), std::vector<int32_t>(1000, 9));
  AVL_destroy(tree);
}

TEST(InsertTest, GrowFlagReportsHeightChange) {
  // insert_rotate on its own: the flag is the only channel for height news.
  nod root{10, nullptr, nullptr, 0};
  nod leaf{5, nullptr, nullptr, 0};
  bool grew = false;
  EXPECT_EQ(insert_rotate(&root, &leaf, &grew), &root);
  EXPECT_TRUE(grew);
  EXPECT_EQ(root.balance, 1);

  nod other{15, nullptr, nullptr, 0};
  grew = true;
  EXPECT_EQ(insert_rotate(&root, &other, &grew), &root);
  EXPECT_FALSE(grew);
  EXPECT_EQ(root.balance, 0);
}

TEST(InsertTest, OutOfRangeBalanceIsLeftAlone) {
  // Balance factors outside -1..+1 are never "repaired" by the fix-ups.
  nod child{1, nullptr, nullptr, 5};
  nod root{2, &child, nullptr, 1};
  bool grew = true;
  EXPECT_EQ(balance_left(&root, &grew), &root);
  EXPECT_TRUE(grew);  // not written
  EXPECT_EQ(root.balance, 1);
  EXPECT_EQ(child.balance, 5);

  nod leaf{9, nullptr, nullptr, 0};
  nod odd{3, nullptr, nullptr, 4};
  grew = false;
  EXPECT_EQ(insert_rotate(&odd, &leaf, &grew), &odd);
  EXPECT_TRUE(grew);  // growth passes through the odd node untouched
  EXPECT_EQ(odd.balance, 4);
  EXPECT_EQ(odd.right, &leaf);
}

// Ascending runs of 2^k - 1 keys fill a perfect tree: every level full, every
// balance 0, and the right spine as long as the height.
TEST(PerfectTreeTest, AscendingRunsFillEveryLevel) {
  for (int k = 1; k <= 16; ++k) {
    const int32_t count = (int32_t{1} << k) - 1;
    std::vector<int32_t> keys(count);
    std::iota(keys.begin(), keys.end(), 1);
    AVL_TREE* tree = tree_of(keys);
    ASSERT_EQ(check_avl(tree), "") << "k = " << k;
    EXPECT_EQ(subtree_height(tree->root), k);
    EXPECT_EQ(tree->root->data, int32_t{1} << (k - 1));
    EXPECT_EQ(inorder_keys(tree->root), keys);

    int zero_balances = 0;
    std::vector<const nod*> stack{tree->root};
    while (!stack.empty()) {
      const nod* node = stack.back();
      stack.pop_back();
      zero_balances += node->balance == 0;
      for (const nod* child : {node->left, node->right}) {
        if (child != nullptr) {
          stack.push_back(child);
        }
      }
    }
    EXPECT_EQ(zero_balances, count) << "k = " << k;

    int spine = 0;
    for (const nod* node = tree->root; node != nullptr; node = node->right) {
      ++spine;
    }
    EXPECT_EQ(spine, k);
    AVL_destroy(tree);
  }
}

TEST(PerfectTreeTest, DescendingRunsFillEveryLevelToo) {
  std::vector<int32_t> keys;
  for (int32_t key = 1023; key >= 1; --key) {
    keys.push_back(key);
  }
  AVL_TREE* tree = tree_of(keys);
  EXPECT_EQ(check_avl(tree), "");
  EXPECT_EQ(subtree_height(tree->root), 10);
  EXPECT_EQ(tree->root->data, 512);
  AVL_destroy(tree);
}

}  // namespace
