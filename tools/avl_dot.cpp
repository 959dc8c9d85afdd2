// avl_dot: builds an AVL tree from the operations on its command line and
// prints it: as a Graphviz DOT digraph, as an SVG picture of its own layout,
// or as an HTML page that shows every step and names each rebalancing.
//
//   $ avl_dot 5 2 8 1 4 9 3 -d 9 | dot -Tsvg -o tree.svg
//   $ avl_dot --svg 5 2 8 1 4 9 3 -d 9 >tree.svg
//   $ seq 1 1000000 | avl_dot --svg - >big.svg
//   $ avl_dot --html 1 3 2 -d 1 >steps.html
//
// Operations run left to right: a number inserts that key, `-d N` deletes one
// node holding N. A number may be negative ("-7" inserts -7); anything else
// that starts with '-' is an option. `-f FILE` reads more operations from a
// file, and `-` from standard input, in the same words separated by white
// space; they run where the option stands. (A command line holds only about
// 140,000 keys, and xargs would split a longer list into separate runs.) A
// word has at most WORD_BYTE_BOUND bytes and a run at most OPERATION_BOUND
// operations, wherever they come from. The whole input is read before the
// tree is touched, so a typing error costs no work and prints nothing on
// standard output. For a picture of the final tree, deleting a key that is
// not in the tree is an error rather than a no-op, since it usually means a
// mistyped key and the picture would silently differ from the one intended;
// on the page it is a step of its own, which a learner may well want to see.
//
// Exit status: 0 when the whole output was written (or -h / --help printed
// the usage); 2 with a message and the usage line on standard error for a
// malformed command line (a bad or out-of-range key, -d without a key, an
// unknown option, both --svg and --html; in a file too), and 2 with one line
// for input past its bounds or a page over its budget (below); 1 with a
// message for an absent key (not with --html), a file that cannot be read,
// exhausted memory or a failed write (a full disk, a file-size limit, a
// closed standard output).
//
// Every figure of a page draws the whole tree, so a page grows with the square
// of its script, and even a figure of the empty tree costs about 480 bytes
// (2,500 deletions from the empty tree make a page of 1,200,405 bytes, 6,027
// of them the page's own; each node then adds about 290 to its figure). A
// page is built in memory up to HTML_BYTE_BUDGET bytes and refused, before
// anything is written, when it would grow past that; --svg draws the final
// tree of any size.
//
// The output is built in memory and written only once it is complete, so a
// run that fails (out of memory above all, wherever an allocation fails: the
// module's insertions, the tool's own containers, the memory stream) leaves
// nothing on standard output, never a truncated page that looks finished. A
// new-handler turns every failed allocation into "avl_dot: out of memory" and
// status 1, on the system heap and on mimalloc alike.
//
// A write can still fail part way, when the disk fills up or the file reaches
// the size limit of `ulimit -f`. Where standard output is a regular file, it
// is put back as it was: the part written past its old end is cut off again,
// and what the run wrote over (1<> opens a file at its start without
// emptying it) is written back; a pipe, a terminal or a device cannot take
// bytes back, and keeps what it was given. Either way the status is 1, with a
// message. The file-size limit would kill the process by SIGXFSZ in the
// middle of the write; that signal is ignored, so the write fails with EFBIG
// instead and is reported like any other.
//
// A reader that goes away early (avl_dot ... | head -c1) ends the process by
// SIGPIPE, silently, as it does any filter: the default disposition is left
// alone. Where the parent ignores SIGPIPE, so that the write fails with EPIPE
// instead, avl_dot exits with status 1, also without a message: nobody is
// left to read the output, and the reader chose to stop.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#if defined(AVL_ON_MIMALLOC)
#include <mimalloc.h>
#endif

#include "avl/ADT_avl_tree.h"
#include "avl_page.h"
#include "avl_steps.h"

