// Builds a small tree through the installed headers and library, the C++ way
// (avl/avl.hpp, C++20), and prints its keys in order, what a std::ranges
// algorithm counts in it and the header's version, so the test can compare
// them.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "avl/avl.hpp"

int main() {
  avl::tree tree;
  for (int32_t key : {5, 3, 8, 3, 1}) {
    tree.insert(key);
  }
  std::printf("size %zu root %d: ", tree.size(), tree.native()->root->data);
  for (int32_t key : tree) {
    std::printf("%d ", key);
  }
  const auto threes = std::ranges::count(tree, 3);
  const auto above_two = std::ranges::count_if(tree, [](int32_t key) { return key > 2; });
  std::printf("\nthrees %td above two %td\n", threes, above_two);
  std::printf("version %d.%d.%d\n", AVL_VERSION_MAJOR, AVL_VERSION_MINOR, AVL_VERSION_PATCH);
  return tree.check() ? 0 : 1;
}
