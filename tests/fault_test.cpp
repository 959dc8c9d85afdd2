// Failure paths that must never look like success: the stop on an
// inconsistent tree, a node count that cannot grow any further, and cursors
// on trees deeper than they can hold.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "avl_check.h"

namespace {

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

// Damage that the module leaves alone must not cost nodes or lie about the
// result: a deletion removes exactly one node whatever `size` claims, and a
// deletion that reports nothing removed leaves the tree as it was.
TEST(DamagedTreeTest, DeletionRemovesOneNodeOrNothing) {
  AVL_TREE* tree = tree_of({2, 1, 3});
  tree->size = 1;  // set by hand: two of the three nodes are not counted
  EXPECT_EQ(AVL_delete(tree, 1), 1);
  EXPECT_EQ(tree->size, 0);
  EXPECT_EQ(shape(tree->root), "(. 2:-1 3:0)");  // still reachable, so AVL_destroy frees them
  EXPECT_EQ(check_avl(tree),
            "AVL_check: size broken at key 2: the tree holds more than its size of 0 nodes\n");
  AVL_destroy(tree);

  // 4's predecessor, 3, made smaller than its parent 2: the search for the
  // key that 4 takes goes left at 2 and misses it.
  tree = tree_of({4, 2, 6, 1, 3, 5, 7});
  tree->root->left->right->data = 0;
  const std::string before = shape(tree->root);
  EXPECT_EQ(AVL_delete(tree, 4), 0);
  EXPECT_EQ(shape(tree->root), before);
  EXPECT_EQ(tree->size, 7);
  AVL_destroy(tree);
}

// AVL_check on trees damaged by hand: the verdict, and one report line that
// names the broken invariant and the key where it broke.
TEST(CheckTest, ReportsTheFirstBrokenInvariant) {
  AVL_TREE* tree = tree_of({4, 2, 6, 1, 3, 5, 7});  // perfect, root 4
  EXPECT_EQ(AVL_check(tree, nullptr), 1);

  tree->root->left->balance = +1;
  EXPECT_EQ(AVL_check(tree, nullptr), 0);
  EXPECT_EQ(check_avl(tree),
            "AVL_check: balance broken at key 2: it stores 1, its subtrees are 1 and 1 tall\n");
  tree->root->left->balance = 0;

  tree->root->right->left->data = 3;  // 5 -> 3, right of the root's 4
  EXPECT_EQ(check_avl(tree), "AVL_check: order broken at key 3: keys there must lie in 4..6\n");
  tree->root->right->left->data = 5;

  tree->size = 8;
  EXPECT_EQ(check_avl(tree), "AVL_check: size broken: size is 8, the tree holds 7 nodes\n");
  tree->size = 6;
  EXPECT_EQ(check_avl(tree),
            "AVL_check: size broken at key 7: the tree holds more than its size of 6 nodes\n");
  tree->size = 7;
  EXPECT_EQ(check_avl(tree), "");
  AVL_destroy(tree);

  EXPECT_EQ(check_avl(nullptr), "AVL_check: no tree: the handle is null\n");
}

TEST(CheckTest, BalanceOutOfRangeAndLinksInACycle) {
  nod low{1, nullptr, nullptr, 0};
  nod mid{2, &low, nullptr, +1};
  nod top{3, &mid, nullptr, +2};  // a chain: the stored balances are true, 3's is too large
  AVL_TREE tree{3, &top};
  EXPECT_EQ(check_avl(&tree),
            "AVL_check: balance broken at key 3: its subtrees are 2 and 0 tall\n");

  nod self{5, nullptr, nullptr, 0};
  self.left = &self;  // equal keys may sit on the left, so the order check lets it pass
  AVL_TREE loop{INT32_MAX, &self};
  EXPECT_EQ(check_avl(&loop), "AVL_check: links in a cycle at key 5: the node lies below itself\n");
}

// Equal keys let a shared node pass the order check, and the node count alone
// cannot tell two paths to one node from two nodes; AVL_destroy would release
// such a node twice.
TEST(CheckTest, NodeReachableTwiceIsReported) {
  nod x{5, nullptr, nullptr, 0};
  nod r{5, &x, &x, 0};
  AVL_TREE vee{3, &r};
  EXPECT_EQ(check_avl(&vee), "AVL_check: node with key 5 is reachable twice\n");

  // A ladder: both links of every rung lead to the rung below, so a walk
  // meets 2^20 - 1 nodes, exactly what `size` claims, with sound balances.
  std::vector<nod> rungs(20, nod{7, nullptr, nullptr, 0});
  for (size_t i = 0; i + 1 < rungs.size(); ++i) {
    rungs[i].left = rungs[i].right = &rungs[i + 1];
  }
  AVL_TREE ladder{(1 << 20) - 1, &rungs[0]};
  EXPECT_EQ(check_avl(&ladder), "AVL_check: node with key 7 is reachable twice\n");
}

// Release is not a recursive walk: a hand-made chain far taller than any AVL
// tree goes back to the heap in constant stack (and, under the sanitizers
// and valgrind, every node exactly once).
TEST(DestroyTest, ReleasesAMillionNodeChainWithoutRecursion) {
  AVL_TREE* tree = create_avl_tree();
  ASSERT_NE(tree, nullptr);
  nod** link = &tree->root;
  const int32_t count = static_cast<int32_t>(scaled(1000000));
  for (int32_t key = 0; key < count; ++key) {
    *link = new nod{key, nullptr, nullptr, 0};
    link = key % 2 == 0 ? &(*link)->right : &(*link)->left;  // a zigzag: both rotations
    tree->size += 1;
  }
  EXPECT_EQ(AVL_check(tree, nullptr), count > 2 ? 0 : 1);
  AVL_destroy(tree);
}

// Cursors on chains built by hand, deeper than any AVL tree: a path that fits
// the cursor's 45 entries is followed to its end, a deeper one (or links in a
// cycle) leaves the cursor past the end, and nothing is written beyond it.
TEST(CursorDepthTest, PathsDeeperThanTheCursorEndPastTheEnd) {
  struct Guarded {
    AVL_CURSOR cursor;
    unsigned char guard[64];
  };
  for (int levels : {AVL_CURSOR_PATH_LENGTH + 1, AVL_CURSOR_PATH_LENGTH + 2, 80}) {
    // levels, levels - 1, .., 1 down the left side: key k at depth levels - k.
    std::vector<nod> chain(static_cast<size_t>(levels));
    for (int i = 0; i < levels; ++i) {
      chain[i] = nod{levels - i, i + 1 < levels ? &chain[i + 1] : nullptr, nullptr, 0};
    }
    AVL_TREE tree{levels, &chain[0]};
    const bool fits = levels - 1 <= AVL_CURSOR_PATH_LENGTH;  // ancestors of the deepest node
    Guarded guarded;
    std::memset(guarded.guard, 0xA5, sizeof guarded.guard);
    AVL_CURSOR* cursor = &guarded.cursor;

    EXPECT_EQ(AVL_cursor_first(cursor, &tree), fits ? &chain.back() : nullptr) << levels;
    EXPECT_EQ(AVL_cursor_lower_bound(cursor, &tree, 1), fits ? &chain.back() : nullptr);
    EXPECT_EQ(AVL_cursor_node(cursor), fits ? &chain.back() : nullptr);
    // From the root down by prev: every node while the path holds, then past the end.
    EXPECT_EQ(AVL_cursor_last(cursor, &tree), &chain[0]);
    int reached = 1;
    while (AVL_cursor_prev(cursor) != nullptr) {
      ++reached;
    }
    EXPECT_EQ(reached, fits ? levels : AVL_CURSOR_PATH_LENGTH + 1) << levels;
    EXPECT_EQ(AVL_cursor_node(cursor), nullptr);
    EXPECT_EQ(AVL_cursor_next(cursor), nullptr);  // past the end it stays
    for (unsigned char byte : guarded.guard) {
      ASSERT_EQ(byte, 0xA5) << "written beyond the cursor, " << levels << " levels";
    }
  }
  nod self{5, nullptr, nullptr, 0};
  self.left = &self;
  AVL_TREE loop{1, &self};
  AVL_CURSOR cursor;
  EXPECT_EQ(AVL_cursor_first(&cursor, &loop), nullptr);
  EXPECT_EQ(AVL_cursor_upper_bound(&cursor, &loop, 4), nullptr);
}

}  // namespace