namespace {

// The bounds of the input, which end an endless source (-f /dev/zero, yes 1 |
// avl_dot -) at once with one line instead of letting it fill the memory. No
// key needs more than 11 bytes, leading zeros aside; ten million operations
// make the demo's tree, whose picture alone takes over 3 GB.
const size_t WORD_BYTE_BOUND = 64;
const size_t OPERATION_BOUND = 10000000;

const char* const USAGE = "usage: avl_dot [--svg | --html] [KEY | -d KEY | -f FILE | -]...\n";

const char* const HELP =
    "Builds an AVL tree from the operations, left to right, and prints it on\n"
    "standard output.\n"
    "\n"
    "  KEY        insert KEY, a decimal 32-bit integer (it may be negative)\n"
    "  -d KEY     delete one node holding KEY\n"
    "  -f FILE    read more operations from FILE, words separated by white space\n"
    "             (at most %zu bytes a word and %zu operations a run)\n"
    "  -          read more operations from standard input, the same way\n"
    "  --svg      print the final tree as an SVG picture instead of Graphviz DOT;\n"
    "             about 327 bytes, 2 microseconds and 700 bytes of memory per\n"
    "             key (give many keys with -f or -: a command line holds about\n"
    "             140,000)\n"
    "  --html     print a page with one figure per operation, each rebalancing\n"
    "             named; an absent KEY is then a step of its own. Every figure\n"
    "             draws the whole tree (about 290 bytes a node, 480 a figure),\n"
    "             and a page over %lld bytes is refused (164 ascending keys\n"
    "             from 1 are); use --svg for larger trees\n"
    "  -h, --help print this text\n"
    "  --version  print the version\n"
    "\n"
    "Without --svg or --html the output is a DOT digraph (render it with dot -Tsvg).\n"
    "Exit status: 0 done; 1 absent key (but not with --html), unreadable file,\n"
    "out of memory or failed write; 2 malformed operation, input past its\n"
    "bounds, or a page over its budget. Nothing is written unless all of it was\n"
    "built; a write that fails part way leaves a regular file as it was, but\n"
    "not a pipe.\n";

const int EXIT_USAGE = 2;

// The most bytes a page may take: about 4 MB of HTML and SVG, which a browser
// opens and steps through without a pause.
const long long HTML_BYTE_BUDGET = AVL_HTML_BYTE_BUDGET;

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

// Messages pass every word and file name they echo through quote_word
// (avl_steps.h), since those may be of any size and hold any byte: a word is
// shown up to 40 bytes, a file name up to FILE_NAME_SHOWN.
const size_t FILE_NAME_SHOWN = 200;

int fail(const std::string& message) {
  std::fprintf(stderr, "avl_dot: %s\n", message.c_str());
  return EXIT_FAILURE;
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "avl_dot: %s\n", message.c_str());
  std::fputs(USAGE, stderr);
  return EXIT_USAGE;
}

// Input past one of its bounds: one line, without the usage, since nothing
// in it need be malformed.
int over_bound(const std::string& message) {
  std::fprintf(stderr, "avl_dot: %s\n", message.c_str());
  return EXIT_USAGE;
}

// A failed write: quiet when the reader has gone (see the top of the file).
int write_failed(const char* what, int error) {
  if (error == EPIPE) {
    return EXIT_FAILURE;
  }
  std::fprintf(stderr, "avl_dot: cannot write the %s to standard output: %s\n", what,
               std::strerror(error));
  return EXIT_FAILURE;
}

// Flushes what -h or --version printed; a full or closed standard output is
// reported as for the tree.
int finish_text(const char* what) {
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    return write_failed(what, errno != 0 ? errno : EIO);
  }
  return EXIT_SUCCESS;
}

// The operations and, for messages, each key as it was typed (null for the
// keys read from a file, whose words are not kept).
struct Script {
  std::vector<Operation> operations;
  std::vector<const char*> texts;
};

