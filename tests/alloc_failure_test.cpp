// Allocation failure, for real: this binary replaces the global nothrow
// operator new (which the module uses for its nodes and handles) with one that
// can be told to fail after k more allocations. It replaces operator delete
// too, so that a test can watch every block the module takes come back once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <new>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "avl/avl.hpp"
#include "avl_check.h"

namespace {

// -1: never fail. k >= 0: the next k nothrow allocations succeed, then fail.
long allocations_left = -1;
long nothrow_calls = 0;

// While `tracking` is on, only module calls run: every block the nothrow new
// hands out is recorded in `live`, and every release must hit a recorded one.
constexpr size_t kMaxTracked = 4096;
bool tracking = false;
const void* live[kMaxTracked];
size_t live_count = 0;
long taken = 0;
long stray_releases = 0;  // released twice, or never handed out

void track_release(void* block) {
  if (!tracking || block == nullptr) {
    return;
  }
  for (size_t i = 0; i < live_count; ++i) {
    if (live[i] == block) {
      live[i] = live[--live_count];
      return;
    }
  }
  ++stray_releases;
}
}  // namespace

__attribute__((noinline)) void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++nothrow_calls;
  if (allocations_left == 0) {
    return nullptr;
  }
  if (allocations_left > 0) {
    --allocations_left;
  }
  void* block = std::malloc(size);
  if (block != nullptr && tracking && live_count < kMaxTracked) {
    live[live_count++] = block;
    ++taken;
  }
  return block;
}

// Every operator new of this binary takes its blocks from malloc, so every
// operator delete gives them back with free. Kept out of line: inlined into
// the callers, their free() would look mismatched to the compiler.
__attribute__((noinline)) void* operator new(std::size_t size) {
  if (void* block = std::malloc(size == 0 ? 1 : size)) {
    return block;
  }
  throw std::bad_alloc();
}

__attribute__((noinline)) void operator delete(void* block) noexcept {
  track_release(block);
  std::free(block);
}

