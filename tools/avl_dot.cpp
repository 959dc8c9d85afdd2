// avl_dot: builds an AVL tree from the operations on its command line and
// prints it as a Graphviz DOT digraph on standard output.
//
//   $ avl_dot 5 2 8 1 4 9 3 -d 9 | dot -Tsvg -o tree.svg
//
// Operations run left to right: a number inserts that key, `-d N` deletes one
// node holding N. A number may be negative ("-7" inserts -7); anything else
// that starts with '-' is an option. The whole command line is read before
// the tree is touched, so a typing error costs no work and prints nothing on
// standard output. Deleting a key that is not in the tree is an error rather
// than a no-op, since it usually means a mistyped key and the picture would
// silently differ from the one intended.
//
// Exit status: 0 when the whole output was written (or -h / --help printed
// the usage); 2 with a message and the usage line on standard error for a
// malformed command line (a bad or out-of-range key, -d without a key, an
// unknown option); 1 with a message for an absent key, exhausted memory or a
// failed write (a full disk).
//
// A reader that goes away early (avl_dot ... | head -c1) ends the process by
// SIGPIPE, silently, as it does any filter: the default disposition is left
// alone. Where the parent ignores SIGPIPE, so that the write fails with EPIPE
// instead, avl_dot exits with status 1, also without a message: nobody is
// left to read the output, and the reader chose to stop.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "avl/ADT_avl_tree.h"

namespace {

const char* const USAGE = "usage: avl_dot [KEY | -d KEY]...\n";

const char* const HELP =
    "Builds an AVL tree from the operations, left to right, and prints it as a\n"
    "Graphviz DOT digraph on standard output (render it with dot -Tsvg).\n"
    "\n"
    "  KEY        insert KEY, a decimal 32-bit integer (it may be negative)\n"
    "  -d KEY     delete one node holding KEY; an absent KEY is an error\n"
    "  -h, --help print this text\n"
    "\n"
    "Exit status: 0 done, 1 absent key, out of memory or failed write,\n"
    "2 malformed command line.\n";

const int EXIT_USAGE = 2;

struct Operation {
  bool remove;  // -d KEY
  int32_t key;
  const char* text;  // the key as typed, for messages
};

// What a command-line argument is taken for when it is read as a key.
enum class KeyText { ok, malformed, out_of_range };

// Reads a whole argument as a decimal 32-bit key: an optional sign and at
// least one digit, nothing else ("", "12x", "0x10", " 5" are malformed).
KeyText parse_key(const char* text, int32_t* key) {
  const char* digits = text + (text[0] == '-' || text[0] == '+' ? 1 : 0);
  if (digits[0] == '\0' || std::strspn(digits, "0123456789") != std::strlen(digits)) {
    return KeyText::malformed;
  }
  errno = 0;
  const long long value = std::strtoll(text, nullptr, 10);
  if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) {
    return KeyText::out_of_range;
  }
  *key = static_cast<int32_t>(value);
  return KeyText::ok;
}

bool is_option(const char* text) {
  return text[0] == '-' && !(text[1] >= '0' && text[1] <= '9');
}

int fail(const char* message, const char* argument) {
  std::fprintf(stderr, "avl_dot: %s%s\n", message, argument);
  return EXIT_FAILURE;
}

int usage_error(const char* message, const char* argument) {
  std::fprintf(stderr, "avl_dot: %s%s\n", message, argument);
  std::fputs(USAGE, stderr);
  return EXIT_USAGE;
}

// A key argument that parse_key refused.
int bad_key(KeyText verdict, const char* argument) {
  return usage_error(
      verdict == KeyText::out_of_range ? "out of range for a 32-bit key: " : "not a 32-bit key: ",
      argument);
}

// A failed write: quiet when the reader has gone (see the top of the file).
int write_failed() {
  if (errno == EPIPE) {
    return EXIT_FAILURE;
  }
  return fail("cannot write the DOT text to standard output", "");
}

int build_and_print(const std::vector<Operation>& operations) {
  AVL_TREE* tree = create_avl_tree();
  if (tree == nullptr) {
    return fail("out of memory", "");
  }
  for (const Operation& op : operations) {
    if (op.remove && AVL_delete(tree, op.key) == 0) {
      AVL_destroy(tree);
      return fail("cannot delete a key that is not in the tree: ", op.text);
    }
    if (!op.remove && AVL_insert(tree, op.key) == 0) {
      AVL_destroy(tree);
      return fail("out of memory inserting ", op.text);
    }
  }
  // AVL_write_dot flushes and checks the stream, so a write that failed in
  // the buffer is still reported here.
  const int written = AVL_write_dot(tree, stdout);
  const int write_errno = errno;
  AVL_destroy(tree);
  if (written == 0) {
    errno = write_errno;
    return write_failed();
  }
  return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Operation> operations;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    Operation op{false, 0, arg};
    if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      std::fputs(USAGE, stdout);
      std::fputs(HELP, stdout);
      return std::fflush(stdout) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
    }
    if (std::strcmp(arg, "-d") == 0) {
      if (i + 1 == argc) {
        return usage_error("-d needs a key", "");
      }
      op.remove = true;
      op.text = argv[++i];
    } else if (is_option(arg)) {
      return usage_error("unknown option: ", arg);
    }
    const KeyText verdict = parse_key(op.text, &op.key);
    if (verdict != KeyText::ok) {
      return bad_key(verdict, op.text);
    }
    operations.push_back(op);
  }
  return build_and_print(operations);
}
