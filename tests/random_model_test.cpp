// Randomized model tests: seeded sequences of operations applied both to a
// tree and to a std::multiset, with the invariant checker after every step.
//
// A failure names its seed and step. To replay one seed alone:
//   AVL_SEED=<seed> ./random_model_test --gtest_filter='<test name>'
// AVL_TEST_SCALE (default 1) scales the number of seeds, e.g. 0.01 under valgrind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "avl/avl.hpp"
#include "avl_check.h"

namespace {

struct KeyRange {
  const char* name;
  int32_t low, high;
};

// Names the range in test listings instead of dumping its bytes.
void PrintTo(const KeyRange& range, std::ostream* os) {
  *os << range.name;
}

std::string range_name(const ::testing::TestParamInfo<KeyRange>& info) {
  return info.param.name;
}

const KeyRange kRanges[] = {
    {"HeavyDuplicates", 1, 40},            // about 40 distinct keys
    {"Hundreds", -300, 300},               // a few hundred keys
    {"WholeInt32", INT32_MIN, INT32_MAX},  // extremes included below
};

// The seeds to run: 1..count, or only AVL_SEED when it is set.
std::vector<uint32_t> seeds(long count) {
  if (const char* only = std::getenv("AVL_SEED")) {
    return {static_cast<uint32_t>(std::strtoul(only, nullptr, 10))};
  }
  std::vector<uint32_t> all;
  for (long seed = 1; seed <= scaled(count); ++seed) {
    all.push_back(static_cast<uint32_t>(seed));
  }
  return all;
}

// Keys from the range; in the whole int32 range the two extremes come up often.
int32_t random_key(std::mt19937& rng, const KeyRange& range) {
  if (range.low == INT32_MIN && rng() % 16 == 0) {
    return rng() % 2 == 0 ? INT32_MIN : INT32_MAX;
  }
  return std::uniform_int_distribution<int32_t>(range.low, range.high)(rng);
}

// A key the model holds (when it holds any), else a random one.
int32_t present_key(std::mt19937& rng, const KeyRange& range, const std::multiset<int32_t>& model) {
  if (model.empty()) {
    return random_key(rng, range);
  }
  auto at = model.begin();
  std::advance(at, static_cast<long>(rng() % model.size()));
  return *at;
}

// Records what AVL_walk visits and asks to stop after `stop_after` nodes.
struct Visits {
  std::vector<const nod*> nodes;
  size_t stop_after;
};

int record_visit(const nod* node, void* context) {
  auto* visits = static_cast<Visits*>(context);
  visits->nodes.push_back(node);
  return visits->nodes.size() < visits->stop_after ? 1 : 0;
}

// Every order in full against the links, then one walk stopped early.
void expect_walks_match(const AVL_TREE* tree, std::mt19937& rng) {
  for (int order = 0; order <= 2; ++order) {
    Visits all{{}, SIZE_MAX};
    EXPECT_EQ(AVL_walk(tree, order, record_visit, &all), tree->size) << "order " << order;
    EXPECT_EQ(all.nodes, nodes_in_order(tree->root, order)) << "order " << order;
  }
  if (tree->size > 0) {
    const int order = static_cast<int>(rng() % 3);
    Visits some{{}, 1 + rng() % static_cast<uint32_t>(tree->size)};
    EXPECT_EQ(AVL_walk(tree, order, record_visit, &some), static_cast<int32_t>(some.stop_after));
    const std::vector<const nod*> full = nodes_in_order(tree->root, order);
    EXPECT_EQ(some.nodes, std::vector<const nod*>(
                              full.begin(), full.begin() + static_cast<long>(some.stop_after)))
        << "walk in order " << order << " stopped after " << some.stop_after;
  }
}

class RandomInsertTest : public ::testing::TestWithParam<KeyRange> {};

TEST_P(RandomInsertTest, MatchesMultisetAfterEveryInsert) {
  const KeyRange range = GetParam();
  constexpr int kInsertsPerSequence = 400;
  for (uint32_t seed : seeds(60)) {
    std::mt19937 rng(seed);
    AVL_TREE* tree = create_avl_tree();
    ASSERT_NE(tree, nullptr);
    std::multiset<int32_t> model;
    for (int step = 0; step < kInsertsPerSequence; ++step) {
      const int32_t key = random_key(rng, range);
      ASSERT_EQ(AVL_insert(tree, key), 1);
      model.insert(key);
      ASSERT_EQ(tree_mismatch(tree, model), "")
          << "seed " << seed << " step " << step << " key " << key;
    }
    AVL_destroy(tree);
  }
}

INSTANTIATE_TEST_SUITE_P(Ranges, RandomInsertTest, ::testing::ValuesIn(kRanges), range_name);

// Inserts, deletes (half of them of keys the tree holds) and searches; after
// every step the bounds, counts and height and a few cursor steps either way
// from a random bound, and every 50 steps the walks and whole passes of a
// cursor in both directions.
class RandomMixTest : public ::testing::TestWithParam<KeyRange> {};

TEST_P(RandomMixTest, MatchesMultisetAfterEveryOperation) {
  const KeyRange range = GetParam();
  constexpr int kStepsPerSequence = 2000;
  long operations = 0;
  for (uint32_t seed : seeds(170)) {
    std::mt19937 rng(seed * 7919u + 17u);
    std::mt19937 steps_rng(seed);  // apart, so the operations are as they always were
    AVL_TREE* tree = create_avl_tree();
    ASSERT_NE(tree, nullptr);
    std::multiset<int32_t> model;
    for (int step = 0; step < kStepsPerSequence; ++step, ++operations) {
      const unsigned dice = rng() % 100;
      const bool pick_present = rng() % 2 == 0;
      const int32_t key = pick_present ? present_key(rng, range, model) : random_key(rng, range);
      std::string op;
      if (dice < 50) {
        op = "insert";
        ASSERT_EQ(AVL_insert(tree, key), 1);
        model.insert(key);
      } else if (dice < 80) {
        op = "delete";
        const auto at = model.find(key);
        const int expected = at != model.end() ? 1 : 0;
        if (at != model.end()) {
          model.erase(at);
        }
        ASSERT_EQ(AVL_delete(tree, key), expected)
            << "seed " << seed << " step " << step << " delete " << key;
      } else {
        op = "search";
        const nod* hit = search_avl(tree->root, key);
        ASSERT_EQ(hit != nullptr, model.count(key) > 0)
            << "seed " << seed << " step " << step << " search " << key;
        if (hit != nullptr) {
          ASSERT_EQ(hit->data, key);
        }
      }
      const std::string after =
          "seed " + std::to_string(seed) + " step " + std::to_string(step) + " after " + op;
      ASSERT_EQ(tree_mismatch(tree, model), "") << after << " " << key;
      ASSERT_EQ(tree->root == nullptr, model.empty());

      const std::vector<const nod*> inorder = nodes_in_order(tree->root, 1);
      const int32_t other = random_key(rng, range);
      EXPECT_EQ(query_mismatch(tree, model, key, &inorder), "") << after;
      EXPECT_EQ(query_mismatch(tree, model, other, &inorder), "") << after;
      EXPECT_EQ(cursor_mismatch(tree, inorder, other, 1 + static_cast<int>(steps_rng() % 12)), "")
          << after;
      ASSERT_EQ(AVL_height(tree), subtree_height(tree->root));
      if (step % 50 == 0) {
        expect_walks_match(tree, rng);
        EXPECT_EQ(iteration_mismatch(tree, inorder), "") << after;
      }
      ASSERT_FALSE(HasFailure()) << "seed " << seed << " step " << step << " after " << op << " "
                                 << key;
    }
    AVL_destroy(tree);
  }
  RecordProperty("operations", std::to_string(operations));
}

INSTANTIATE_TEST_SUITE_P(Ranges, RandomMixTest, ::testing::ValuesIn(kRanges), range_name);

// Grow a larger tree, then drain it in random order: the height stays within
// the AVL bound while it is large and the tree ends empty.
TEST(RandomDrainTest, GrowThenDrainStaysWithinBound) {
  std::mt19937 rng(2026);
  AVL_TREE* tree = create_avl_tree();
  ASSERT_NE(tree, nullptr);
  const long count = scaled(200000);
  std::vector<int32_t> keys;
  for (long i = 0; i < count; ++i) {
    keys.push_back(static_cast<int32_t>(rng()));
    ASSERT_EQ(AVL_insert(tree, keys.back()), 1);
  }
  EXPECT_EQ(check_avl(tree), "");
  if (count == 200000) {
    // Fewest nodes of an AVL tree of height h: N(h) = N(h-1) + N(h-2) + 1,
    // so 200,000 nodes allow a height of at most 25 (N(26) = 317,810), and a
    // binary tree of 200,000 nodes needs at least 18 levels.
    EXPECT_LE(subtree_height(tree->root), 25);
    EXPECT_GE(subtree_height(tree->root), 18);
  }
  std::shuffle(keys.begin(), keys.end(), rng);
  for (size_t i = 0; i < keys.size(); ++i) {
    ASSERT_EQ(AVL_delete(tree, keys[i]), 1) << keys[i];
    if (i % 1024 == 0) {
      ASSERT_EQ(check_avl(tree), "") << "after " << i + 1 << " deletions";
    }
  }
  EXPECT_EQ(tree->size, 0);
  EXPECT_EQ(tree->root, nullptr);
  AVL_destroy(tree);
}

}  // namespace