__attribute__((noinline)) void operator delete(void* block, std::size_t) noexcept {
  track_release(block);
  std::free(block);
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

// Built, shrunk (absent keys and repeats included) and destroyed: every block
// taken comes back exactly once, and nothing else is released.
TEST(AllocationBalanceTest, TreeGivesBackExactlyWhatItTook) {
  std::mt19937 rng(11);
  std::vector<int32_t> keys(1500);
  for (int32_t& key : keys) {
    key = static_cast<int32_t>(rng() % 400);
  }
  taken = 0;
  stray_releases = 0;
  tracking = true;  // from here to the end of tracking, module calls only
  AVL_TREE* tree = create_avl_tree();
  for (size_t i = 0; i < 1000; ++i) {
    AVL_insert(tree, keys[i]);
  }
  for (size_t i = 1000; i < keys.size(); ++i) {
    AVL_delete(tree, keys[i]);
  }
  const int32_t size = tree->size;
  AVL_destroy(tree);
  tracking = false;
  EXPECT_EQ(taken, 1001);  // the handle and one node per insert
  EXPECT_LT(size, 1000);   // the deletions did remove nodes
  EXPECT_EQ(live_count, 0U) << "blocks never released";
  EXPECT_EQ(stray_releases, 0);
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

// Through avl::tree, a refused allocation is std::bad_alloc: an insertion
// that throws leaves every node as it was, a copy that throws part-way
// releases what it built and leaves the source alone, and the first insertion
// into a tree without a handle yet throws and leaves it empty.
TEST(AllocationFailureTest, TreeClassThrowsAndChangesNothing) {
  avl::tree tree;
  allocations_left = 0;
  EXPECT_THROW(tree.insert(1), std::bad_alloc);  // the handle itself is refused
  allocations_left = -1;
  EXPECT_TRUE(tree.empty());
  EXPECT_EQ(tree.begin(), tree.end());

  for (int32_t key = 0; key < 200; ++key) {
    tree.insert(key % 50);
  }
  for (long k : {0L, 1L, 100L}) {
    const std::vector<NodeImage> before = snapshot(tree.native()->root);
    allocations_left = 0;
    EXPECT_THROW(tree.insert(7), std::bad_alloc);
    allocations_left = -1;
    EXPECT_EQ(snapshot(tree.native()->root), before);
    EXPECT_EQ(tree.size(), 200U);

    taken = 0;
    stray_releases = 0;
    tracking = true;
    allocations_left = k;  // the copy's handle and k - 1 of its nodes, then no more
    EXPECT_THROW(avl::tree copy(tree), std::bad_alloc);
    allocations_left = -1;
    tracking = false;
    EXPECT_EQ(taken, k);
    EXPECT_EQ(live_count, 0U) << "the partial copy kept blocks";
    EXPECT_EQ(stray_releases, 0);
    EXPECT_EQ(snapshot(tree.native()->root), before);
  }
  EXPECT_TRUE(tree.check());
  EXPECT_EQ(tree.count(7), 4U);
}

// ------------------------------------------------ the generic containers --
//
// Through an allocator that refuses its k-th allocation and counts the
// blocks it holds: each refused insertion leaves the container exactly as it
// was (the same elements at the same addresses), a refused copy leaves the
// source alone, and every block comes back. Then a comparison and a copy of
// the element that throw, which must leave the container valid and leak-free,
// and unchanged for a single insertion.

struct Budget {
  long left = -1;  // allocations still allowed; -1: any number
  long live = 0;   // blocks handed out and not yet returned
};

template <class T>
struct Refusing {
  using value_type = T;
  Budget* budget;
  explicit Refusing(Budget* b) : budget(b) {}
  template <class U>
  Refusing(const Refusing<U>& other) : budget(other.budget) {}
  T* allocate(std::size_t n) {
    if (budget->left == 0) {
      throw std::bad_alloc();
    }
    if (budget->left > 0) {
      --budget->left;
    }
    ++budget->live;
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* block, std::size_t n) {
    --budget->live;
    std::allocator<T>().deallocate(block, n);
  }
  friend bool operator==(const Refusing& a, const Refusing& b) { return a.budget == b.budget; }
  friend bool operator!=(const Refusing& a, const Refusing& b) { return a.budget != b.budget; }
};

template <class Container>
std::vector<std::pair<const void*, typename Container::value_type>> image(const Container& c) {
  std::vector<std::pair<const void*, typename Container::value_type>> out;
  for (const auto& value : c) {
    out.emplace_back(&value, value);
  }
  return out;
}

TEST(ContainerFailureTest, RefusedAllocationsChangeNothingAndLeakNothing) {
  using Map =
      avl::multimap<std::string, int, std::less<>, Refusing<std::pair<const std::string, int>>>;
  for (long refuse_at = 0; refuse_at < 40; ++refuse_at) {
    Budget budget;
    long refusals = 0;
    {
      Map map{Refusing<std::pair<const std::string, int>>(&budget)};
      std::multimap<std::string, int> model;
      budget.left = refuse_at;
      for (int i = 0; i < 30; ++i) {
        const std::string key = "k" + std::to_string(i % 7);
        const auto before = image(map);
        try {
          switch (i % 3) {
            case 0:
              map.emplace(key, i);
              model.emplace(key, i);
              break;
            case 1:
              map.insert(map.end(), {key, i});
              model.insert(model.end(), {key, i});
              break;
            default:
              map.insert(map.lower_bound(key), {key, i});
              model.insert(model.lower_bound(key), {key, i});
          }
        } catch (const std::bad_alloc&) {
          ++refusals;
          EXPECT_EQ(image(map), before) << "refused at " << refuse_at << ", step " << i;
          budget.left = refuse_at % 5;  // refuse again a little later
        }
        ASSERT_TRUE(map.check());
      }
      EXPECT_EQ(map.size(), model.size());
      EXPECT_TRUE(std::equal(map.begin(), map.end(), model.begin(), model.end()));
      const auto before = image(map);
      budget.left = refuse_at % 12;
      try {
        Map copy(map);
        EXPECT_TRUE(copy == map);
      } catch (const std::bad_alloc&) {
        ++refusals;
      }
      EXPECT_EQ(image(map), before);
    }
    EXPECT_GT(refusals, 0) << refuse_at;
    EXPECT_EQ(budget.live, 0) << "blocks kept after a refusal at " << refuse_at;
  }
}

// An element whose copy, and a comparator whose call, throws when a shared
// countdown reaches zero.
int throw_countdown = -1;

void maybe_throw() {
  if (throw_countdown == 0) {
    throw std::runtime_error("countdown");
  }
  if (throw_countdown > 0) {
    --throw_countdown;
  }
}

struct Touchy {
  int value;
  explicit Touchy(int v) : value(v) {}
  Touchy(const Touchy& other) : value(other.value) { maybe_throw(); }
  Touchy& operator=(const Touchy&) = default;
  friend bool operator==(const Touchy& a, const Touchy& b) { return a.value == b.value; }
};

struct TouchyLess {
  bool operator()(const Touchy& a, const Touchy& b) const {
    maybe_throw();
    return a.value < b.value;
  }
};

TEST(ContainerFailureTest, ThrowingComparisonOrCopyLeavesItValid) {
  for (int countdown = 0; countdown < 80; ++countdown) {
    Budget budget;
    {
      avl::multiset<Touchy, TouchyLess, Refusing<Touchy>> set{Refusing<Touchy>(&budget)};
      for (int i = 0; i < 40; ++i) {
        set.emplace(i % 13);
      }
      const auto before = image(set);
      throw_countdown = countdown;
      try {
        set.insert(Touchy(6));  // the copy or a comparison may throw
        throw_countdown = -1;
        EXPECT_EQ(set.size(), 41U);
      } catch (const std::runtime_error&) {
        throw_countdown = -1;
        EXPECT_EQ(image(set), before) << countdown;
      }
      throw_countdown = countdown;
      try {
        set.erase(Touchy(3));
      } catch (const std::runtime_error&) {
      }
      throw_countdown = countdown;
      try {
        auto copy = set;
        throw_countdown = -1;
        EXPECT_TRUE(copy.check());
      } catch (const std::runtime_error&) {
      }
      throw_countdown = -1;
      EXPECT_TRUE(set.check()) << countdown;
    }
    EXPECT_EQ(budget.live, 0) << countdown;
  }
}

// Moving elements between containers and node handles loses nothing: a
// comparator that throws at any point of a merge leaves every element in one
// of the two containers, and a node handle that cannot be inserted (its key
// is there, or the comparator throws) keeps its element.
TEST(ContainerFailureTest, MergeAndNodeHandlesLoseNothing) {
  using Set = avl::set<Touchy, TouchyLess, Refusing<Touchy>>;
  auto values = [](const Set& set) {
    std::vector<int> out;
    for (const Touchy& t : set) {
      out.push_back(t.value);
    }
    return out;
  };
  bool finished = false;
  for (int countdown = 0; !finished; ++countdown) {
    Budget budget;
    {
      Set a{Refusing<Touchy>(&budget)};
      Set b{Refusing<Touchy>(&budget)};
      for (int v : {10, 20, 30}) {
        a.emplace(v);
      }
      for (int v : {15, 25, 30}) {
        b.emplace(v);
      }
      throw_countdown = countdown;
      try {
        a.merge(b);
        finished = true;
      } catch (const std::runtime_error&) {
      }
      throw_countdown = -1;
      ASSERT_TRUE(a.check() && b.check()) << countdown;
      std::vector<int> all = values(a);
      const std::vector<int> rest = values(b);
      all.insert(all.end(), rest.begin(), rest.end());
      std::sort(all.begin(), all.end());
      EXPECT_EQ(all, (std::vector<int>{10, 15, 20, 25, 30, 30})) << countdown;
      if (!finished) {
        continue;
      }
      EXPECT_EQ(rest, std::vector<int>{30});  // its key was there already
      // A node handle whose key is there, then one whose comparisons throw.
      auto handle = b.extract(b.begin());
      const auto there = a.insert(a.begin(), std::move(handle));
      EXPECT_EQ(there->value, 30);
      ASSERT_FALSE(handle.empty()) << "the element of a refused node handle went";
      EXPECT_EQ(handle.value().value, 30);
      handle.value().value = 5;
      for (int at = 0; at < 3; ++at) {
        throw_countdown = at;
        EXPECT_THROW(a.insert(a.end(), std::move(handle)), std::runtime_error);
        ASSERT_FALSE(handle.empty()) << "a throwing comparison took the node handle's element";
        EXPECT_EQ(handle.value().value, 5);
      }
      throw_countdown = -1;
      ASSERT_TRUE(a.check());
    }
    EXPECT_EQ(budget.live, 0) << countdown;
    ASSERT_LT(countdown, 100);
  }
}

// An allocator that says how many elements a container may hold.
template <class T>
struct Small : Refusing<T> {
  using Refusing<T>::Refusing;
  template <class U>
  Small(const Small<U>& other) : Refusing<T>(other) {}
  template <class U>
  struct rebind {
    using other = Small<U>;
  };
  std::size_t max_size() const { return 4; }
};

// At max_size() nothing more comes in, whatever the road, and an element
// that is there already is found without allocating.
TEST(ContainerFailureTest, FullContainersGrowNoFurther) {
  Budget budget;
  {
    using Set = avl::set<int, std::less<int>, Small<int>>;
    Set full({1, 2, 3, 4}, std::less<int>(), Small<int>(&budget));
    EXPECT_EQ(full.max_size(), 4U);
    budget.left = 0;  // any allocation now throws bad_alloc
    const auto [at, inserted] = full.insert(2);
    EXPECT_FALSE(inserted);
    EXPECT_EQ(*at, 2);
    EXPECT_EQ(full.insert(full.end(), 4), std::prev(full.end()));
    budget.left = -1;
    EXPECT_THROW(full.insert(5), std::length_error);
    EXPECT_THROW(full.emplace(6), std::length_error);
    EXPECT_THROW(full.insert({7, 8}), std::length_error);

    Set more({9, 10}, std::less<int>(), Small<int>(&budget));
    EXPECT_THROW(full.merge(more), std::length_error);
    EXPECT_EQ(more.size(), 2U);  // nothing left the other container
    auto handle = more.extract(more.begin());
    EXPECT_THROW(full.insert(std::move(handle)), std::length_error);
    EXPECT_FALSE(handle.empty());
    EXPECT_THROW(full.insert(full.begin(), std::move(handle)), std::length_error);
    EXPECT_FALSE(handle.empty());
    EXPECT_EQ(full.size(), 4U);
    EXPECT_TRUE(full.check() && more.check());
    EXPECT_THROW((Set{{1, 2, 3, 4, 5}, std::less<int>(), Small<int>(&budget)}), std::length_error);
  }
  EXPECT_EQ(budget.live, 0);
}

// An allocator that tells copies apart, and whose propagation on copy,
// move and swap the test chooses.
template <class T, bool OnCopy, bool OnMove, bool OnSwap>
struct Tagged {
  using value_type = T;
  using propagate_on_container_copy_assignment = std::bool_constant<OnCopy>;
  using propagate_on_container_move_assignment = std::bool_constant<OnMove>;
  using propagate_on_container_swap = std::bool_constant<OnSwap>;
  int tag;
  Budget* budget;
  Tagged(int t, Budget* b) : tag(t), budget(b) {}
  template <class U>
  Tagged(const Tagged<U, OnCopy, OnMove, OnSwap>& other) : tag(other.tag), budget(other.budget) {}
  template <class U>
  struct rebind {
    using other = Tagged<U, OnCopy, OnMove, OnSwap>;
  };
  T* allocate(std::size_t n) {
    ++budget->live;
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* block, std::size_t n) {
    --budget->live;
    std::allocator<T>().deallocate(block, n);
  }
  // A copy made for a copied container says so.
  Tagged select_on_container_copy_construction() const { return Tagged(tag + 100, budget); }
  friend bool operator==(const Tagged& a, const Tagged& b) { return a.tag == b.tag; }
  friend bool operator!=(const Tagged& a, const Tagged& b) { return a.tag != b.tag; }
};

template <bool OnCopy, bool OnMove, bool OnSwap>
void expect_allocators_follow_the_traits() {
  using Alloc = Tagged<int, OnCopy, OnMove, OnSwap>;
  using Set = avl::multiset<int, std::less<int>, Alloc>;
  Budget budget;
  {
    Set one({1, 2, 3}, std::less<int>(), Alloc(1, &budget));
    Set two({4, 5}, std::less<int>(), Alloc(2, &budget));
    EXPECT_EQ(Set(one).get_allocator().tag, 101);
    Set copy(Alloc(7, &budget));
    copy = one;
    EXPECT_EQ(copy.get_allocator().tag, OnCopy ? 1 : 7);
    EXPECT_EQ(copy, one);
    copy = {8, 9};
    EXPECT_EQ(copy.get_allocator().tag, OnCopy ? 1 : 7);
    EXPECT_EQ(copy, (Set{{8, 9}, std::less<int>(), Alloc(0, &budget)}));
    // Moved into a container whose allocator is not equal: the elements
    // come along either way, and the allocator only when it propagates.
    Set target(Alloc(3, &budget));
    target = std::move(copy);
    EXPECT_EQ(target.get_allocator().tag, OnMove ? (OnCopy ? 1 : 7) : 3);
    EXPECT_EQ(target.size(), 2U);
    EXPECT_TRUE(copy.empty());
    Set moved_with(std::move(target), Alloc(4, &budget));
    EXPECT_EQ(moved_with.get_allocator().tag, 4);
    EXPECT_EQ(moved_with.size(), 2U);
    EXPECT_TRUE(target.empty());
    if (OnSwap) {
      one.swap(two);
      EXPECT_EQ(one.get_allocator().tag, 2);
      EXPECT_EQ(two.get_allocator().tag, 1);
      EXPECT_EQ(one.size(), 2U);
      EXPECT_EQ(two.size(), 3U);
    }
    // A node handle's allocator goes with its element.
    auto a = one.extract(one.begin());
    auto b = two.extract(two.begin());
    const int tag_a = a.get_allocator().tag;
    const int tag_b = b.get_allocator().tag;
    decltype(a) empty;
    empty.swap(a);
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(empty.get_allocator().tag, tag_a);
    empty.swap(a);
    if (OnSwap) {
      a.swap(b);
      EXPECT_EQ(a.get_allocator().tag, tag_b);
      a.swap(b);
    }
    const long live = budget.live;
    b = std::move(a);  // b's element goes back to its allocator
    EXPECT_EQ(budget.live, live - 1);
    EXPECT_TRUE(a.empty());
    EXPECT_FALSE(b.empty());
  }
  EXPECT_EQ(budget.live, 0);
}

TEST(ContainerFailureTest, AllocatorsFollowTheirPropagationTraits) {
  expect_allocators_follow_the_traits<false, false, false>();
  expect_allocators_follow_the_traits<true, true, true>();
  expect_allocators_follow_the_traits<true, false, true>();
  expect_allocators_follow_the_traits<false, true, false>();
}

// A unique key that is there already costs no element: emplace makes one
// and gives it back, insert makes none.
TEST(ContainerFailureTest, RefusedUniqueInsertionsKeepNoBlock) {
  Budget budget;
  {
    avl::map<std::string, int, std::less<>, Refusing<std::pair<const std::string, int>>> map{
        Refusing<std::pair<const std::string, int>>(&budget)};
    map.emplace("a", 1);
    const long live = budget.live;
    EXPECT_FALSE(map.emplace("a", 2).second);
    EXPECT_FALSE(map.insert({"a", 3}).second);
    EXPECT_FALSE(map.try_emplace("a", 4).second);
    EXPECT_EQ(map.emplace_hint(map.end(), "a", 5)->second, 1);
    EXPECT_EQ(budget.live, live);
  }
  EXPECT_EQ(budget.live, 0);
}

// The set operations from an lvalue copy it first: a refusal at any point of
// the copy leaves both containers as they were, and nothing is kept.
TEST(ContainerFailureTest, RefusedCopiesLeaveTheSetOperationsUndone) {
  using Map =
      avl::map<int, std::string, std::less<int>, Refusing<std::pair<const int, std::string>>>;
  for (int op = 0; op < 4; ++op) {
    bool finished = false;
    for (long refuse_at = 0; !finished; ++refuse_at) {
      Budget budget;
      {
        Map a({{1, "a"}, {3, "c"}, {5, "e"}, {7, "g"}}, std::less<int>(),
              Refusing<std::pair<const int, std::string>>(&budget));
        const Map b({{2, "b"}, {3, "x"}, {7, "y"}, {9, "i"}}, std::less<int>(),
                    Refusing<std::pair<const int, std::string>>(&budget));
        const auto before_a = image(a);
        const auto before_b = image(b);
        budget.left = refuse_at;
        try {
          switch (op) {
            case 0:
              a.union_with(b);
              break;
            case 1:
              a.intersect_with(b);
              break;
            case 2:
              a.difference_with(b);
              break;
            default:
              a = set_union(a, b);
          }
          finished = true;
        } catch (const std::bad_alloc&) {
          EXPECT_EQ(image(a), before_a) << op << " " << refuse_at;
        }
        budget.left = -1;
        EXPECT_EQ(image(b), before_b) << op << " " << refuse_at;
        EXPECT_TRUE(a.check() && b.check());
      }
      EXPECT_EQ(budget.live, 0) << op << " " << refuse_at;
      ASSERT_LT(refuse_at, 50);
    }
  }
}

}  // namespace
