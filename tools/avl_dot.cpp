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
// unknown option, both --svg and --html), and 2 with one line for a page over
// its budget (below); 1 with a message for an absent key (not with --html),
// exhausted memory or a failed write (a full disk).
//
// Every figure of a page draws the whole tree, so a page grows with the square
// of its script: 1,000 ascending keys would draw half a million nodes (about
// 190 MB). A page whose figures together would draw more than
// HTML_NODE_BUDGET nodes is refused before anything is built or written;
// --svg draws the final tree of any size.
//
// The output is built in memory and written only once it is complete, so a
// run that fails (out of memory above all, wherever an allocation fails: the
// module's insertions, the tool's own containers, the memory stream) leaves
// nothing on standard output, never a truncated page that looks finished. A
// new-handler turns every failed allocation into "avl_dot: out of memory" and
// status 1, on the system heap and on mimalloc alike.
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
#include <new>
#include <utility>
#include <vector>

#if defined(AVL_ON_MIMALLOC)
#include <mimalloc.h>
#endif

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
    "             named; an absent KEY is then a step of its own. The figures\n"
    "             together may draw at most %lld nodes (140 ascending keys draw\n"
    "             9870); use --svg for larger trees\n"
    "  -h, --help print this text\n"
    "  --version  print the version\n"
    "\n"
    "Without --svg or --html the output is a DOT digraph (render it with dot -Tsvg).\n"
    "Exit status: 0 done; 1 absent key (but not with --html), out of memory or\n"
    "failed write; 2 malformed command line, or a page over its budget.\n";

const int EXIT_USAGE = 2;

// What a page's figures may draw in all: about 4 MB of HTML and SVG, which a
// browser opens and steps through without a pause.
const long long HTML_NODE_BUDGET = AVL_HTML_NODE_BUDGET;

// Called by operator new, of the tool and of the module alike, when the heap
// has nothing left. Nothing has been written to standard output by then
// (everything is built in memory first), so there is nothing to flush.
[[noreturn]] void out_of_memory() {
  std::fputs("avl_dot: out of memory\n", stderr);
  std::_Exit(EXIT_FAILURE);
}

#if defined(AVL_ON_MIMALLOC)
// mimalloc's operator new does not reach the new-handler: it aborts. Its
// error callback runs first, for every allocation that fails.
void on_heap_error(int error, void* /*unused*/) {
  if (error == ENOMEM) {
    out_of_memory();
  }
}
#endif

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

// Applies one operation. Sets *applied to whether the tree changed (a
// deletion finds no absent key); an insertion that runs out of memory never
// returns (see out_of_memory).
void apply(AVL_TREE* tree, const Operation& op, bool* applied) {
  *applied = op.remove ? AVL_delete(tree, op.key) == 1 : AVL_insert(tree, op.key) == 1;
}

// The number of nodes the page's figures would draw: the size of the tree
// after each step, added up, from a dry run on a scratch tree.
long long nodes_drawn(const std::vector<Operation>& operations) {
  AVL_TREE* scratch = create_avl_tree();
  if (scratch == nullptr) {
    out_of_memory();
  }
  long long drawn = 0;
  for (const Operation& op : operations) {
    bool applied = false;
    apply(scratch, op, &applied);
    drawn += scratch->size;
  }
  AVL_destroy(scratch);
  return drawn;
}

// The page, figure by figure: each step is copied after it ran and compared
// with the copy taken after the one before.
bool write_page(AVL_TREE* tree, const std::vector<Operation>& operations, FILE* out) {
  const Layout layout = layout_for(operations);
  const int count = static_cast<int>(operations.size());
  bool written = write_page_start(out, operations);
  TreeCopy before = copy_tree(tree);
  for (int i = 0; i < count && written; ++i) {
    bool applied = false;
    apply(tree, operations[i], &applied);
    TreeCopy after = copy_tree(tree);
    const StepReport step = describe_step(operations[i], applied, before, after);
    written = write_page_step(out, i + 1, count, step, after, layout);
    before = std::move(after);
  }
  return written && write_page_end(out);
}