// Takes one word of the operations: a key, or `-d` (whose key is the next
// word: `pending_delete` carries it over). Returns 0, or the exit status of a
// malformed word, whose message names `where` ("" on the command line, "in
// FILE: " for a file). A word from a file may hold a NUL byte, which is part
// of it like any other: "3\0junk" is not the key 3, nor "-d\0" the option.
int take_word(const std::string& word, const char* typed, const std::string& where,
              bool* pending_delete, Script* script) {
  if (word.size() > WORD_BYTE_BOUND) {
    return over_bound(where + "a word longer than " + std::to_string(WORD_BYTE_BOUND) +
                      " bytes: " + quote_word(word));
  }
  Operation op{*pending_delete, 0};
  if (!*pending_delete && word == "-d") {
    *pending_delete = true;
    return 0;
  }
  *pending_delete = false;
  if (!op.remove && is_option_word(word)) {
    return usage_error(where + "unknown option: " + quote_word(word));
  }
  const KeyVerdict verdict = read_key(word, &op.key);  // the grammar the live page reads too
  if (verdict != KeyVerdict::ok) {
    return usage_error(where +
                       (verdict == KeyVerdict::out_of_range ? "out of range for a 32-bit key: "
                                                            : "not a 32-bit key: ") +
                       quote_word(word));
  }
  if (script->operations.size() == OPERATION_BOUND) {
    return over_bound(where + "more than " + std::to_string(OPERATION_BOUND) +
                      " operations, the most one run takes");
  }
  script->operations.push_back(op);
  script->texts.push_back(typed);
  return 0;
}

// Reads the words of `in` (named `name` in messages) as operations.
int read_operations(FILE* in, const std::string& name, Script* script) {
  const std::string where = "in " + name + ": ";
  bool pending_delete = false;
  std::string word;
  int c = 0;
  do {
    c = std::getc(in);
    const bool in_word = c != EOF && std::isspace(c) == 0;
    if (in_word) {
      word += static_cast<char>(c);
    }
    // A word is taken at its end, or as soon as it is over its bound: the
    // rest of it is never read (/dev/zero has no end).
    if (!word.empty() && (!in_word || word.size() > WORD_BYTE_BOUND)) {
      const int status = take_word(word, nullptr, where, &pending_delete, script);
      if (status != 0) {
        return status;
      }
      word.clear();
    }
  } while (c != EOF);
  if (std::ferror(in) != 0) {
    return fail("cannot read " + name + ": " + std::strerror(errno));
  }
  return pending_delete ? usage_error(where + "-d needs a key") : 0;
}

int read_operations_from(const char* path, Script* script) {
  if (std::strcmp(path, "-") == 0) {
    return read_operations(stdin, "standard input", script);
  }
  const std::string name = quote_word(path, FILE_NAME_SHOWN);
  FILE* in = std::fopen(path, "r");
  if (in == nullptr) {
    return fail("cannot read " + name + ": " + std::strerror(errno));
  }
  const int status = read_operations(in, name, script);
  std::fclose(in);
  return status;
}

// Applies one operation. Sets *applied to whether the tree changed (a
// deletion finds no absent key); an insertion that runs out of memory never
// returns (see out_of_memory).
void apply(AVL_TREE* tree, const Operation& op, bool* applied) {
  *applied = op.remove ? AVL_delete(tree, op.key) == 1 : AVL_insert(tree, op.key) == 1;
}

