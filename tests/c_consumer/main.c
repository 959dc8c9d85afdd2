/* A C program that uses the library: it checks the result of every call
 * itself and prints the tree report, whose bytes the test compares. */
#include <stdio.h>

#include "avl/ADT_avl_tree.h"

static int failures = 0;

static void expect(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "c_consumer: wrong result: %s\n", what);
    failures += 1;
  }
}

int main(void) {
  AVL_TREE* tree = create_avl_tree();
  if (tree == NULL) {
    fprintf(stderr, "c_consumer: out of memory\n");
    return 1;
  }
  const int32_t keys[] = {5, 3, 8, 3, 1, 9};
  for (size_t i = 0; i < sizeof keys / sizeof keys[0]; ++i) {
    expect(AVL_insert(tree, keys[i]) == 1, "AVL_insert");
  }
  expect(AVL_delete(tree, 9) == 1, "AVL_delete of a present key");
  expect(AVL_delete(tree, 7) == 0, "AVL_delete of an absent key");
  const nod* found = search_avl(tree->root, 8);
  expect(found != NULL && found->data == 8, "search_avl of a present key");
  expect(search_avl(tree->root, 9) == NULL, "search_avl of a deleted key");
  expect(AVL_count(tree, 3) == 2, "AVL_count of a repeated key");
  expect(AVL_lower_bound(tree, 4)->data == 5, "AVL_lower_bound");
  expect(AVL_height(tree) == 3, "AVL_height");
  expect(AVL_check(tree, stderr) == 1, "AVL_check");
  expect(tree->size == 5, "size");
  AVL_print(tree, 1);

  /* The keys from 3 up to 5 with a cursor, then all of them backwards. */
  AVL_CURSOR cursor;
  printf("from 3 to 5 :");
  for (const nod* node = AVL_cursor_lower_bound(&cursor, tree, 3); node != NULL && node->data <= 5;
       node = AVL_cursor_next(&cursor)) {
    printf(" %d", node->data);
  }
  printf("\nbackwards :");
  for (const nod* node = AVL_cursor_last(&cursor, tree); node != NULL;
       node = AVL_cursor_prev(&cursor)) {
    printf(" %d", node->data);
  }
  printf("\n");
  expect(AVL_cursor_node(&cursor) == NULL, "a cursor past the first node");
  AVL_destroy(tree);
  return failures == 0 ? 0 : 1;
}
