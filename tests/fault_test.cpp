// Failure paths that must never look like success: the stop on an
// inconsistent tree, and a node count that cannot grow any further.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "avl_check.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A one-node tree whose balance was set to +1 by hand: the new left child is a
// balanced leaf where balance_left needs a leaning one.
void insert_below_hand_tilted_root(const char* stdout_path) {
  if (std::freopen(stdout_path, "w", stdout) == nullptr) {
    std::exit(99);
  }
  AVL_TREE* tree = create_avl_tree();
  AVL_insert(tree, 10);
  tree->root->balance = +1;
  std::printf("written before the stop");  // still buffered when the stop comes
  AVL_insert(tree, 5);
  std::printf(" and after it");  // never reached
  std::exit(0);
}

TEST(InconsistentTreeDeathTest, StopsWithFailureStatusAndMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string out = ::testing::TempDir() + "avl_inconsistent_stdout.txt";
  std::remove(out.c_str());
  EXPECT_EXIT(insert_below_hand_tilted_root(out.c_str()), ::testing::ExitedWithCode(1),
              "^ADT_avl_tree: inconsistent tree: balanced child in balance_left\n$");
  // The normal exit path flushed what was buffered, and nothing after the stop ran.
  EXPECT_EQ(read_file(out), "written before the stop");
}

TEST(InconsistentTreeDeathTest, MirrorSideStopsToo) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        AVL_TREE* tree = create_avl_tree();
        AVL_insert(tree, 10);
        tree->root->balance = -1;
        AVL_insert(tree, 20);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "inconsistent tree: balanced child in balance_right");
}

TEST(InconsistentTreeDeathTest, MissingChildStopsInsteadOfFollowingNull) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The root claims a taller left side that does not exist; deleting its
  // right child asks the deletion fix-up to rotate that missing child.
  EXPECT_EXIT(
      {
        AVL_TREE* tree = create_avl_tree();
        AVL_insert(tree, 2);
        AVL_insert(tree, 3);
        tree->root->balance = +1;
        AVL_delete(tree, 3);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "inconsistent tree: missing child in del_balance_left");
  // Likewise a double rotation whose grandchild is missing.
  EXPECT_EXIT(
      {
        AVL_TREE* tree = tree_of({5, 2, 8, 1});  // 5 leans left; 2 holds only 1
        tree->root->left->balance = -1;          // 2 now claims a right child
        AVL_delete(tree, 8);                     // 5 must rotate 2's missing right child up
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "inconsistent tree: missing child in del_balance_left");
}

TEST(SizeLimitTest, FullCountRefusesInsertAndChangesNothing) {
  AVL_TREE* tree = tree_of({2, 1, 3});
  nod* root = tree->root;
  const std::string before = shape(root);
  tree->size = INT32_MAX;  // as if 2^31 - 1 nodes were stored

  EXPECT_EQ(AVL_insert(tree, 4), 0);
  EXPECT_EQ(tree->size, INT32_MAX);
  EXPECT_EQ(tree->root, root);
  EXPECT_EQ(shape(tree->root), before);

  tree->size = INT32_MAX - 1;  // one below the limit still inserts
  EXPECT_EQ(AVL_insert(tree, 4), 1);
  EXPECT_EQ(tree->size, INT32_MAX);
  EXPECT_EQ(inorder_keys(tree->root), (std::vector<int32_t>{1, 2, 3, 4}));

  tree->size = 4;
  EXPECT_EQ(check_avl(tree), "");
  AVL_destroy(tree);
}

}  // namespace
