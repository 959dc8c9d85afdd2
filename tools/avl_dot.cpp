// avl_dot: builds an AVL tree from the operations on its command line and
// prints it as a Graphviz DOT digraph on standard output.
//
//   $ avl_dot 5 2 8 1 4 9 3 -d 9 | dot -Tsvg -o tree.svg
//
// Operations run left to right: a number inserts that key, `-d N` deletes one
// node holding N. A number may be negative ("-7" inserts -7); only "-d" is an
// option. Deleting a key that is not in the tree is an error rather than a
// no-op, since it usually means a mistyped key and the picture would silently
// differ from the one intended.
//
// Exit status: 0 when the whole DOT text was written; 1 with a message on
// standard error for a bad argument, an absent key, exhausted memory or a
// failed write (a full disk, a closed pipe).
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "avl/ADT_avl_tree.h"

namespace {

const char* const USAGE = "usage: avl_dot [KEY | -d KEY]...\n";

// Parses a whole argument as a decimal 32-bit key; false for anything else
// ("", "12x", "0x10", " 5", out of range).
bool parse_key(const char* text, int32_t* key) {
  if (text[0] == '\0' ||
      !(text[0] == '-' || text[0] == '+' || (text[0] >= '0' && text[0] <= '9'))) {
    return false;
  }
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) {
    return false;
  }
  *key = static_cast<int32_t>(value);
  return true;
}

int fail(AVL_TREE* tree, const char* message, const char* argument) {
  std::fprintf(stderr, "avl_dot: %s%s\n", message, argument);
  AVL_destroy(tree);
  return EXIT_FAILURE;
}

// A malformed command line also gets the usage line.
int bad_argument(AVL_TREE* tree, const char* message, const char* argument) {
  fail(tree, message, argument);
  std::fputs(USAGE, stderr);
  return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char** argv) {
  AVL_TREE* tree = create_avl_tree();
  if (tree == nullptr) {
    return fail(nullptr, "out of memory", "");
  }
  for (int i = 1; i < argc; ++i) {
    int32_t key = 0;
    if (std::strcmp(argv[i], "-d") == 0) {
      if (i + 1 == argc) {
        return bad_argument(tree, "-d needs a key", "");
      }
      ++i;
      if (!parse_key(argv[i], &key)) {
        return bad_argument(tree, "not a 32-bit key: ", argv[i]);
      }
      if (AVL_delete(tree, key) == 0) {
        return fail(tree, "cannot delete a key that is not in the tree: ", argv[i]);
      }
    } else if (parse_key(argv[i], &key)) {
      if (AVL_insert(tree, key) == 0) {
        return fail(tree, "out of memory inserting ", argv[i]);
      }
    } else {
      return bad_argument(tree, "not a 32-bit key: ", argv[i]);
    }
  }
  // AVL_write_dot flushes and checks the stream, so a write that failed in
  // the buffer is still reported here.
  if (AVL_write_dot(tree, stdout) == 0) {
    return fail(tree, "cannot write the DOT text to standard output", "");
  }
  AVL_destroy(tree);
  return EXIT_SUCCESS;
}
