// How long one walk down the right spine of the demo's tree takes when each
// walk must wait for the one before, as each insertion of the demo must: the
// part of an ascending insert that no code shape can shorten, since every
// level's link is loaded from the node the previous level loaded.
//
//   spine_walk [N]   (default 10,000,000, the demo's tree)
//
// Builds the tree of keys 1..N in ascending order, then walks from the root
// to the largest node N times with find_largest_node and prints the mean time
// per walk. The next walk starts from a pointer that depends on the key the
// last one reached (through an AND with a zero the compiler cannot see), so
// walks cannot overlap.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "avl/ADT_avl_tree.h"

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000000;
  if (count < 1 || count > INT32_MAX) {
    std::fprintf(stderr, "usage: %s [N], 1 <= N <= %d\n", argv[0], INT32_MAX);
    return 2;
  }
  AVL_TREE* tree = create_avl_tree();
  for (long key = 1; key <= count; ++key) {
    if (tree == nullptr || AVL_insert(tree, static_cast<int32_t>(key)) != 1) {
      std::fprintf(stderr, "out of memory\n");
      return 1;
    }
  }
  volatile uintptr_t hidden_zero = 0;
  const uintptr_t zero = hidden_zero;
  nod* root = tree->root;
  int levels = 0;
  for (const nod* node = root; node != nullptr; node = node->right) {
    ++levels;
  }
  int64_t sum = 0;
  const auto start = std::chrono::steady_clock::now();
  for (long walk = 0; walk < count; ++walk) {
    const nod* largest = find_largest_node(root);
    sum += largest->data;
    root = reinterpret_cast<nod*>(reinterpret_cast<uintptr_t>(root) ^
                                  (static_cast<uintptr_t>(largest->data) & zero));
  }
  const auto end = std::chrono::steady_clock::now();
  const double ns = std::chrono::duration<double, std::nano>(end - start).count();
  std::printf("%.1f ns per walk of %d levels (%.2f ns per level), checksum %lld\n",
              ns / static_cast<double>(count), levels, ns / static_cast<double>(count) / levels,
              static_cast<long long>(sum));
  AVL_destroy(tree);
  return 0;
}
