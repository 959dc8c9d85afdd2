// avl_demo: inserts the keys 1..KEY_COUNT in ascending order into one AVL
// tree, then walks the rightmost path and prints its length (for ascending
// keys, the tree's height) and the key at its end (the largest key).
//
//   $ avl_demo
//   height(max): 24
//   largest data: 10000000
//
// Ascending keys are the worst order for an unbalanced tree and a steady
// stream of right-right rotations for this one. The tree and the key buffer
// are left for the process's end to release.
//
// When memory runs out the run is worthless (a missing key would change both
// answers), so it says so on standard error, prints no result and exits with
// status 1. So does a result that could not be written (a full disk, a closed
// standard output): a run nobody can read must not look like a success.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "avl/ADT_avl_tree.h"

// The build may lower the count for tests of the driver's edge cases.
#ifndef AVL_DEMO_KEY_COUNT
#define AVL_DEMO_KEY_COUNT 10000000
#endif

static const int32_t KEY_COUNT = AVL_DEMO_KEY_COUNT;
static_assert(AVL_DEMO_KEY_COUNT >= 1, "the spine walk starts at the root");

static int fail(const char* what) {
  std::fprintf(stderr, "avl_demo: out of memory: cannot allocate %s\n", what);
  return EXIT_FAILURE;
}

int main() {
  int32_t* keys = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * KEY_COUNT));
  if (keys == nullptr) {
    return fail("the key buffer");
  }
  AVL_TREE* tree = create_avl_tree();
  if (tree == nullptr) {
    return fail("the tree");
  }

  int32_t* slot = keys;
  for (int32_t i = KEY_COUNT - 1; i >= 0; --i) {
    *slot = KEY_COUNT - i;
    if (AVL_insert(tree, *slot) != 1) {
      return fail("a tree node");
    }
    ++slot;
  }

  // Walk down the right links: the count of nodes on the path and its last key.
  const nod* node = tree->root;
  int32_t height = 1;
  int32_t largest = node->data;
  while (node->right != nullptr) {
    node = node->right;
    height += 1;
    largest = node->data;
  }

  std::printf("height(max): %d\n", height);
  std::printf("largest data: %d\n", largest);
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::fprintf(stderr, "avl_demo: cannot write the result: %s\n", std::strerror(errno));
    return EXIT_FAILURE;
  }
  return EXIT_SUCCESS;
}
