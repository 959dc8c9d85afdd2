// avl_dot: builds an AVL tree from the operations on its command line and
// prints it: as a Graphviz DOT digraph, as an SVG picture of its own layout,
// or as an HTML page that shows every step and names each rebalancing.
//
//   $ avl_dot 5 2 8 1 4 9 3 -d 9 | dot -Tsvg -o tree.svg
//   $ avl_dot --svg 5 2 8 1 4 9 3 -d 9 >tree.svg
//   $ avl_dot --html 1 3 2 -d 1 >steps.html
//
// Operations run left to right: a number inserts that key, `-d N` deletes one
// node holding N. A number may be negative ("-7" inserts -7); anything else
// that starts with '-' is an option. The whole command line is read before
// the tree is touched, so a typing error costs no work and prints nothing on
// standard output. For a picture of the final tree, deleting a key that is
// not in the tree is an error rather than a no-op, since it usually means a
// mistyped key and the picture would silently differ from the one intended;
// on the page it is a step of its own, which a learner may well want to see.
//
// Exit status: 0 when the whole output was written (or -h / --help printed
// the usage); 2 with a message and the usage line on standard error for a
// malformed command line (a bad or out-of-range key, -d without a key, an
// unknown option, both --svg and --html); 1 with a message for an absent key
// (not with --html), exhausted memory or a failed write (a full disk).
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
#include <utility>
#include <vector>

#include "avl/ADT_avl_tree.h"
#include "avl_page.h"
#include "avl_steps.h"

namespace {

const char* const USAGE = "usage: avl_dot [--svg | --html] [KEY | -d KEY]...\n";

const char* const HELP =
    "Builds an AVL tree from the operations, left to right, and prints it on\n"
    "standard output.\n"
    "\n"
    "  KEY        insert KEY, a decimal 32-bit integer (it may be negative)\n"
    "  -d KEY     delete one node holding KEY\n"
    "  --svg      print the final tree as an SVG picture instead of Graphviz DOT\n"
    "  --html     print a page with one figure per operation, each rebalancing\n"
    "             named; an absent KEY is then a step of its own\n"
    "  -h, --help print this text\n"
    "\n"
    "Without --svg or --html the output is a DOT digraph (render it with dot -Tsvg).\n"
    "Exit status: 0 done; 1 absent key (but not with --html), out of memory or\n"
    "failed write; 2 malformed command line.\n";

const int EXIT_USAGE = 2;

enum class Format { dot, svg, html };

const char* format_name(Format format) {
  return format == Format::dot ? "DOT text" : format == Format::svg ? "SVG picture" : "HTML page";
}

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
int write_failed(Format format, int error) {
  if (error == EPIPE) {
    return EXIT_FAILURE;
  }
  std::fprintf(stderr, "avl_dot: cannot write the %s to standard output\n", format_name(format));
  return EXIT_FAILURE;
}

// Applies one operation; false when an insertion ran out of memory. Sets
// *applied to whether the tree changed (a deletion finds no absent key).
bool apply(AVL_TREE* tree, const Operation& op, bool* applied) {
  if (op.remove) {
    *applied = AVL_delete(tree, op.key) == 1;
    return true;
  }
  *applied = AVL_insert(tree, op.key) == 1;
  return *applied;
}

// The page, written figure by figure as the tree is built: each step is
// copied after it ran and compared with the copy taken after the one before.
// Only the page can stop half-way with something on standard output, when
// memory runs out; the message on standard error and the status say so.
int write_page(AVL_TREE* tree, const std::vector<Operation>& operations,
               const std::vector<const char*>& texts) {
  const Layout layout = layout_for(operations);
  const int count = static_cast<int>(operations.size());
  bool written = write_page_start(stdout, operations);
  TreeCopy before = copy_tree(tree);
  for (int i = 0; i < count && written; ++i) {
    bool applied = false;
    if (!apply(tree, operations[i], &applied)) {
      return fail("out of memory inserting ", texts[i]);
    }
    TreeCopy after = copy_tree(tree);
    const StepReport step = describe_step(operations[i], applied, before, after);
    written = write_page_step(stdout, i + 1, count, step, after, layout);
    before = std::move(after);
  }
  if (!written || !write_page_end(stdout)) {
    return write_failed(Format::html, errno);
  }
  return EXIT_SUCCESS;
}

// The final tree as DOT text or as an SVG picture.
int write_final_tree(AVL_TREE* tree, const std::vector<Operation>& operations,
                     const std::vector<const char*>& texts, Format format) {
  for (size_t i = 0; i < operations.size(); ++i) {
    bool applied = false;
    if (!apply(tree, operations[i], &applied)) {
      return fail("out of memory inserting ", texts[i]);
    }
    if (!applied) {
      return fail("cannot delete a key that is not in the tree: ", texts[i]);
    }
  }
  // Both writers flush and check the stream, so a write that failed in the
  // buffer is still reported here.
  const bool written = format == Format::dot
                           ? AVL_write_dot(tree, stdout) == 1
                           : write_svg_document(stdout, copy_tree(tree), layout_for(operations));
  return written ? EXIT_SUCCESS : write_failed(format, errno);
}

}  // namespace

int main(int argc, char** argv) {
  Format format = Format::dot;
  std::vector<Operation> operations;
  std::vector<const char*> texts;  // each key as typed, for messages
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      std::fputs(USAGE, stdout);
      std::fputs(HELP, stdout);
      return std::fflush(stdout) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
    }
    const bool svg = std::strcmp(arg, "--svg") == 0;
    if (svg || std::strcmp(arg, "--html") == 0) {
      const Format wanted = svg ? Format::svg : Format::html;
      if (format != Format::dot && format != wanted) {
        return usage_error("--svg and --html exclude each other", "");
      }
      format = wanted;
      continue;
    }
    Operation op{false, 0};
    const char* text = arg;
    if (std::strcmp(arg, "-d") == 0) {
      if (i + 1 == argc) {
        return usage_error("-d needs a key", "");
      }
      op.remove = true;
      text = argv[++i];
    } else if (is_option(arg)) {
      return usage_error("unknown option: ", arg);
    }
    const KeyText verdict = parse_key(text, &op.key);
    if (verdict != KeyText::ok) {
      return bad_key(verdict, text);
    }
    operations.push_back(op);
    texts.push_back(text);
  }

  AVL_TREE* tree = create_avl_tree();
  if (tree == nullptr) {
    return fail("out of memory", "");
  }
  const int status = format == Format::html ? write_page(tree, operations, texts)
                                            : write_final_tree(tree, operations, texts, format);
  AVL_destroy(tree);
  return status;
}
