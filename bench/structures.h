// The structures and key sequences shared by avl_bench and the ops_*
// profiling programs, so that both measure exactly the same work.
//
// Structures (each holds 32-bit keys, repeats allowed):
//   Avl          this module: one heap node per key
//   StdMultiset  std::multiset<int32_t>: one heap node per key
//   BoostAvl     boost::intrusive::avl_multiset: one heap item per key,
//                allocated here, with the links in the item
//   AbslBtree    absl::btree_multiset<int32_t>: many keys per node
//   AvlTree      this module through avl::tree (avl/avl.hpp); walked with its
//                iterators, where Avl is walked with AVL_walk and a C cursor
// Boost and Abseil take part when AVL_BENCH_HAVE_BOOST / AVL_BENCH_HAVE_ABSL
// are defined.
//
// For the in-order workloads each adapter also sums its keys in order:
// sum_all() over every key, sum_from(key, count) over the first `count` keys
// from the lower bound of `key`.
//
// Present keys are the even numbers 0, 2, .., 2N-2; absent keys are odd.
#ifndef AVL_BENCH_STRUCTURES_H
#define AVL_BENCH_STRUCTURES_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "avl/ADT_avl_tree.h"
#include "avl/avl.hpp"

#if defined(AVL_BENCH_HAVE_BOOST)
#include <boost/intrusive/avl_set.hpp>
#endif
#if defined(AVL_BENCH_HAVE_ABSL)
#include "absl/container/btree_set.h"
#endif

namespace avl_bench {

// ------------------------------------------------------------ structures --
//
// One small adapter per structure: insert, erase one (false when absent) and
// contains. Construction and destruction hold the whole structure.

class Avl {
 public:
  Avl() : tree_(create_avl_tree()) {}
  ~Avl() { AVL_destroy(tree_); }
  Avl(const Avl&) = delete;
  Avl& operator=(const Avl&) = delete;

  void insert(int32_t key) { AVL_insert(tree_, key); }
  bool erase(int32_t key) { return AVL_delete(tree_, key) == 1; }
  bool contains(int32_t key) const { return search_avl(tree_->root, key) != nullptr; }

  // The recursive walk, for reference.
  int64_t sum_all() const {
    int64_t sum = 0;
    AVL_walk(
        tree_, 1,
        [](const nod* node, void* context) {
          *static_cast<int64_t*>(context) += node->data;
          return 1;
        },
        &sum);
    return sum;
  }
  int64_t sum_from(int32_t key, int count) const {
    int64_t sum = 0;
    AVL_CURSOR cursor;
    for (const nod* node = AVL_cursor_lower_bound(&cursor, tree_, key);
         node != nullptr && count > 0; node = AVL_cursor_next(&cursor), --count) {
      sum += node->data;
    }
    return sum;
  }

 private:
  AVL_TREE* tree_;
};

// A container with the standard multiset interface, walked with its
// iterators: avl::tree, std::multiset and absl::btree_multiset.
template <class Set>
int64_t sum_all_of(const Set& set) {
  int64_t sum = 0;
  for (int32_t key : set) {
    sum += key;
  }
  return sum;
}

template <class Set>
int64_t sum_from_of(const Set& set, int32_t key, int count) {
  int64_t sum = 0;
  for (auto it = set.lower_bound(key); it != set.end() && count > 0; ++it, --count) {
    sum += *it;
  }
  return sum;
}

class AvlTree {
 public:
  void insert(int32_t key) { tree_.insert(key); }
  bool erase(int32_t key) {
    auto it = tree_.find(key);
    if (it == tree_.end()) {
      return false;
    }
    tree_.erase(it);
    return true;
  }
  bool contains(int32_t key) const { return tree_.contains(key); }
  int64_t sum_all() const { return sum_all_of(tree_); }
  int64_t sum_from(int32_t key, int count) const { return sum_from_of(tree_, key, count); }