// An iterator's distance from begin(), or -1 unless the iterator itself also
// steps to both ends in as many steps as that says, which only an iterator
// with a true path does (a wrong path can still reach its neighbours).
template <class Container, class Iterator>
long place_of(const Container& c, Iterator position) {
  const typename Container::const_iterator it(position);
  const long at = std::distance(c.begin(), it);
  long back = 0;
  for (auto step = it; step != c.begin(); --step) {
    ++back;
  }
  if (back != at || at + std::distance(it, c.end()) != static_cast<long>(c.size())) {
    return -1;
  }
  return at;
}

// avl::tree against std::multiset<int32_t>, member by member: the positions
// that insert and erase(iterator) return, the counts erase(key) returns, the
// lookups, and at checkpoints whole passes both ways, a copy and a move.
TEST(TreeClassTest, MatchesMultisetMemberByMember) {
  constexpr int kSteps = 3000;
  for (uint32_t seed : seeds(6)) {
    std::mt19937 rng(seed);
    const KeyRange range = kRanges[seed % 3];
    avl::tree tree;
    std::multiset<int32_t> model;
    for (int step = 0; step < kSteps; ++step) {
      const std::string at = "seed " + std::to_string(seed) + " step " + std::to_string(step);
      const int32_t key = rng() % 2 == 0 ? present_key(rng, range, model) : random_key(rng, range);
      const unsigned dice = rng() % 10;
      if (dice < 5) {
        // By key, or with a hint anywhere, which std places just before the
        // hint when the order allows, else as near to it as it allows.
        const long hint = static_cast<long>(rng() % (model.size() + 1));
        const bool hinted = rng() % 2 == 0;
        const auto position =
            hinted ? tree.insert(std::next(tree.begin(), hint), key) : tree.insert(key);
        const auto expected =
            hinted ? model.insert(std::next(model.begin(), hint), key) : model.insert(key);
        ASSERT_EQ(*position, key) << at;
        ASSERT_EQ(place_of(tree, position), std::distance(model.begin(), expected))
            << at << (hinted ? " insert at hint " : " insert ") << key;
      } else if (dice < 6 && model.size() > 2) {
        const long from = static_cast<long>(rng() % model.size());
        const long to = from + static_cast<long>(rng() % std::min<size_t>(4, model.size() - from));
        const auto next = tree.erase(std::next(tree.begin(), from), std::next(tree.begin(), to));
        const auto expected =
            model.erase(std::next(model.begin(), from), std::next(model.begin(), to));
        ASSERT_EQ(place_of(tree, next), std::distance(model.begin(), expected))
            << at << " erase " << from << ".." << to;
      } else if (dice < 7 && !model.empty()) {
        const long index = static_cast<long>(rng() % model.size());
        const auto next = tree.erase(std::next(tree.begin(), index));
        const auto expected = model.erase(std::next(model.begin(), index));
        ASSERT_EQ(place_of(tree, next), std::distance(model.begin(), expected))
            << at << " erase at " << index;
      } else if (dice < 8) {
        ASSERT_EQ(tree.erase(key), model.erase(key)) << at << " erase " << key;
      }
      ASSERT_EQ(tree.size(), model.size()) << at;
      ASSERT_EQ(tree.count(key), model.count(key)) << at;
      ASSERT_EQ(tree.contains(key), model.count(key) > 0) << at;
      const auto found = tree.find(key);
      const auto expected = model.find(key) == model.end() ? model.end() : model.lower_bound(key);
      ASSERT_EQ(std::distance(tree.begin(), found), std::distance(model.begin(), expected))
          << at << " find " << key;  // the first of equal keys, or end()
      const auto [first, last] = tree.equal_range(key);
      ASSERT_EQ(std::distance(tree.begin(), first),
                std::distance(model.begin(), model.lower_bound(key)));
      ASSERT_EQ(std::distance(first, last), static_cast<long>(model.count(key)));
      if (step % 250 == 0) {
        ASSERT_TRUE(tree.check()) << at;
        ASSERT_TRUE(std::equal(tree.begin(), tree.end(), model.begin(), model.end())) << at;
        ASSERT_TRUE(std::equal(tree.rbegin(), tree.rend(), model.rbegin(), model.rend())) << at;
        ASSERT_EQ(tree.height(), AVL_height(tree.native())) << at;
        // A copy: the same keys in the same shape, balance factors included,
        // and a tree of its own.
        avl::tree copy = tree;
        ASSERT_TRUE(std::equal(copy.begin(), copy.end(), model.begin(), model.end())) << at;
        ASSERT_EQ(shape(copy.native()->root), shape(tree.native()->root)) << at;
        ASSERT_TRUE(copy == tree);
        copy.insert(key);
        ASSERT_EQ(copy.size(), tree.size() + 1);
        // A move takes the nodes; the tree moved from is empty and usable.
        const nod* root = copy.native()->root;
        avl::tree moved = std::move(copy);
        ASSERT_EQ(moved.native()->root, root);
        ASSERT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): it is defined
        ASSERT_EQ(copy.begin(), copy.end());
        copy.insert(1);
        ASSERT_EQ(copy.size(), 1U);
        moved.clear();
        ASSERT_TRUE(moved.empty());
        ASSERT_EQ(moved.begin(), moved.end());
      }
    }
  }
}