// The page, figure by figure: each step runs with its trace recorded, and
// the trace says what it did and brings the copy drawn to the tree after it.
// Stops at the first failed write, which is the budget's refusal when the
// page would outgrow it.
bool write_page(AVL_TREE* tree, const std::vector<Operation>& operations, FILE* out) {
  const Layout layout = layout_for(operations);
  const int count = static_cast<int>(operations.size());
  bool written = write_page_start(out, operations);
  TreeCopy copy(tree);
  Trace trace;
  for (int i = 0; i < count && written; ++i) {
    trace.clear();
    const bool applied = run_traced(tree, operations[i], &trace);
    if (!applied && !operations[i].remove) {
      out_of_memory();
    }
    const StepReport step = describe_step(operations[i], applied, trace, copy);
    written = write_page_step(out, i + 1, count, step, copy, layout);
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
                           : write_svg_document(out, TreeCopy(tree), layout_for(operations));
  return written ? -1 : -2;
}

// The output as it is built: a stream into a growing block of memory, which
// refuses to grow past `limit` (the page's budget) and says so in
// `over_limit`. (A glibc memory stream would not do: when it cannot grow it
// drops the rest of the text without setting the stream's error flag.)
struct Buffer {
  char* data = nullptr;
  size_t length = 0;
  size_t capacity = 0;
  size_t limit = SIZE_MAX;
  bool over_limit = false;
};

ssize_t append_to_buffer(void* cookie, const char* bytes, size_t size) {
  auto* buffer = static_cast<Buffer*>(cookie);
  if (size > buffer->limit - buffer->length) {
    buffer->over_limit = true;
    return -1;
  }
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

// Runs `step(done)`, a read or a write of the bytes from `done` on, until
// all `size` bytes are through or one fails (errno says why). Returns how
// many went through.
template <class Step>
size_t all_bytes(size_t size, Step step) {
  size_t done = 0;
  while (done < size) {
    const ssize_t moved = step(done);
    if (moved < 0 && errno == EINTR) {
      continue;
    }
    if (moved <= 0) {
      errno = moved == 0 ? EIO : errno;
      break;
    }
    done += static_cast<size_t>(moved);
  }
  return done;
}

// Writes the finished output to standard output. When a write fails part way
// into a regular file, the file is put back as it was: what went past its old
// end is cut off, and the bytes the output wrote over (a file opened with
// 1<>, and written from its start) are written back from a copy read before
// they were touched; *not_put_back says when that failed too. Returns 0 or
// the errno of the failure.
int write_output(const char* data, size_t length, bool* not_put_back) {
  struct stat status {};
  const bool regular = fstat(STDOUT_FILENO, &status) == 0 && S_ISREG(status.st_mode);
  // Appending (>>) writes at the end whatever the offset says.
  const int flags = regular ? fcntl(STDOUT_FILENO, F_GETFL) : -1;
  const off_t start = flags == -1               ? -1
                      : (flags & O_APPEND) != 0 ? status.st_size
                                                : lseek(STDOUT_FILENO, 0, SEEK_CUR);
  // The bytes the output is about to write over. A file opened for writing
  // alone cannot give them (no redirection of the shell opens one so in its
  // middle); it then keeps what it was given over them.
  std::string covered;
  bool covered_read = true;
  if (start >= 0 && start < status.st_size) {
    covered.resize(std::min(length, static_cast<size_t>(status.st_size - start)));
    covered_read = all_bytes(covered.size(), [&](size_t done) {
                     return pread(STDOUT_FILENO, &covered[done], covered.size() - done,
                                  start + static_cast<off_t>(done));
                   }) == covered.size();
  }
  const size_t written = all_bytes(
      length, [&](size_t done) { return write(STDOUT_FILENO, data + done, length - done); });
  if (written == length) {
    return 0;
  }
  const int error = errno;
  if (start >= 0 && written > 0) {
    const size_t over = std::min(written, covered.size());
    const bool restored =
        covered_read && all_bytes(over, [&](size_t done) {
                          return pwrite(STDOUT_FILENO, covered.data() + done, over - done,
                                        start + static_cast<off_t>(done));
                        }) == over;
    const bool cut = start + static_cast<off_t>(written) <= status.st_size ||
                     ftruncate(STDOUT_FILENO, status.st_size) == 0;
    *not_put_back = !restored || !cut;
  }
  return error;
}

// Builds the whole output in memory, then writes it to standard output.
int run(const Script& script, Format format) {
  AVL_TREE* tree = create_avl_tree();
  Buffer buffer;
  if (format == Format::html) {
    buffer.limit = static_cast<size_t>(HTML_BYTE_BUDGET);
  }
  FILE* out =
      fopencookie(&buffer, "w", cookie_io_functions_t{nullptr, append_to_buffer, nullptr, nullptr});
  if (tree == nullptr || out == nullptr) {
    out_of_memory();
  }
  bool built = true;
  long absent = -1;
  if (format == Format::html) {
    built = write_page(tree, script.operations, out);
  } else {
    absent = write_final_tree(tree, script.operations, format, out);
    built = absent != -2;
  }
  AVL_destroy(tree);
  // The buffer fails only when it cannot grow, or would grow past the budget.
  const bool closed = std::fclose(out) == 0;
  if (buffer.over_limit) {
    std::free(buffer.data);
    std::fprintf(stderr,
                 "avl_dot: --html: the page of these %zu steps would take more than its budget "
                 "of %lld bytes; use --svg for the final tree, or the live page "
                 "(docs/live.html), which draws only the current one\n",
                 script.operations.size(), HTML_BYTE_BUDGET);
    return EXIT_USAGE;
  }
  if (!closed || !built) {
    out_of_memory();
  }
  int status = EXIT_SUCCESS;
  if (absent >= 0) {
    const size_t at = static_cast<size_t>(absent);
    // The key as it was typed ("+7", "007"), unless that is too long to show.
    const char* const typed = script.texts[at];
    status = fail("cannot delete a key that is not in the tree: " +
                  (typed != nullptr && quote_word(typed) == typed
                       ? std::string(typed)
                       : std::to_string(script.operations[at].key)));
  } else {
    bool not_put_back = false;
    if (const int error = write_output(buffer.data, buffer.length, &not_put_back); error != 0) {
      status = write_failed(format_name(format), error);
    }
    if (not_put_back) {
      std::fputs("avl_dot: cannot put the file back as it was, either\n", stderr);
    }
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
  // Past `ulimit -f` a write fails with EFBIG instead of killing the process.
  std::signal(SIGXFSZ, SIG_IGN);
  // A closed standard output would be taken by the first file opened.
  if (fcntl(STDOUT_FILENO, F_GETFD) == -1) {
    return write_failed("output", EBADF);
  }
  Format format = Format::dot;
  Script script;
  bool pending_delete = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (pending_delete) {
      const int status = take_word(arg, arg, "", &pending_delete, &script);
      if (status != 0) {
        return status;
      }
      continue;
    }
    if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      std::fputs(USAGE, stdout);
      std::printf(HELP, WORD_BYTE_BOUND, OPERATION_BOUND, HTML_BYTE_BUDGET);
      return finish_text("help");
    }
    if (std::strcmp(arg, "--version") == 0) {
      std::printf("avl_dot %d.%d.%d\n", AVL_VERSION_MAJOR, AVL_VERSION_MINOR, AVL_VERSION_PATCH);
      return finish_text("version");
    }
    const bool svg = std::strcmp(arg, "--svg") == 0;
    if (svg || std::strcmp(arg, "--html") == 0) {
      const Format wanted = svg ? Format::svg : Format::html;
      if (format != Format::dot && format != wanted) {
        return usage_error("--svg and --html exclude each other");
      }
      format = wanted;
      continue;
    }
    if (std::strcmp(arg, "-f") == 0 || std::strcmp(arg, "-") == 0) {
      if (arg[1] == 'f' && i + 1 == argc) {
        return usage_error("-f needs a file");
      }
      const int status = read_operations_from(arg[1] == 'f' ? argv[++i] : "-", &script);
      if (status != 0) {
        return status;
      }
      continue;
    }
    const int status = take_word(arg, arg, "", &pending_delete, &script);
    if (status != 0) {
      return status;
    }
  }
  if (pending_delete) {
    return usage_error("-d needs a key");
  }
  return run(script, format);
}
