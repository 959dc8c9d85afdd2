// Randomized insertion against std::multiset: after every insertion the tree
// must pass the invariant checker and hold exactly the model's keys.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>

#include "avl_check.h"

namespace {

struct KeyRange {
  const char* name;
  int32_t low, high;
};

class RandomInsertTest : public ::testing::TestWithParam<KeyRange> {};

TEST_P(RandomInsertTest, MatchesMultisetAfterEveryInsert) {
  const KeyRange range = GetParam();
  constexpr int kSequences = 60;
  constexpr int kInsertsPerSequence = 400;
  for (uint32_t seed = 1; seed <= kSequences; ++seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int32_t> pick(range.low, range.high);
    AVL_TREE* tree = create_avl_tree();
    ASSERT_NE(tree, nullptr);
    std::multiset<int32_t> model;
    for (int step = 0; step < kInsertsPerSequence; ++step) {
      const int32_t key = pick(rng);
      ASSERT_EQ(AVL_insert(tree, key), 1);
      model.insert(key);
      const std::string fault = check_avl(tree);
      ASSERT_EQ(fault, "") << "seed " << seed << " step " << step << " key " << key;
      ASSERT_EQ(inorder_keys(tree->root), std::vector<int32_t>(model.begin(), model.end()))
          << "seed " << seed << " step " << step;
      const int32_t probe = pick(rng);
      const nod* hit = search_avl(tree->root, probe);
      ASSERT_EQ(hit != nullptr, model.count(probe) > 0) << "seed " << seed << " probe " << probe;
      if (hit != nullptr) {
        ASSERT_EQ(hit->data, probe);
      }
    }
    AVL_destroy(tree);
  }
}

INSTANTIATE_TEST_SUITE_P(Ranges, RandomInsertTest,
                         ::testing::Values(KeyRange{"HeavyDuplicates", 1, 40},
                                           KeyRange{"Hundreds", -300, 300},
                                           KeyRange{"WholeInt32", INT32_MIN, INT32_MAX}),
                         [](const ::testing::TestParamInfo<KeyRange>& info) {
                           return std::string(info.param.name);
                         });

// A larger tree checked once at the end: the height stays within the AVL bound.
TEST(RandomInsertTest, HeightStaysWithinAvlBound) {
  std::mt19937 rng(2026);
  AVL_TREE* tree = create_avl_tree();
  ASSERT_NE(tree, nullptr);
  constexpr int kCount = 200000;
  for (int i = 0; i < kCount; ++i) {
    ASSERT_EQ(AVL_insert(tree, static_cast<int32_t>(rng())), 1);
  }
  EXPECT_EQ(check_avl(tree), "");
  // Fewest nodes of an AVL tree of height h: N(h) = N(h-1) + N(h-2) + 1, so
  // 200,000 nodes allow a height of at most 25.
  EXPECT_LE(subtree_height(tree->root), 25);
  EXPECT_GE(subtree_height(tree->root), 18);  // a binary tree needs ceil(log2(n + 1))
  AVL_destroy(tree);
}

}  // namespace