// The ownership members of avl::tree: copy and move assignment (to and from
// empty trees, and onto themselves), swap, and the initializer list, each
// leaving both trees sound and their own.
TEST(TreeClassTest, OwnershipMembersKeepEachTreeItsOwn) {
  avl::tree a{5, 3, 8, 3};
  avl::tree b{1, 2};
  a = b;
  EXPECT_EQ(a, b);
  EXPECT_NE(a.native()->root, b.native()->root);
  a.insert(9);
  EXPECT_EQ(b.size(), 2U);

  avl::tree& self = a;
  a = self;  // self-assignment keeps the keys
  EXPECT_EQ(a, (avl::tree{1, 2, 9}));
  a = std::move(self);
  EXPECT_EQ(a, (avl::tree{1, 2, 9}));
  EXPECT_TRUE(a.check());

  const nod* root = b.native()->root;
  a = std::move(b);
  EXPECT_EQ(a.native()->root, root);  // the nodes moved, nothing was copied
  EXPECT_TRUE(b.empty());             // NOLINT(bugprone-use-after-move): a moved-from tree is empty
  b = avl::tree{};
  a = b;  // from an empty tree
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(a.begin(), a.end());

  a = {4, 4, 1};
  b = {7};
  swap(a, b);
  EXPECT_EQ(a, (avl::tree{7}));
  EXPECT_EQ(b, (avl::tree{1, 4, 4}));
  EXPECT_LT(b, a);
  EXPECT_TRUE(a.check() && b.check());
  EXPECT_EQ(erase_if(b, [](int32_t key) { return key == 4; }), 2U);
  EXPECT_EQ(b, (avl::tree{1}));
}

// ------------------------------------------------------------ two walkers --
//
// The containers' nodes keep parent links, so a change can be rebalanced by
// climbing from where it was made as well as by the recursion's way back up.
// Both take the same per-level steps, so from the same tree and the same
// change they must make the same tree, parent links included.

using avl::detail::node_base;
using IntNode = avl::detail::node<int32_t>;

int32_t key_at(const node_base* node) {
  return static_cast<const IntNode*>(node)->value;
}

struct IntPolicy : avl::detail::parent_links {
  static bool goes_left(const node_base* fresh, const node_base* at) {
    return key_at(fresh) < key_at(at);
  }
  static constexpr bool admits(const node_base*) { return true; }
  static bool in_order(const node_base* a, const node_base* b) { return key_at(a) <= key_at(b); }
  static int32_t report_key(const node_base* node) { return key_at(node); }
};

struct IntErase : IntPolicy {
  int32_t key;
  node_base** removed;
  int where(const node_base* at) const { return key < key_at(at) ? -1 : key_at(at) < key ? +1 : 0; }
  void release(node_base* gone) const { *removed = gone; }
};

struct LinkedTree {
  node_base header;
  LinkedTree() : header{nullptr, &header, reinterpret_cast<uintptr_t>(&header) | 3} {}
  ~LinkedTree() {
    avl::core::destroy(header.left, [](node_base* gone) { delete static_cast<IntNode*>(gone); });
  }
  static node_base* make(int32_t key) {
    auto* fresh = new IntNode;
    fresh->value = key;
    fresh->left = fresh->right = nullptr;
    fresh->up = 0;
    fresh->set_balance(0);
    return fresh;
  }
  void set_root(node_base* root) {
    header.left = root;
    if (root != nullptr) {
      root->set_parent(&header);
    }
  }
  std::string shape() const { return shape_of(header.left); }
  static std::string shape_of(const node_base* node) {
    if (node == nullptr) {
      return ".";
    }
    return "(" + shape_of(node->left) + std::to_string(key_at(node)) + ":" +
           std::to_string(node->balance()) + shape_of(node->right) + ")";
  }
  bool sound(int64_t size) const {
    return avl::core::check<node_base>(header.left, size, nullptr, IntPolicy{}, &header) == 1;
  }
};