 private:
  avl::tree tree_;
};

// A container with the standard multiset interface, used as it is:
// std::multiset here, absl::btree_multiset below.
template <class Set>
class StandardMultiset {
 public:
  void insert(int32_t key) { set_.insert(key); }
  bool erase(int32_t key) {
    auto it = set_.find(key);
    if (it == set_.end()) {
      return false;
    }
    set_.erase(it);
    return true;
  }
  bool contains(int32_t key) const { return set_.find(key) != set_.end(); }
  int64_t sum_all() const { return sum_all_of(set_); }
  int64_t sum_from(int32_t key, int count) const { return sum_from_of(set_, key, count); }

 private:
  Set set_;
};

using StdMultiset = StandardMultiset<std::multiset<int32_t>>;

#if defined(AVL_BENCH_HAVE_BOOST)
namespace bi = boost::intrusive;

// The item carries its own links; normal_link skips the safe-mode clearing of
// unlinked hooks, which this harness never relies on.
struct BoostItem : bi::avl_set_base_hook<bi::link_mode<bi::normal_link>> {
  explicit BoostItem(int32_t k) : key(k) {}
  int32_t key;
};
struct BoostItemKey {
  using type = int32_t;
  const type& operator()(const BoostItem& item) const { return item.key; }
};
struct BoostItemDelete {
  void operator()(BoostItem* item) const { delete item; }
};

class BoostAvl {
 public:
  BoostAvl() = default;
  ~BoostAvl() { set_.clear_and_dispose(BoostItemDelete()); }
  BoostAvl(const BoostAvl&) = delete;
  BoostAvl& operator=(const BoostAvl&) = delete;

  void insert(int32_t key) { set_.insert(*new BoostItem(key)); }
  bool erase(int32_t key) {
    auto it = set_.find(key);
    if (it == set_.end()) {
      return false;
    }
    set_.erase_and_dispose(it, BoostItemDelete());
    return true;
  }
  bool contains(int32_t key) const { return set_.find(key) != set_.end(); }
  int64_t sum_all() const {
    int64_t sum = 0;
    for (const BoostItem& item : set_) {
      sum += item.key;
    }
    return sum;
  }
  int64_t sum_from(int32_t key, int count) const {
    int64_t sum = 0;
    for (auto it = set_.lower_bound(key); it != set_.end() && count > 0; ++it, --count) {
      sum += it->key;
    }
    return sum;
  }

 private:
  bi::avl_multiset<BoostItem, bi::key_of_value<BoostItemKey>> set_;
};
#endif

#if defined(AVL_BENCH_HAVE_ABSL)
using AbslBtree = StandardMultiset<absl::btree_multiset<int32_t>>;
#endif

// ------------------------------------------------------------------ keys --

// Fixed seeds: every structure sees the same sequences.
inline std::vector<int32_t> shuffled(std::vector<int32_t> keys, uint32_t seed) {
  std::mt19937 rng(seed);
  std::shuffle(keys.begin(), keys.end(), rng);
  return keys;
}

// The present keys 0, 2, .., 2N-2 in random order.
inline std::vector<int32_t> random_present_keys(int64_t n) {
  std::vector<int32_t> keys(static_cast<size_t>(n));
  for (size_t i = 0; i < keys.size(); ++i) {
    keys[i] = static_cast<int32_t>(2 * i);
  }
  return shuffled(std::move(keys), 1);
}

// N deletions: half of them present keys (each at most once), half absent.
inline std::vector<int32_t> delete_probes(int64_t n) {
  std::vector<int32_t> present = random_present_keys(n);
  std::vector<int32_t> probes(static_cast<size_t>(n));
  const size_t half = probes.size() / 2;
  for (size_t i = 0; i < probes.size(); ++i) {
    probes[i] = i < half ? present[i] : static_cast<int32_t>(2 * i + 1);
  }
  return shuffled(std::move(probes), 2);
}

}  // namespace avl_bench

#endif  // AVL_BENCH_STRUCTURES_H
