// Builds a small tree through the installed header and library and prints its
// keys in order and the header's version, so the test can compare them.
#include <cstdint>
#include <cstdio>

#include "avl/ADT_avl_tree.h"

static void print_inorder(const nod* node) {
  if (node == nullptr) {
    return;
  }
  print_inorder(node->left);
  std::printf("%d ", node->data);
  print_inorder(node->right);
}

int main() {
  AVL_TREE* tree = create_avl_tree();
  if (tree == nullptr) {
    return 1;
  }
  const int32_t keys[] = {5, 3, 8, 3, 1};
  for (int32_t key : keys) {
    if (AVL_insert(tree, key) != 1) {
      return 1;
    }
  }
  std::printf("size %d root %d: ", tree->size, tree->root->data);
  print_inorder(tree->root);
  std::printf("\nversion %d.%d.%d\n", AVL_VERSION_MAJOR, AVL_VERSION_MINOR, AVL_VERSION_PATCH);
  AVL_destroy(tree);
  return 0;
}
