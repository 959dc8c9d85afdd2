// The demonstration's workload for one structure, as a whole process: obtain
// a buffer of N 32-bit keys, write the keys 1..N into it in ascending order
// and insert each one from its slot, then report the largest key. With N left
// at its default of 10,000,000 the AVL build does exactly what avl_demo does,
// so the two can be timed side by side; the other builds do the same work
// with a peer structure, or (the floor) only obtain and fill one node-sized
// block per key, which is the part of the work no node-per-key tree avoids.
//
//   asc_<structure> [N]
//
// Exactly one BENCH_* macro selects the structure at compile time, so each
// program carries only the code it measures.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#if defined(BENCH_AVL)
#include "avl/ADT_avl_tree.h"
#elif defined(BENCH_STD_MULTISET)
#include <set>
#elif defined(BENCH_BOOST_AVL)
#include <boost/intrusive/avl_set.hpp>
#elif defined(BENCH_ABSL_BTREE)
#include "absl/container/btree_set.h"
#elif defined(BENCH_FLOOR)
#else
#error "define one of BENCH_AVL, BENCH_STD_MULTISET, BENCH_BOOST_AVL, BENCH_ABSL_BTREE, BENCH_FLOOR"
#endif

namespace {

#if defined(BENCH_AVL)
struct Structure {
  AVL_TREE* tree = create_avl_tree();
  bool ok() const { return tree != nullptr; }
  bool insert(int32_t key) { return AVL_insert(tree, key) == 1; }
  int32_t largest() const { return find_largest_node(tree->root)->data; }
};
#elif defined(BENCH_STD_MULTISET)
struct Structure {
  std::multiset<int32_t> set;
  bool ok() const { return true; }
  bool insert(int32_t key) {
    set.insert(key);
    return true;
  }
  int32_t largest() const { return *set.rbegin(); }
};
#elif defined(BENCH_BOOST_AVL)
// One heap block per key, like the module's nodes; the hook holds the links.
// normal_link skips the safe-mode clearing of unlinked hooks (as in avl_bench).
struct Item : boost::intrusive::avl_set_base_hook<
                  boost::intrusive::link_mode<boost::intrusive::normal_link> > {
  explicit Item(int32_t k) : key(k) {}
  int32_t key;
  friend bool operator<(const Item& a, const Item& b) { return a.key < b.key; }
};
struct Structure {
  boost::intrusive::avl_multiset<Item> set;
  bool ok() const { return true; }
  bool insert(int32_t key) {
    set.insert(*new Item(key));
    return true;
  }
  int32_t largest() const { return set.rbegin()->key; }
};
#elif defined(BENCH_ABSL_BTREE)
struct Structure {
  absl::btree_multiset<int32_t> set;
  bool ok() const { return true; }
  bool insert(int32_t key) {
    set.insert(key);
    return true;
  }
  int32_t largest() const { return *set.rbegin(); }
};
#elif defined(BENCH_FLOOR)
// The same fields in the same order as the module's node, so the same block
// size; each block is written in full and chained to the previous one, which
// keeps every block reachable and the allocations observable.
struct Block {
  int32_t data;
  Block* left;
  Block* right;
  int32_t balance;
};
struct Structure {
  Block* last = nullptr;
  bool ok() const { return true; }
  bool insert(int32_t key) {
    Block* block = new Block;
    block->data = key;
    block->left = nullptr;
    block->right = last;
    block->balance = 0;
    last = block;
    return true;
  }
  int32_t largest() const { return last->data; }
};
#endif

}  // namespace

int main(int argc, char** argv) {
  long count = 10000000;
  if (argc > 1) {
    char* end = nullptr;
    count = std::strtol(argv[1], &end, 10);
    if (*end != '\0' || count < 1 || count > INT32_MAX) {
      std::fprintf(stderr, "usage: %s [N], 1 <= N <= %d\n", argv[0], INT32_MAX);
      return 2;
    }
  }
  const auto key_count = static_cast<int32_t>(count);
  auto* keys = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * static_cast<size_t>(count)));
  if (keys == nullptr) {
    std::fprintf(stderr, "out of memory\n");
    return 1;
  }
  // Left allocated to the end of the process, like the demo's tree.
  auto* structure = new Structure;
  if (!structure->ok()) {
    std::fprintf(stderr, "out of memory\n");
    return 1;
  }
  int32_t* slot = keys;
  for (int32_t i = key_count - 1; i >= 0; --i) {
    *slot = key_count - i;
    if (!structure->insert(*slot)) {
      std::fprintf(stderr, "out of memory\n");
      return 1;
    }
    ++slot;
  }
  std::printf("largest data: %d\n", structure->largest());
  return 0;
}