TEST(WalkersTest, RecursionAndClimbMakeTheSameTree) {
  for (uint32_t seed : seeds(20)) {
    std::mt19937 rng(seed);
    LinkedTree recursive;
    LinkedTree climbing;
    std::multiset<int32_t> model;
    for (int step = 0; step < 600; ++step) {
      const std::string at = "seed " + std::to_string(seed) + " step " + std::to_string(step);
      const bool inserts = model.empty() || rng() % 3 != 0;
      const int32_t key =
          inserts ? static_cast<int32_t>(rng() % 60) : present_key(rng, KeyRange{"", 0, 60}, model);
      if (inserts) {
        bool grew = false;
        recursive.set_root(
            avl::core::insert(recursive.header.left, LinkedTree::make(key), &grew, IntPolicy{}));
        node_base* parent = &climbing.header;
        bool left = true;
        for (node_base* node = climbing.header.left; node != nullptr;
             node = left ? node->left : node->right) {
          parent = node;
          left = key < key_at(node);
        }
        avl::core::link_and_climb(parent, left, LinkedTree::make(key), &climbing.header,
                                  IntPolicy{});
        model.insert(key);
      } else {
        bool shrank = false;
        bool found = false;
        node_base* removed = nullptr;
        recursive.set_root(
            avl::core::erase(recursive.header.left, &shrank, &found, IntErase{{}, key, &removed}));
        ASSERT_TRUE(found) << at;
        delete static_cast<IntNode*>(removed);
        node_base* node = climbing.header.left;
        while (key_at(node) != key) {
          node = key < key_at(node) ? node->left : node->right;
        }
        avl::core::unlink_and_climb(node, &climbing.header, IntPolicy{});
        delete static_cast<IntNode*>(node);
        model.erase(model.find(key));
      }
      const int64_t size = static_cast<int64_t>(model.size());
      ASSERT_TRUE(recursive.sound(size)) << at;
      ASSERT_TRUE(climbing.sound(size)) << at;
      ASSERT_EQ(recursive.shape(), climbing.shape())
          << at << (inserts ? " insert " : " erase ") << key;
    }
  }
}

// ------------------------------------------------ the generic containers --
//
// Each of avl::set, multiset, map and multimap against its std twin, with
// std::string keys ordered by < and by >: the same operations on both, every
// position that an insertion, an erasure or a lookup returns compared as a
// distance from begin() (so among equal keys it must be the very element), and
// at checkpoints both directions of the whole sequence, the check, a copy and
// a merge, and that each element tracked since the last checkpoint is still at
// its address unless it was erased.

// ==, !=, <, <=, >, >= of a and b, as bits.
template <class Container>
unsigned relations(const Container& a, const Container& b) {
  return (a == b) | (a != b) << 1 | (a < b) << 2 | (a <= b) << 3 | (a > b) << 4 | (a >= b) << 5;
}

template <class Avl, class Std>
struct Twins {
  using avl_type = Avl;
  using std_type = Std;
};

template <class T>
class ContainerModelTest : public ::testing::Test {};

using ContainerTwins = ::testing::Types<
    Twins<avl::set<std::string>, std::set<std::string>>,
    Twins<avl::set<std::string, std::greater<>>, std::set<std::string, std::greater<>>>,
    Twins<avl::multiset<std::string>, std::multiset<std::string>>,
    Twins<avl::multiset<std::string, std::greater<>>, std::multiset<std::string, std::greater<>>>,
    Twins<avl::map<std::string, int>, std::map<std::string, int>>,
    Twins<avl::map<std::string, int, std::greater<>>, std::map<std::string, int, std::greater<>>>,
    Twins<avl::multimap<std::string, int>, std::multimap<std::string, int>>,
    Twins<avl::multimap<std::string, int, std::greater<>>,
          std::multimap<std::string, int, std::greater<>>>>;
// Names the configurations in test listings: set_less, multimap_greater, ...
struct TwinName {
  template <class T>
  static std::string GetName(int index) {
    static const char* const names[] = {"set_less",         "set_greater",     "multiset_less",
                                        "multiset_greater", "map_less",        "map_greater",
                                        "multimap_less",    "multimap_greater"};
    return names[index];
  }
};
TYPED_TEST_SUITE(ContainerModelTest, ContainerTwins, TwinName);

template <class Value>
const std::string& key_of(const Value& value) {
  if constexpr (std::is_same_v<Value, std::string>) {
    return value;
  } else {
    return value.first;
  }
}

// Iterators held across changes, each beside its std twin: an insertion
// invalidates none of them and an erasure only the erased element's, so each
// must stay on its element whatever else happens.
template <class Avl, class Std>
struct HeldIterators {
  std::vector<std::pair<typename Avl::iterator, typename Std::iterator>> held;

  template <class Rng>
  void take(Avl& tree, Std& model, Rng& rng) {
    if (model.empty() || held.size() >= 24) {
      return;
    }
    const long index = static_cast<long>(rng() % model.size());
    held.emplace_back(std::next(tree.begin(), index), std::next(model.begin(), index));
  }
  // Before an element goes: the iterators on it go too.
  template <class Iterator>
  void drop(Iterator gone) {
    const auto* address = &*gone;
    held.erase(std::remove_if(held.begin(), held.end(),
                              [&](const auto& pair) { return &*pair.first == address; }),
               held.end());
  }
  template <class Key, class KeyOf>
  void drop_key(const Key& key, KeyOf key_of) {
    held.erase(std::remove_if(held.begin(), held.end(),
                              [&](const auto& pair) { return key_of(*pair.first) == key; }),
               held.end());
  }
  // Each still on its twin's element (the maps' values tell equal keys
  // apart), and, when `places`, at its twin's place in a whole walk.
  std::string mismatch(const Avl& tree, const Std& model, bool places) const {
    for (const auto& [avl_at, std_at] : held) {
      if (!(*avl_at == *std_at)) {
        return "a held iterator left its element";
      }
      if (places && place_of(tree, avl_at) != place_of(model, std_at)) {
        return "a held iterator is not where its element is";
      }
    }
    return "";
  }
};