// The final tree as DOT text or as an SVG picture. Returns the index of the
// first deletion of an absent key, -1 when there is none, or -2 when `out`
// failed.
long write_final_tree(AVL_TREE* tree, const std::vector<Operation>& operations, Format format,
                      FILE* out) {
  for (size_t i = 0; i < operations.size(); ++i) {
    bool applied = false;
    apply(tree, operations[i], &applied);
    if (!applied) {
      return static_cast<long>(i);
    }
  }
  const bool written = format == Format::dot
                           ? AVL_write_dot(tree, out) == 1
                           : write_svg_document(out, copy_tree(tree), layout_for(operations));
  return written ? -1 : -2;
}

// The output as it is built: a stream into a growing block of memory. (A
// glibc memory stream would not do: when it cannot grow it drops the rest of
// the text without setting the stream's error flag.)
struct Buffer {
  char* data = nullptr;
  size_t length = 0;
  size_t capacity = 0;
};

ssize_t append_to_buffer(void* cookie, const char* bytes, size_t size) {
  auto* buffer = static_cast<Buffer*>(cookie);
  if (size > buffer->capacity - buffer->length) {
    size_t grown = buffer->capacity == 0 ? 65536 : buffer->capacity;
    while (grown - buffer->length < size) {
      grown *= 2;
    }
    char* data = static_cast<char*>(std::realloc(buffer->data, grown));
    if (data == nullptr) {
      return -1;  // the stream's error flag is set, and run() reports it
    }
    buffer->data = data;
    buffer->capacity = grown;
  }
  std::memcpy(buffer->data + buffer->length, bytes, size);
  buffer->length += size;
  return static_cast<ssize_t>(size);
}

// Builds the whole output in memory, then writes it to standard output.
int run(const std::vector<Operation>& operations, const std::vector<const char*>& texts,
        Format format) {
  AVL_TREE* tree = create_avl_tree();
  Buffer buffer;
  FILE* out =
      fopencookie(&buffer, "w", cookie_io_functions_t{nullptr, append_to_buffer, nullptr, nullptr});
  if (tree == nullptr || out == nullptr) {
    out_of_memory();
  }
  bool built = true;
  long absent = -1;
  if (format == Format::html) {
    built = write_page(tree, operations, out);
  } else {
    absent = write_final_tree(tree, operations, format, out);
    built = absent != -2;
  }
  AVL_destroy(tree);
  // The buffer fails only when it cannot grow.
  if (std::fclose(out) != 0 || !built) {
    out_of_memory();
  }
  int status = EXIT_SUCCESS;
  if (absent >= 0) {
    status =
        fail("cannot delete a key that is not in the tree: ", texts[static_cast<size_t>(absent)]);
  } else if (std::fwrite(buffer.data, 1, buffer.length, stdout) != buffer.length ||
             std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    status = write_failed(format, errno);
  }
  std::free(buffer.data);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::set_new_handler(out_of_memory);
#if defined(AVL_ON_MIMALLOC)
  mi_register_error(on_heap_error, nullptr);
#endif
  Format format = Format::dot;
  std::vector<Operation> operations;
  std::vector<const char*> texts;  // each key as typed, for messages
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      std::fputs(USAGE, stdout);
      std::printf(HELP, HTML_NODE_BUDGET);
      return std::fflush(stdout) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
    }
    if (std::strcmp(arg, "--version") == 0) {
      std::printf("avl_dot %d.%d.%d\n", AVL_VERSION_MAJOR, AVL_VERSION_MINOR, AVL_VERSION_PATCH);
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

  if (format == Format::html) {
    const long long drawn = nodes_drawn(operations);
    if (drawn > HTML_NODE_BUDGET) {
      std::fprintf(stderr,
                   "avl_dot: --html: the figures of these %zu steps would draw %lld nodes, over "
                   "the page's budget of %lld; use --svg for the final tree, or the live page "
                   "(docs/live.html), which draws only the current one\n",
                   operations.size(), drawn, HTML_NODE_BUDGET);
      return EXIT_USAGE;
    }
  }
  return run(operations, texts, format);
}