TYPED_TEST(ContainerModelTest, MatchesItsStdTwin) {
  using Avl = typename TypeParam::avl_type;
  using Std = typename TypeParam::std_type;
  using Value = typename Std::value_type;
  constexpr bool is_map = !std::is_same_v<typename Std::key_type, Value>;
  constexpr bool unique =
      std::is_same_v<decltype(std::declval<Std&>().insert(std::declval<Value>())),
                     std::pair<typename Std::iterator, bool>>;
  static_assert(sizeof(typename Avl::iterator) == sizeof(void*), "an iterator is one pointer");
  int next_value = 0;  // maps: every element's value is its own, so equal keys differ
  auto element_key = [](const Value& value) -> const std::string& { return key_of(value); };
  for (uint32_t seed : seeds(12)) {
    std::mt19937 rng(seed);
    Avl tree;
    Std model;
    HeldIterators<Avl, Std> held;
    std::unordered_map<const Value*, Value> tracked;  // address -> value it held
    auto random_key = [&rng] { return "k" + std::to_string(rng() % 40); };
    auto make = [&](const std::string& key) {
      if constexpr (is_map) {
        return Value{key, next_value++};
      } else {
        return key;
      }
    };
    auto at_of = [](auto& c, long index) { return std::next(c.begin(), index); };
    auto place = [](const auto& c, auto it) { return place_of(c, it); };
    auto untrack_key = [&](const std::string& key) {
      for (auto it = tracked.begin(); it != tracked.end();) {
        it = key_of(it->second) == key ? tracked.erase(it) : std::next(it);
      }
    };
    for (int step = 0; step < 1500; ++step) {
      const std::string at = "seed " + std::to_string(seed) + " step " + std::to_string(step);
      const std::string key = random_key();
      const long size = static_cast<long>(model.size());
      const long index = size == 0 ? 0 : static_cast<long>(rng() % model.size());
      const unsigned dice = rng() % 100;
      if (dice < 25) {
        const Value value = make(key);
        if constexpr (unique) {
          const auto [position, inserted] = tree.insert(value);
          const auto [expected, expected_inserted] = model.insert(value);
          ASSERT_EQ(inserted, expected_inserted) << at;
          ASSERT_EQ(place(tree, position), place(model, expected)) << at << " insert " << key;
        } else {
          ASSERT_EQ(place(tree, tree.insert(value)), place(model, model.insert(value))) << at;
        }
      } else if (dice < 38) {
        const long hint = static_cast<long>(rng() % (model.size() + 1));
        const Value value = make(key);
        const auto position = rng() % 2 == 0 ? tree.insert(at_of(tree, hint), value)
                                             : tree.emplace_hint(at_of(tree, hint), value);
        ASSERT_EQ(place(tree, position), place(model, model.insert(at_of(model, hint), value)))
            << at << " insert " << key << " at hint " << hint;
      } else if (dice < 44) {
        if constexpr (is_map && unique) {
          const int value = next_value++;
          switch (rng() % 3) {
            case 0:
              ASSERT_EQ(place(tree, tree.try_emplace(key, value).first),
                        place(model, model.try_emplace(key, value).first))
                  << at;
              break;
            case 1:
              ASSERT_EQ(tree.insert_or_assign(key, value).second,
                        model.insert_or_assign(key, value).second)
                  << at;
              break;
            default:
              tree[key] = value;
              model[key] = value;
              ASSERT_EQ(tree.at(key), value);
          }
        } else if constexpr (unique) {
          const Value value = make(key);
          ASSERT_EQ(place(tree, tree.emplace(value).first),
                    place(model, model.emplace(value).first))
              << at;
        } else {
          const Value value = make(key);
          ASSERT_EQ(place(tree, tree.emplace(value)), place(model, model.emplace(value))) << at;
        }
      } else if (dice < 60 && size > 0) {
        tracked.erase(&*at_of(tree, index));
        held.drop(at_of(tree, index));
        ASSERT_EQ(place(tree, tree.erase(at_of(tree, index))),
                  place(model, model.erase(at_of(model, index))))
            << at << " erase at " << index;
      } else if (dice < 65) {
        untrack_key(key);
        held.drop_key(key, element_key);
        ASSERT_EQ(tree.erase(key), model.erase(key)) << at << " erase " << key;
      } else if (dice < 68 && size > 0) {
        const long last = index + static_cast<long>(rng() % std::min<long>(5, size - index + 1));
        for (auto it = at_of(tree, index); it != at_of(tree, last); ++it) {
          tracked.erase(&*it);
          held.drop(it);
        }
        ASSERT_EQ(place(tree, tree.erase(at_of(tree, index), at_of(tree, last))),
                  place(model, model.erase(at_of(model, index), at_of(model, last))))
            << at << " erase " << index << ".." << last;
      } else if (dice < 71 && size > 0) {
        // Out as a node handle and back, a map's key changed on the way.
        tracked.erase(&*at_of(tree, index));
        held.drop(at_of(tree, index));
        auto handle = tree.extract(at_of(tree, index));
        auto expected_handle = model.extract(at_of(model, index));
        if constexpr (is_map) {
          handle.key() = key;
          expected_handle.key() = key;
        }
        if constexpr (unique) {
          const auto result = tree.insert(std::move(handle));
          const auto expected = model.insert(std::move(expected_handle));
          ASSERT_EQ(result.inserted, expected.inserted) << at;
          ASSERT_EQ(place(tree, result.position), place(model, expected.position)) << at;
          ASSERT_EQ(result.node.empty(), expected.node.empty());
        } else {
          ASSERT_EQ(place(tree, tree.insert(std::move(handle))),
                    place(model, model.insert(std::move(expected_handle))))
              << at;
        }
      } else {
        ASSERT_EQ(place(tree, tree.find(key)), place(model, model.find(key))) << at << " " << key;
        ASSERT_EQ(tree.count(key), model.count(key)) << at;
        ASSERT_EQ(tree.contains(key), model.count(key) > 0) << at;
        ASSERT_EQ(place(tree, tree.lower_bound(key)), place(model, model.lower_bound(key))) << at;
        ASSERT_EQ(place(tree, tree.upper_bound(key)), place(model, model.upper_bound(key))) << at;
        const auto [first, last] = tree.equal_range(key);
        ASSERT_EQ(place(tree, first), place(model, model.equal_range(key).first)) << at;
        ASSERT_EQ(std::distance(first, last), static_cast<long>(model.count(key))) << at;
        ASSERT_EQ(place(tree, tree.find(key.c_str())), place(model, model.find(key))) << at;
      }
      ASSERT_EQ(tree.size(), model.size()) << at;
      ASSERT_EQ(held.mismatch(tree, model, step % 100 == 99), "") << at;
      held.take(tree, model, rng);
      if (step % 100 == 99) {
        ASSERT_TRUE(tree.check()) << at;
        ASSERT_TRUE(std::equal(tree.begin(), tree.end(), model.begin(), model.end())) << at;
        ASSERT_TRUE(std::equal(tree.rbegin(), tree.rend(), model.rbegin(), model.rend())) << at;
        for (const auto& entry : tracked) {
          const Value* address = entry.first;
          const Value& value = entry.second;
          const auto found = std::find_if(tree.begin(), tree.end(),
                                          [&](const Value& held) { return &held == address; });
          ASSERT_TRUE(found != tree.end()) << at << ": an element moved, " << key_of(value);
          ASSERT_EQ(key_of(*found), key_of(value)) << at;  // a map's value may be assigned
        }
        tracked.clear();
        for (int i = 0; i < 6 && !model.empty(); ++i) {
          const Value& held = *at_of(tree, static_cast<long>(rng() % model.size()));
          tracked.emplace(&held, held);
        }
        // The last element from end(), and the iterators held through a
        // swap and a move: they follow their elements into the other
        // container, and come back with them.
        if (!model.empty()) {
          ASSERT_TRUE(*std::prev(tree.end()) == *std::prev(model.end())) << at;
          ASSERT_TRUE(*tree.rbegin() == *model.rbegin()) << at;
        }
        {
          Avl other;
          other.swap(tree);
          ASSERT_EQ(held.mismatch(other, model, true), "") << at << " after swap";
          Avl moved(std::move(other));
          ASSERT_EQ(held.mismatch(moved, model, true), "") << at << " after a move";
          swap(tree, moved);
          ASSERT_TRUE(moved.empty() && moved.check() && tree.check()) << at;
        }
        // A copy is equal, sound, as tall, and its own; a merge moves what
        // may move and leaves the rest.
        Avl copy = tree;
        ASSERT_TRUE(copy == tree && copy.check() && copy.height() == tree.height()) << at;
        Std copy_model = model;
        Avl extra{make(random_key()), make(random_key()), make(random_key())};
        Std extra_model(extra.begin(), extra.end());
        HeldIterators<Avl, Std> into_extra;
        for (int i = 0; i < 3; ++i) {
          into_extra.take(extra, extra_model, rng);
        }
        copy.merge(extra);
        copy_model.merge(extra_model);
        // Whichever container an element is in now, its iterator follows it.
        for (const auto& pair : into_extra.held) {
          const auto& avl_at = pair.first;
          const auto& std_at = pair.second;
          ASSERT_TRUE(*avl_at == *std_at) << at << " after merge";
          const bool moved = std_at != extra_model.end() &&
                             std::any_of(copy_model.begin(), copy_model.end(),
                                         [&](const Value& v) { return &v == &*std_at; });
          ASSERT_EQ(place_of(moved ? copy : extra, avl_at),
                    place_of(moved ? copy_model : extra_model, std_at))
              << at << " after merge";
        }
        ASSERT_TRUE(std::equal(copy.begin(), copy.end(), copy_model.begin(), copy_model.end()));
        ASSERT_TRUE(std::equal(extra.begin(), extra.end(), extra_model.begin(), extra_model.end()));
        ASSERT_TRUE(copy.check() && extra.check()) << at;
        ASSERT_EQ(relations(copy, tree), relations(copy_model, model)) << at;
        if (!model.empty()) {
          // A proper prefix is less, and never equal.
          Avl prefix = tree;
          Std prefix_model = model;
          prefix.erase(std::prev(prefix.end()));
          prefix_model.erase(std::prev(prefix_model.end()));
          ASSERT_EQ(relations(prefix, tree), relations(prefix_model, model)) << at;
          ASSERT_EQ(relations(tree, prefix), relations(model, prefix_model)) << at;
          // Postfix steps give the place they left; --rend() is begin().
          auto it = tree.begin();
          ASSERT_TRUE(it++ == tree.begin() && it-- != tree.begin() && it == tree.begin()) << at;
          ASSERT_TRUE(&*std::prev(tree.rend()) == &*tree.begin()) << at;
          ASSERT_TRUE(tree.rbegin().base() == tree.end()) << at;
        }
        // The classic erase-while-iterating loop, erase(it++), on the copy.
        for (auto it = copy.begin(); it != copy.end();) {
          if (element_key(*it).size() % 2 == 1) {
            copy.erase(it++);
          } else {
            ++it;
          }
        }
        for (auto it = copy_model.begin(); it != copy_model.end();) {
          if (element_key(*it).size() % 2 == 1) {
            copy_model.erase(it++);
          } else {
            ++it;
          }
        }
        ASSERT_TRUE(std::equal(copy.begin(), copy.end(), copy_model.begin(), copy_model.end()));
        ASSERT_TRUE(copy.check()) << at;
      }
    }
  }
}

// ------------------------------------------------ what std code relies on --

// erase(key) with a key that lives in the container: every equal element
// goes, though the key is one of them.
TEST(ContainerEdgeTest, ErasingByAnElementsOwnKeyErasesEveryEqualOne) {
  const std::string shared(40, '#');
  avl::multiset<std::string> words;
  avl::multimap<std::string, int> pairs;
  for (int i = 0; i < 55; ++i) {
    const std::string word =
        i % 11 == 3 ? shared : std::string(40, static_cast<char>('a' + i % 23));
    words.insert(word);
    pairs.emplace(word, i);
  }
  ASSERT_EQ(words.count(shared), 5U);
  EXPECT_EQ(words.erase(*words.find(shared)), 5U);
  EXPECT_EQ(pairs.erase(pairs.find(shared)->first), 5U);
  EXPECT_EQ(words.count(shared) + pairs.count(shared), 0U);
  EXPECT_EQ(words.size() + pairs.size(), 100U);
  EXPECT_TRUE(words.check() && pairs.check());
}

// A transparent comparator may match a probe with several elements, even in
// a set: the counts and ranges are std's.
struct ByFirstLetter {
  using is_transparent = void;
  bool operator()(const std::string& a, const std::string& b) const { return a < b; }
  bool operator()(const std::string& a, char letter) const { return a[0] < letter; }
  bool operator()(char letter, const std::string& a) const { return letter < a[0]; }
};

TEST(ContainerEdgeTest, ProbesMatchingSeveralElementsFindThemAll) {
  const std::vector<std::string> fruit{"apple",     "banana", "cherry",   "coconut",
                                       "cranberry", "date",   "blueberry"};
  const avl::set<std::string, ByFirstLetter> set(fruit.begin(), fruit.end());
  const std::set<std::string, ByFirstLetter> model(fruit.begin(), fruit.end());
  const avl::map<std::string, int, ByFirstLetter> map{{"cherry", 1}, {"coconut", 2}, {"date", 3}};
  for (char letter : {'a', 'b', 'c', 'd', 'e', ' '}) {
    EXPECT_EQ(set.count(letter), model.count(letter)) << letter;
    EXPECT_EQ(set.contains(letter), model.count(letter) > 0) << letter;
    const auto [first, last] = set.equal_range(letter);
    const auto [expected_first, expected_last] = model.equal_range(letter);
    EXPECT_EQ(place_of(set, first), place_of(model, expected_first)) << letter;
    EXPECT_EQ(place_of(set, last), place_of(model, expected_last)) << letter;
    EXPECT_EQ(place_of(set, set.lower_bound(letter)), place_of(model, model.lower_bound(letter)));
  }
  EXPECT_EQ(map.count('c'), 2U);
  // An absent key of a set or map: both ends at its lower bound.
  const avl::map<int, char> ints{{10, 'a'}, {20, 'b'}, {30, 'c'}};
  EXPECT_EQ(ints.equal_range(15).first->first, 20);
  EXPECT_EQ(ints.equal_range(15).second->first, 20);
  EXPECT_EQ(ints.equal_range(35).first, ints.end());
}

TEST(ContainerEdgeTest, MergingAContainerIntoItselfChangesNothing) {
  avl::multiset<int> repeated{5, 1, 9, 1, 4, 7, 7, 3, 8, 2, 6, 0, 11, 10};
  const avl::multiset<int> before = repeated;
  repeated.merge(repeated);
  EXPECT_EQ(repeated, before);
  avl::set<int> unique{3, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11};
  unique.merge(unique);
  EXPECT_EQ(unique.size(), 11U);
  EXPECT_TRUE(repeated.check() && unique.check());
}

// check() holds a set to its strict order, and lets the comparator's
// exceptions out instead of ending the program.
struct Coarse {
  const int* divisor;
  bool operator()(int a, int b) const {
    if (*divisor == 0) {
      throw std::domain_error("no order today");
    }
    return a / *divisor < b / *divisor;
  }
};

TEST(ContainerEdgeTest, CheckKnowsASetsOrderAndLetsComparisonsThrow) {
  int divisor = 1;
  const avl::set<int, Coarse> set({1, 2, 3, 4, 5, 6}, Coarse{&divisor});
  const avl::multiset<int, Coarse> multiset({1, 2, 3, 4, 5, 6}, Coarse{&divisor});
  EXPECT_TRUE(set.check() && multiset.check());
  divisor = 100;  // every element now equals every other
  EXPECT_FALSE(set.check());
  EXPECT_TRUE(multiset.check());
  divisor = 0;
  EXPECT_THROW(static_cast<void>(set.check()), std::domain_error);
}

// What compiles against std's containers compiles here: deduction of the
// template arguments, containers of a type still being defined, and values
// whose unary & is not theirs to give.
struct Json {
  avl::map<std::string, Json> members;
  avl::multimap<int, std::pair<int, Json>> indexed;
  avl::set<int> keys;
};

struct NoAddress {
  int value;
  bool operator<(const NoAddress& other) const { return value < other.value; }
  void operator&() const = delete;
};

TEST(ContainerEdgeTest, CompilesWhatStdCodeCompiles) {
  avl::set deduced{3, 1, 2};
  static_assert(std::is_same_v<decltype(deduced), avl::set<int>>);
  const std::vector<double> values{2.5, 1.5};
  avl::multiset from_range(values.begin(), values.end(), std::greater<double>());
  static_assert(std::is_same_v<decltype(from_range), avl::multiset<double, std::greater<double>>>);
  avl::map pairs{std::pair{1, 'a'}, std::pair{2, 'b'}};
  static_assert(std::is_same_v<decltype(pairs), avl::map<int, char>>);
  avl::multimap copied(pairs.begin(), pairs.end());
  static_assert(std::is_same_v<decltype(copied), avl::multimap<int, char>>);
  avl::set with_allocator({4, 5}, std::allocator<int>());
  static_assert(std::is_same_v<decltype(with_allocator), avl::set<int>>);
  EXPECT_EQ(*deduced.begin() + *from_range.begin() + copied.size() + with_allocator.size(),
            1 + 2.5 + 2 + 2);

  Json document;
  document.members["name"].keys.insert(1);
  document.members["name"].members["first"].keys.insert(2);
  document.indexed.emplace(1, std::pair<int, Json>(1, Json{}));
  EXPECT_EQ(document.members.at("name").members.size(), 1U);

  avl::set<NoAddress> a{{2}, {1}};
  avl::set<NoAddress> b;
  b = a;
  EXPECT_EQ(b.begin()->value, 1);
}

// ------------------------------------------------- whole-set operations --
//
// split, join, union, intersection and difference of each container against
// std's algorithms on the sorted sequences, from sizes 0 and 1 to very
// unequal and equal ones, with the check after each. std::set_union and its
// kin compare by key, and keep the first range's element of equal keys.

template <class T>
class ContainerAlgebraTest : public ::testing::Test {};
TYPED_TEST_SUITE(ContainerAlgebraTest, ContainerTwins, TwinName);

TYPED_TEST(ContainerAlgebraTest, MatchesStdAlgorithms) {
  using Avl = typename TypeParam::avl_type;
  using Std = typename TypeParam::std_type;
  using Value = typename Std::value_type;
  using Sequence = std::vector<Value>;
  constexpr bool is_map = !std::is_same_v<typename Std::key_type, Value>;
  const auto by_key = [less = Std().key_comp()](const Value& a, const Value& b) {
    return less(key_of(a), key_of(b));
  };
  int next_value = 0;
  auto make = [&](const std::string& key) {
    if constexpr (is_map) {
      return Value{key, next_value++};
    } else {
      return key;
    }
  };
  const size_t kSizes[] = {0, 1, 2, 7, 40, 300};
  for (uint32_t seed : seeds(16)) {
    std::mt19937 rng(seed);
    const uint32_t keys = 5 + rng() % 400;
    auto filled = [&](size_t count) {
      Avl tree;
      for (size_t i = 0; i < count; ++i) {
        tree.insert(make("k" + std::to_string(rng() % keys)));
      }
      return tree;
    };
    for (int round = 0; round < 12; ++round) {
      const std::string at = "seed " + std::to_string(seed) + " round " + std::to_string(round);
      Avl a = filled(kSizes[rng() % 6]);
      Avl b = filled(kSizes[rng() % 6]);
      const Sequence sa(a.begin(), a.end());
      const Sequence sb(b.begin(), b.end());
      auto expect = [&](const Avl& tree, const Sequence& expected, const char* what) {
        ASSERT_TRUE(tree.check()) << at << " " << what;
        ASSERT_EQ(tree.size(), expected.size()) << at << " " << what;
        ASSERT_TRUE(std::equal(tree.begin(), tree.end(), expected.begin(), expected.end()))
            << at << " " << what;
      };
      Sequence expected;
      Avl result = a;
      switch (rng() % 4) {
        case 0: {
          std::set_union(sa.begin(), sa.end(), sb.begin(), sb.end(), std::back_inserter(expected),
                         by_key);
          if (rng() % 2 == 0) {
            result.union_with(std::move(b), avl::parallel);
            ASSERT_TRUE(b.empty() && b.check()) << at;
          } else {
            result.union_with(b);
            expect(b, sb, "union's other");
          }
          expect(result, expected, "union");
          expect(set_union(a, Avl(sb.begin(), sb.end())), expected, "set_union");
          break;
        }
        case 1:
          std::set_intersection(sa.begin(), sa.end(), sb.begin(), sb.end(),
                                std::back_inserter(expected), by_key);
          result.intersect_with(std::move(b));
          expect(result, expected, "intersection");
          expect(set_intersection(a, Avl(sb.begin(), sb.end()), avl::parallel), expected,
                 "set_intersection");
          break;
        case 2:
          std::set_difference(sa.begin(), sa.end(), sb.begin(), sb.end(),
                              std::back_inserter(expected), by_key);
          result.difference_with(std::move(b));
          expect(result, expected, "difference");
          expect(set_difference(a, Avl(sb.begin(), sb.end())), expected, "set_difference");
          break;
        default: {
          // Split at a key, then join back; a join out of order is refused.
          const std::string key = "k" + std::to_string(rng() % keys);
          Avl upper = result.split(key);
          const auto cut = std::partition_point(
              sa.begin(), sa.end(), [&](const Value& v) { return by_key(v, make(key)); });
          expect(result, Sequence(sa.begin(), cut), "split's lower part");
          expect(upper, Sequence(cut, sa.end()), "split's upper part");
          if (!result.empty() && !upper.empty()) {
            ASSERT_FALSE(upper.join(std::move(result))) << at;
            expect(result, Sequence(sa.begin(), cut), "a refused join");
          }
          ASSERT_TRUE(result.join(std::move(upper))) << at;
          ASSERT_TRUE(upper.empty()) << at;
          expect(result, sa, "joined");
        }
      }
    }
  }
}

// A comparator that throws at any point of a small case: both containers
// stay sound and every element is in one of them; an allocation that fails
// while the lvalue is copied changes nothing.
TEST(ContainerAlgebraTest, ThrowingComparisonsLoseNothing) {
  struct Touchy {
    const int* countdown;
    bool operator()(int a, int b) const {
      if (*countdown == 0) {
        throw std::runtime_error("countdown");
      }
      if (*countdown > 0) {
        --*const_cast<int*>(countdown);
      }
      return a < b;
    }
  };
  // Ops 5 to 7 ask for the fork, which takes the join-based recursion
  // whatever the sizes (on one thread without OpenMP); without it, sides
  // this close in size are walked in order. Op 8 is a union into a side
  // many times larger, which places each element by a descent.
  for (int op = 0; op < 9; ++op) {
    for (bool multi : {false, true}) {
      bool finished = false;
      for (int at = 0; !finished; ++at) {
        int countdown = -1;
        auto run = [&](auto a, auto b) {
          using Tree = decltype(a);
          const std::vector<int> before_a(a.begin(), a.end());
          const std::vector<int> before_b(b.begin(), b.end());
          countdown = at;
          try {
            switch (op) {
              case 0:
                a.union_with(std::move(b));
                break;
              case 1:
                a.intersect_with(std::move(b));
                break;
              case 2:
                a.difference_with(std::move(b));
                break;
              case 3: {
                Tree upper = a.split(12);
                countdown = -1;
                a.join(std::move(upper));
                break;
              }
              case 4:
                a.join(std::move(b));
                break;
              case 8:
                a.union_with(std::move(b));
                break;
              case 5:
                a.union_with(std::move(b), avl::parallel);
                break;
              case 6:
                a.intersect_with(std::move(b), avl::parallel);
                break;
              default:
                a.difference_with(std::move(b), avl::parallel);
            }
            finished = true;
          } catch (const std::runtime_error&) {
            countdown = -1;
            ASSERT_TRUE(a.check() && b.check()) << op << " " << at;
            std::vector<int> all(a.begin(), a.end());
            all.insert(all.end(), b.begin(), b.end());
            std::vector<int> expected = before_a;
            expected.insert(expected.end(), before_b.begin(), before_b.end());
            std::sort(all.begin(), all.end());
            std::sort(expected.begin(), expected.end());
            ASSERT_EQ(all, expected) << "op " << op << " throwing at comparison " << at;
          }
          countdown = -1;
          ASSERT_TRUE(a.check()) << op << " " << at;
        };
        std::vector<int> a_keys{5, 9, 12, 12, 20, 31, 40, 3, 17};
        for (int key = 60; op == 8 && key < 200; key += 2) {
          a_keys.push_back(key);
        }
        const std::vector<int> b_keys{41, 9, 13, 12, 2, 20, 50, 12};
        if (multi) {
          avl::multiset<int, Touchy> a(a_keys.begin(), a_keys.end(), Touchy{&countdown});
          avl::multiset<int, Touchy> b(b_keys.begin(), b_keys.end(), Touchy{&countdown});
          run(std::move(a), std::move(b));
        } else {
          avl::set<int, Touchy> a(a_keys.begin(), a_keys.end(), Touchy{&countdown});
          avl::set<int, Touchy> b(b_keys.begin(), b_keys.end(), Touchy{&countdown});
          run(std::move(a), std::move(b));
        }
        ASSERT_LT(at, 200);
      }
    }
  }
}
