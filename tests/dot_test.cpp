// Graphviz output: the exact DOT text of small trees, the tree read back out
// of the DOT text of large ones, failed writes, the avl_dot tool end to end
// and, where Graphviz is installed, the rendered layout.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <ostream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "avl_check.h"

namespace {

const std::string HEADER =
    "digraph AVL_TREE {\n"
    "  node [shape=circle, fontname=\"Helvetica\", fontsize=11];\n"
    "  edge [arrowhead=none];\n";

// The DOT text of a tree, written through a memory stream; "<failed>" when
// AVL_write_dot reports failure.
std::string dot_of(const AVL_TREE* tree) {
  char* data = nullptr;
  size_t length = 0;
  FILE* stream = open_memstream(&data, &length);
  if (stream == nullptr) {
    ADD_FAILURE() << "open_memstream failed";
    return "";
  }
  const int ok = AVL_write_dot(tree, stream);
  std::fclose(stream);
  std::string text(data, length);
  std::free(data);
  return ok == 1 ? text : "<failed>";
}

std::string temp_path(const std::string& stem) {
  static int counter = 0;
  return ::testing::TempDir() + "avl_dot_test." + std::to_string(getpid()) + "." +
         std::to_string(counter++) + "." + stem;
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// ------------------------------------------------- exact text --

TEST(DotTextTest, EmptyTreeHasNoVertices) {
  AVL_TREE* tree = create_avl_tree();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(dot_of(tree), HEADER + "}\n");
  AVL_destroy(tree);
}

TEST(DotTextTest, SingleNode) {
  AVL_TREE* tree = tree_of({-2147483647 - 1});
  EXPECT_EQ(dot_of(tree), HEADER + "  n0 [label=\"-2147483648\\n0\"];\n}\n");
  AVL_destroy(tree);
}

// Vertices are numbered in pre-order; each vertex line comes right after the
// edge that leads to it; labels are "key\nbalance" with a sign on +1.
TEST(DotTextTest, FullTreeOfThree) {
  AVL_TREE* tree = tree_of({1, 2, 3});
  ASSERT_EQ(shape(tree->root), "(1:0 2:0 3:0)");
  EXPECT_EQ(dot_of(tree), HEADER +
                              "  n0 [label=\"2\\n0\"];\n"
                              "  n0:sw -> n1;\n"
                              "  n1 [label=\"1\\n0\"];\n"
                              "  n0:se -> n2;\n"
                              "  n2 [label=\"3\\n0\"];\n"
                              "}\n");
  AVL_destroy(tree);
}

// A lone child gets a dotted stub on its empty side, so the drawing cannot
// be mistaken for its mirror image.
TEST(DotTextTest, LoneRightChildHasStubOnTheLeft) {
  AVL_TREE* tree = tree_of({1, 2});
  ASSERT_EQ(shape(tree->root), "(. 1:-1 2:0)");
  EXPECT_EQ(dot_of(tree), HEADER +
                              "  n0 [label=\"1\\n-1\"];\n"
                              "  e0 [shape=point];\n"
                              "  n0:sw -> e0 [style=dotted];\n"
                              "  n0:se -> n1;\n"
                              "  n1 [label=\"2\\n0\"];\n"
                              "}\n");
  AVL_destroy(tree);
}

TEST(DotTextTest, LoneLeftChildHasStubOnTheRight) {
  AVL_TREE* tree = tree_of({2, 1});
  ASSERT_EQ(shape(tree->root), "(1:0 2:1 .)");
  EXPECT_EQ(dot_of(tree), HEADER +
                              "  n0 [label=\"2\\n+1\"];\n"
                              "  n0:sw -> n1;\n"
                              "  n1 [label=\"1\\n0\"];\n"
                              "  e0 [shape=point];\n"
                              "  n0:se -> e0 [style=dotted];\n"
                              "}\n");
  AVL_destroy(tree);
}

// Equal keys are separate vertices; the right-hand 5 of the root has a lone
// right child, so its stub is named after its own pre-order number.
TEST(DotTextTest, RepeatedKeysAreSeparateVertices) {
  AVL_TREE* tree = tree_of({5, 3, 5, 5});
  ASSERT_EQ(shape(tree->root), "(3:0 5:-1 (. 5:-1 5:0))");
  EXPECT_EQ(dot_of(tree), HEADER +
                              "  n0 [label=\"5\\n-1\"];\n"
                              "  n0:sw -> n1;\n"
                              "  n1 [label=\"3\\n0\"];\n"
                              "  n0:se -> n2;\n"
                              "  n2 [label=\"5\\n-1\"];\n"
                              "  e2 [shape=point];\n"
                              "  n2:sw -> e2 [style=dotted];\n"
                              "  n2:se -> n3;\n"
                              "  n3 [label=\"5\\n0\"];\n"
                              "}\n");
  AVL_destroy(tree);
}

// ------------------------------------- the tree read back from DOT --

struct Edge {
  std::string from;
  std::string port;  // "sw" or "se"
  std::string to;
  bool dotted;
};

struct ParsedDot {
  std::map<std::string, std::string> labels;  // n<k> -> "key\nbalance" (escaped)
  std::vector<std::string> stubs;             // e<k>
  std::vector<Edge> edges;
  std::string fault;  // the first line that fits no known form
};

ParsedDot parse_dot(const std::string& text) {
  static const std::regex vertex(R"re(  (n\d+) \[label="(-?\d+\\n[+-]?\d)"\];)re");
  static const std::regex stub(R"(  (e\d+) \[shape=point\];)");
  static const std::regex edge(R"(  (n\d+):(sw|se) -> ([ne]\d+)( \[style=dotted\])?;)");
  ParsedDot parsed;
  if (text.compare(0, HEADER.size(), HEADER) != 0 || text.size() < HEADER.size() + 2 ||
      text.compare(text.size() - 2, 2, "}\n") != 0) {
    parsed.fault = "header or closing brace";
    return parsed;
  }
  std::istringstream lines(text.substr(HEADER.size(), text.size() - HEADER.size() - 2));
  std::string line;
  std::smatch m;
  while (std::getline(lines, line)) {
    if (std::regex_match(line, m, vertex)) {
      if (!parsed.labels.emplace(m[1], m[2]).second) {
        parsed.fault = "vertex declared twice: " + line;
      }
    } else if (std::regex_match(line, m, stub)) {
      parsed.stubs.push_back(m[1]);
    } else if (std::regex_match(line, m, edge)) {
      parsed.edges.push_back({m[1], m[2], m[3], m[4].matched});
    } else {
      parsed.fault = "unexpected line: " + line;
    }
    if (!parsed.fault.empty()) {
      break;
    }
  }
  return parsed;
}

// Rebuilds the tree from the vertices and edges (root n0) into `storage` and
// returns its shape() text, or a description of what does not fit a tree.
std::string shape_from_dot(const ParsedDot& dot, std::vector<nod>& storage) {
  if (!dot.fault.empty()) {
    return dot.fault;
  }
  std::map<std::string, size_t> index;
  storage.assign(dot.labels.size(), nod{0, nullptr, nullptr, 0});
  for (const auto& [name, label] : dot.labels) {
    const size_t i = index.size();
    index[name] = i;
    const size_t split = label.find("\\n");
    storage[i].data = static_cast<int32_t>(std::stol(label.substr(0, split)));
    storage[i].balance = std::stoi(label.substr(split + 2));
  }
  std::map<std::string, int> parents;
  for (const Edge& e : dot.edges) {
    if (index.count(e.from) == 0) {
      return "edge from an undeclared vertex " + e.from;
    }
    if (e.to[0] == 'e') {
      continue;  // stubs are checked separately
    }
    if (e.dotted || index.count(e.to) == 0) {
      return "bad edge to " + e.to;
    }
    nod*& link = e.port == "sw" ? storage[index[e.from]].left : storage[index[e.from]].right;
    if (link != nullptr) {
      return "two edges on one side of " + e.from;
    }
    link = &storage[index[e.to]];
    parents[e.to] += 1;
  }
  for (const auto& [name, i] : index) {
    if (parents[name] != (name == "n0" ? 0 : 1)) {
      return "vertex " + name + " has " + std::to_string(parents[name]) + " parents";
    }
  }
  return storage.empty() ? std::string(".") : shape(&storage[index["n0"]]);
}

// Stubs hang exactly on the empty side of one-child nodes, dotted; nowhere
// else. Works on the rebuilt tree, so it assumes shape_from_dot succeeded.
std::string check_stubs(const ParsedDot& dot, const std::vector<nod>& storage) {
  std::map<std::string, size_t> index;
  for (const auto& [name, label] : dot.labels) {
    const size_t i = index.size();
    index[name] = i;
  }
  std::map<std::string, std::string> stub_side;  // parent -> port
  for (const Edge& e : dot.edges) {
    if (e.to[0] == 'e') {
      if (!e.dotted || e.to != "e" + e.from.substr(1) || stub_side.count(e.from) != 0) {
        return "bad stub edge " + e.from + " -> " + e.to;
      }
      stub_side[e.from] = e.port;
    }
  }
  if (stub_side.size() != dot.stubs.size()) {
    return "stub vertices and stub edges do not pair up";
  }
  for (const auto& [name, i] : index) {
    const nod& node = storage[i];
    const bool lone = (node.left == nullptr) != (node.right == nullptr);
    const auto found = stub_side.find(name);
    if (!lone) {
      if (found != stub_side.end()) {
        return "stub on " + name + ", which does not have exactly one child";
      }
      continue;
    }
    const std::string empty_side = node.left == nullptr ? "sw" : "se";
    if (found == stub_side.end() || found->second != empty_side) {
      return "one-child vertex " + name + " lacks a stub on its empty side";
    }
  }
  return "";
}

TEST(DotStructureTest, LargeTreesReadBackIdentically) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::uniform_int_distribution<int32_t> draw(-50, 50 + round * 40);
    std::vector<int32_t> keys;
    for (int i = 0; i < 10 + round * 25; ++i) {
      keys.push_back(draw(random));
    }
    AVL_TREE* tree = tree_of(keys);
    for (size_t i = 0; i < keys.size(); i += 4) {
      AVL_delete(tree, keys[i]);
    }
    ASSERT_EQ(check_avl(tree), "");
    const ParsedDot parsed = parse_dot(dot_of(tree));
    std::vector<nod> storage;
    EXPECT_EQ(shape_from_dot(parsed, storage), shape(tree->root)) << "round " << round;
    EXPECT_EQ(parsed.labels.size(), static_cast<size_t>(tree->size));
    EXPECT_EQ(check_stubs(parsed, storage), "") << "round " << round;
    AVL_destroy(tree);
  }
}

// ---------------------------------------------------- failure --

TEST(DotFailureTest, NullArgumentsAreRefused) {
  AVL_TREE* tree = tree_of({1});
  EXPECT_EQ(AVL_write_dot(nullptr, stdout), 0);
  EXPECT_EQ(AVL_write_dot(tree, nullptr), 0);
  EXPECT_EQ(AVL_write_dot(nullptr, nullptr), 0);
  AVL_destroy(tree);
}

// /dev/full accepts the open and fails every write with ENOSPC. A small tree
// fits the stream's buffer, so only the closing flush fails; a large one
// fails in the middle of the vertices; an unbuffered stream fails on the
// very first line.
TEST(DotFailureTest, FullDeviceIsReported) {
  FILE* probe = std::fopen("/dev/full", "w");
  if (probe == nullptr) {
    GTEST_SKIP() << "no /dev/full here";
  }
  std::fclose(probe);
  std::vector<int32_t> many;
  for (int32_t k = 0; k < 2000; ++k) {
    many.push_back(k);
  }
  AVL_TREE* small = tree_of({1, 2, 3});
  AVL_TREE* large = tree_of(many);
  for (const AVL_TREE* tree : {small, large}) {
    for (bool buffered : {true, false}) {
      FILE* full = std::fopen("/dev/full", "w");
      ASSERT_NE(full, nullptr);
      if (!buffered) {
        std::setvbuf(full, nullptr, _IONBF, 0);
      }
      EXPECT_EQ(AVL_write_dot(tree, full), 0) << tree->size << " keys, buffered " << buffered;
      std::fclose(full);
    }
  }
  AVL_destroy(small);
  AVL_destroy(large);
}

TEST(DotFailureTest, ReadOnlyStreamIsReported) {
  const std::string path = temp_path("readonly.dot");
  write_file(path, "");
  FILE* in = std::fopen(path.c_str(), "r");
  ASSERT_NE(in, nullptr);
  AVL_TREE* tree = tree_of({1, 2, 3});
  EXPECT_EQ(AVL_write_dot(tree, in), 0);
  std::fclose(in);
  EXPECT_EQ(read_file(path), "");
  std::remove(path.c_str());
  AVL_destroy(tree);
}

TEST(DotFailureTest, SucceedsOnAnOrdinaryFile) {
  const std::string path = temp_path("plain.dot");
  FILE* out = std::fopen(path.c_str(), "w");
  ASSERT_NE(out, nullptr);
  AVL_TREE* tree = tree_of({1, 2, 3});
  EXPECT_EQ(AVL_write_dot(tree, out), 1);
  std::fclose(out);
  EXPECT_EQ(read_file(path), dot_of(tree));
  std::remove(path.c_str());
  AVL_destroy(tree);
}

// ---------------------------------------------------- the tool --

TEST(AvlDotToolTest, InsertsThenDeletes) {
  // 1, 2, 3 rotate into 2 [1, 3]; deleting 1 leaves 2 leaning right.
  const ProcessResult r = run_command(std::string(AVL_DOT_TOOL_PATH) + " 1 2 3 -d 1");
  EXPECT_EQ(r.out, HEADER +
                       "  n0 [label=\"2\\n-1\"];\n"
                       "  e0 [shape=point];\n"
                       "  n0:sw -> e0 [style=dotted];\n"
                       "  n0:se -> n1;\n"
                       "  n1 [label=\"3\\n0\"];\n"
                       "}\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

// The README's example: deleting 9 leaves 5 two levels heavier on the left
// with 2 leaning right, so a double rotation lifts 4 to the root.
TEST(AvlDotToolTest, MatchesTheSameTreeBuiltInProcess) {
  AVL_TREE* tree = tree_of({5, 2, 8, 1, 4, 9, 3});
  ASSERT_EQ(shape(tree->root), "((1:0 2:-1 (3:0 4:1 .)) 5:1 (. 8:-1 9:0))");
  const ProcessResult before = run_command(std::string(AVL_DOT_TOOL_PATH) + " 5 2 8 1 4 9 3");
  EXPECT_EQ(before.out, dot_of(tree));
  EXPECT_EQ(before.status, 0);

  ASSERT_EQ(AVL_delete(tree, 9), 1);
  ASSERT_EQ(shape(tree->root), "((1:0 2:0 3:0) 4:0 (. 5:-1 8:0))");
  const ProcessResult after = run_command(std::string(AVL_DOT_TOOL_PATH) + " 5 2 8 1 4 9 3 -d 9");
  EXPECT_EQ(after.out, dot_of(tree));
  EXPECT_EQ(after.err, "");
  EXPECT_EQ(after.status, 0);
  AVL_destroy(tree);
}

TEST(AvlDotToolTest, NegativeNumbersAreKeysAndRepeatsAreKept) {
  AVL_TREE* tree = tree_of({-5, -7, -5, 2147483647, -2147483647 - 1});
  AVL_delete(tree, -5);
  const ProcessResult r =
      run_command(std::string(AVL_DOT_TOOL_PATH) + " -5 -7 -5 2147483647 -2147483648 -d -5");
  EXPECT_EQ(r.out, dot_of(tree));
  EXPECT_EQ(r.status, 0);
  AVL_destroy(tree);
}

TEST(AvlDotToolTest, NoArgumentsGiveTheEmptyTree) {
  const ProcessResult r = run_command(AVL_DOT_TOOL_PATH);
  EXPECT_EQ(r.out, HEADER + "}\n");
  EXPECT_EQ(r.status, 0);
}

struct BadArguments {
  const char* name;
  const char* arguments;  // as the shell reads them
  int status;             // 2 for a malformed command line, 1 for an absent key
  const char* message;    // the first line on standard error
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const BadArguments& c, std::ostream* os) {
  *os << c.arguments;
}

class AvlDotBadArgumentsTest : public ::testing::TestWithParam<BadArguments> {};

// Nothing reaches standard output: half a tree would be a wrong picture. A
// malformed command line is followed by the usage line; an absent key is not.
TEST_P(AvlDotBadArgumentsTest, FailsWithAMessage) {
  const BadArguments& c = GetParam();
  const ProcessResult r = run_command(std::string(AVL_DOT_TOOL_PATH) + " " + c.arguments);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            std::string("avl_dot: ") + c.message + "\n" +
                (c.status == 2 ? "usage: avl_dot [--svg | --html] [KEY | -d KEY | -f FILE | -]...\n"
                               : ""));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, AvlDotBadArgumentsTest,
    ::testing::Values(
        BadArguments{"Word", "1 x 3", 2, "not a 32-bit key: x"},
        BadArguments{"TrailingJunk", "12x", 2, "not a 32-bit key: 12x"},
        BadArguments{"NegativeTrailingJunk", "-12x", 2, "not a 32-bit key: -12x"},
        BadArguments{"Hexadecimal", "0x10", 2, "not a 32-bit key: 0x10"},
        BadArguments{"LeadingSpace", "' 5'", 2, "not a 32-bit key: \" 5\""},
        BadArguments{"SpaceAfterSign", "'- 5'", 2, "unknown option: \"- 5\""},
        BadArguments{"Empty", "''", 2, "not a 32-bit key: \"\""},
        BadArguments{"AboveInt32", "2147483648", 2, "out of range for a 32-bit key: 2147483648"},
        BadArguments{"BelowInt32", "-2147483649", 2, "out of range for a 32-bit key: -2147483649"},
        BadArguments{"FarAboveInt32", "99999999999", 2,
                     "out of range for a 32-bit key: 99999999999"},
        BadArguments{"BeyondInt64", "-99999999999999999999", 2,
                     "out of range for a 32-bit key: -99999999999999999999"},
        BadArguments{"UnknownOption", "1 -x", 2, "unknown option: -x"},
        BadArguments{"DoubleDash", "--", 2, "unknown option: --"},
        BadArguments{"FileWithoutName", "1 -f", 2, "-f needs a file"},
        BadArguments{"DeleteThenFile", "1 -d -f x", 2, "not a 32-bit key: -f"},
        BadArguments{"MissingFile", "1 -f /nonexistent/keys", 1,
                     "cannot read /nonexistent/keys: No such file or directory"},
        BadArguments{"DeleteWithoutKey", "1 2 -d", 2, "-d needs a key"},
        BadArguments{"DeleteWord", "1 -d x", 2, "not a 32-bit key: x"},
        BadArguments{"DeleteEmpty", "1 -d ''", 2, "not a 32-bit key: \"\""},
        BadArguments{"DeleteOutOfRange", "1 -d 4294967296", 2,
                     "out of range for a 32-bit key: 4294967296"},
        // The whole line is read first: a bad argument after an absent key
        // is still a usage error.
        BadArguments{"AbsentThenWord", "1 -d 3 x", 2, "not a 32-bit key: x"},
        BadArguments{"BothFormats", "--svg 1 --html", 2, "--svg and --html exclude each other"},
        BadArguments{"DeleteAbsent", "1 2 -d 3", 1,
                     "cannot delete a key that is not in the tree: 3"},
        BadArguments{"SvgDeleteAbsent", "--svg 1 2 -d 3", 1,
                     "cannot delete a key that is not in the tree: 3"},
        BadArguments{"HtmlWord", "--html 1 -d x", 2, "not a 32-bit key: x"},
        BadArguments{"DeleteTwice", "1 -d 1 -d 1", 1,
                     "cannot delete a key that is not in the tree: 1"}),
    [](const ::testing::TestParamInfo<BadArguments>& info) {
      return std::string(info.param.name);
    });

// Help goes to standard output and succeeds, wherever it stands; a bad
// argument before it is still reported first.
TEST(AvlDotToolTest, HelpPrintsTheUsage) {
  for (const char* arguments : {" -h", " --help", " 1 2 --help -d 7"}) {
    const ProcessResult r = run_command(std::string(AVL_DOT_TOOL_PATH) + arguments);
    EXPECT_EQ(r.status, 0) << arguments;
    EXPECT_EQ(r.out.rfind("usage: avl_dot [--svg | --html] [KEY | -d KEY | -f FILE | -]...\n", 0),
              0u)
        << arguments;
    EXPECT_NE(r.out.find("-d KEY"), std::string::npos) << arguments;
    EXPECT_EQ(r.err, "") << arguments;
  }
  EXPECT_EQ(run_command(std::string(AVL_DOT_TOOL_PATH) + " x -h").status, 2);

  const ProcessResult version = run_command(std::string(AVL_DOT_TOOL_PATH) + " --version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "avl_dot " + std::to_string(AVL_VERSION_MAJOR) + "." +
                             std::to_string(AVL_VERSION_MINOR) + "." +
                             std::to_string(AVL_VERSION_PATCH) + "\n");
}

struct Format {
  const char* option;
  const char* what;  // as the failure message names it
};
const Format FORMATS[] = {{"", "DOT text"}, {" --svg", "SVG picture"}, {" --html", "HTML page"}};

TEST(AvlDotToolTest, FailedWriteIsReported) {
  if (access("/dev/full", W_OK) != 0) {
    GTEST_SKIP() << "no /dev/full here";
  }
  for (const Format& format : FORMATS) {
    const ProcessResult r =
        run_command(std::string(AVL_DOT_TOOL_PATH) + format.option + " 5 2 8 >/dev/full");
    EXPECT_EQ(r.status, 1) << format.what;
    EXPECT_EQ(r.err, std::string("avl_dot: cannot write the ") + format.what +
                         " to standard output: No space left on device\n");
  }
  // The help and the version are output too: a full or closed standard
  // output is an error there as well.
  const ProcessResult help = run_command(std::string(AVL_DOT_TOOL_PATH) + " -h >/dev/full");
  EXPECT_EQ(help.status, 1);
  EXPECT_EQ(help.err,
            "avl_dot: cannot write the help to standard output: No space left on device\n");
  for (const char* arguments : {" --version >&-", " 1 2 3 >&-"}) {
    const ProcessResult closed = run_command(std::string(AVL_DOT_TOOL_PATH) + arguments);
    EXPECT_EQ(closed.status, 1) << arguments;
    EXPECT_NE(closed.err.find("Bad file descriptor"), std::string::npos) << closed.err;
  }
}

// A write that stops part way at the file-size limit (`ulimit -f`, which
// would raise SIGXFSZ) fails like a full disk: a message and status 1, and
// the file it was writing, appending to or writing over in place (`1<>`) is
// left as it was before, whether the picture reached past the file's end
// or stopped within it.
TEST(AvlDotToolTest, WriteStoppedPartWayIsTakenBack) {
  const std::string tool = AVL_DOT_TOOL_PATH;
  const std::string path = temp_path("limit.svg");
  std::string long_text;
  for (int line = 0; line < 1000; ++line) {
    long_text += "line " + std::to_string(line) + " of what the file held\n";
  }
  for (const std::string& old_text : {std::string("kept\n"), long_text}) {
    for (const char* redirect : {" >", " >>", " 1<>"}) {
      write_file(path, old_text);
      // 20 blocks of 512 bytes, far less than the 400 KB picture.
      const ProcessResult r =
          run_command("ulimit -f 20 && exec " + tool + " --svg $(seq 1 1000)" + redirect + path);
      EXPECT_EQ(r.status, 1) << redirect;
      EXPECT_EQ(r.err,
                "avl_dot: cannot write the SVG picture to standard "
                "output: File too large\n");
      const std::string now = read_file(path);
      EXPECT_EQ(now.size(), redirect == std::string(" >") ? 0 : old_text.size()) << redirect;
      EXPECT_TRUE(now == (redirect == std::string(" >") ? "" : old_text)) << redirect;
    }
  }
  std::remove(path.c_str());
}

// Operations from a file or from standard input run where the option stands,
// in the same words as on the command line; a fault in one names the file.
TEST(AvlDotToolTest, OperationsFromAFileOrStandardInput) {
  const std::string tool = AVL_DOT_TOOL_PATH;
  const std::string path = temp_path("keys.txt");
  write_file(path, "2 8\n\t1 4  9\n-d\n5\n");
  const ProcessResult inline_keys = run_command(tool + " 5 2 8 1 4 9 -d 5 3");
  ASSERT_EQ(inline_keys.status, 0);
  EXPECT_EQ(run_command(tool + " 5 -f " + path + " 3").out, inline_keys.out);
  EXPECT_EQ(run_command("cat " + path + " | " + tool + " 5 - 3").out, inline_keys.out);

  // Far more keys than a command line holds make one picture of all of them,
  // at about the 327 bytes a key that --help and the README give.
  const ProcessResult many =
      run_command("seq 1 200000 | " + tool +
                  " --svg - | awk '/<g class=\"node /{n++} {b+=length($0)+1} END{print n, b}'");
  long nodes = 0;
  long bytes = 0;
  std::istringstream(many.out) >> nodes >> bytes;
  EXPECT_EQ(nodes, 200000) << many.out;
  EXPECT_GT(bytes, 200000L * 295) << many.out;
  EXPECT_LT(bytes, 200000L * 360) << many.out;

  write_file(path, "1 2 x 3");
  const ProcessResult bad = run_command(tool + " -f " + path);
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.err.rfind("avl_dot: in " + path + ": not a 32-bit key: x\n", 0), 0u) << bad.err;
  write_file(path, "1 -d");
  EXPECT_EQ(
      run_command(tool + " -f " + path).err.rfind("avl_dot: in " + path + ": -d needs a key\n", 0),
      0u);
  write_file(path, "1 2");
  const ProcessResult absent = run_command(tool + " -f " + path + " -d 7");
  EXPECT_EQ(absent.status, 1);
  EXPECT_EQ(absent.err, "avl_dot: cannot delete a key that is not in the tree: 7\n");
  std::remove(path.c_str());
}

// A NUL byte is part of the word it stands in, never its end: "3\0junk" is
// not the key 3, and "-d\0" is not -d. The message shows the NUL.
TEST(AvlDotToolTest, NulInsideAWordIsRefused) {
  const std::string tool = AVL_DOT_TOOL_PATH;
  const std::string path = temp_path("nul.txt");
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {std::string("5 3\0junk 8", 10), "not a 32-bit key: \"3\\0junk\""},
      {std::string("5 -d\0 5", 8), "unknown option: \"-d\\0\""},
      {std::string("5 \0 3", 5), "not a 32-bit key: \"\\0\""},
      {std::string("5\0", 2), "not a 32-bit key: \"5\\0\""},
  };
  for (const auto& c : cases) {
    write_file(path, c.text);
    const ProcessResult from_file = run_command(tool + " -f " + path);
    EXPECT_EQ(from_file.status, 2) << c.message;
    EXPECT_EQ(from_file.out, "") << c.message;
    EXPECT_EQ(from_file.err.substr(0, from_file.err.find('\n')),
              "avl_dot: in " + path + ": " + c.message);
    const ProcessResult from_input = run_command(tool + " - <" + path);
    EXPECT_EQ(from_input.status, 2) << c.message;
    EXPECT_EQ(from_input.err.substr(0, from_input.err.find('\n')),
              "avl_dot: in standard input: " + c.message);
  }
  std::remove(path.c_str());
}

// A message echoes a word as it was typed only when that is plain text; any
// other word is quoted, its control bytes and escape sequences spelled out,
// and a long one is cut, wherever it came from.
TEST(AvlDotToolTest, EchoedWordsAreQuotedAndCut) {
  const std::string tool = AVL_DOT_TOOL_PATH;
  const ProcessResult escape = run_command(tool + " 1 \"$(printf '2\\033[2J\\033]0;x\\007')\"");
  EXPECT_EQ(escape.status, 2);
  EXPECT_EQ(escape.err.substr(0, escape.err.find('\n')),
            "avl_dot: not a 32-bit key: \"2\\x1b[2J\\x1b]0;x\\x07\"");

  // From a file: an 8-bit CSI sequence (erase line), a quote and a
  // backslash, a full-width digit.
  const std::string path = temp_path("escape.txt");
  const struct {
    const char* text;
    const char* shown;
  } words[] = {
      {"1\n\x9bK\r\n", "\"\\x9bK\""},
      {"1 a\"b\\c", "\"a\\\"b\\\\c\""},
      {"1 \xef\xbc\x95", "\"\\xef\\xbc\\x95\""},
  };
  std::string file_errors;
  for (const auto& word : words) {
    write_file(path, word.text);
    const ProcessResult r = run_command(tool + " -f " + path);
    EXPECT_EQ(r.status, 2) << word.shown;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
              "avl_dot: in " + path + ": not a 32-bit key: " + word.shown);
    file_errors += r.err;
  }

  // The longest word a command line takes (128 KiB) gives a short line that
  // still shows how the word begins.
  const ProcessResult long_word =
      run_command(tool + " 1 \"$(head -c 131000 /dev/zero | tr '\\0' 7)x\"");
  EXPECT_EQ(long_word.status, 2);
  const std::string line = long_word.err.substr(0, long_word.err.find('\n'));
  EXPECT_LT(line.size(), 120u) << line.substr(0, 200);
  EXPECT_NE(line.find("\"7777777777"), std::string::npos) << line.substr(0, 200);

  // Whatever is echoed, no control byte reaches standard error but the
  // newlines that end its lines.
  for (const std::string& err : {escape.err, file_errors, long_word.err}) {
    for (const char byte : err) {
      const auto b = static_cast<unsigned char>(byte);
      EXPECT_TRUE(b == '\n' || (b >= 0x20 && b < 0x7f)) << "byte " << int{b} << " in " << err;
    }
  }
  std::remove(path.c_str());
}

// Operations from a file or standard input are bounded: a word has at most
// 64 bytes (a key needs 11, leading zeros aside) and a run at most ten
// million operations, so an endless source ends the run at once with one
// line. The memory limit only keeps an unbounded reader from running for
// minutes before it fails.
TEST(AvlDotToolTest, InputIsBounded) {
  const std::string tool = AVL_DOT_TOOL_PATH;
#if defined(AVL_SANITIZE)
  const std::string limit;  // the sanitizer runtimes need more address space
#else
  const std::string limit = "ulimit -v 1000000 && ";
#endif
  std::string nuls = "\"";
  for (int i = 0; i < 20; ++i) {
    nuls += "\\0";
  }
  const ProcessResult zero = run_command(limit + "exec " + tool + " -f /dev/zero");
  EXPECT_EQ(zero.status, 2);
  EXPECT_EQ(zero.out, "");
  EXPECT_EQ(zero.err, "avl_dot: in /dev/zero: a word longer than 64 bytes: " + nuls + "\"...\n");

  const ProcessResult endless = run_command("yes 1 | { " + limit + "exec " + tool + " -; }");
  EXPECT_EQ(endless.status, 2);
  EXPECT_EQ(endless.out, "");
  EXPECT_EQ(endless.err,
            "avl_dot: in standard input: more than 10000000 operations, the most one run takes\n");

  // 64 bytes are a word; 65 are not, on the command line either.
  const std::string zeros(62, '0');
  const ProcessResult longest = run_command(tool + " 1 " + zeros + "12 -d +" + zeros + "1");
  EXPECT_EQ(longest.status, 0) << longest.err;
  EXPECT_NE(longest.out.find("label=\"12\\n0\""), std::string::npos);
  const ProcessResult over = run_command(tool + " 0" + zeros + "12");
  EXPECT_EQ(over.status, 2);
  EXPECT_EQ(over.err, "avl_dot: a word longer than 64 bytes: \"" + zeros.substr(0, 40) + "\"...\n");
}

// A reader that stops early ends avl_dot quietly: by SIGPIPE (the shell
// reports 128 + 13) or, where SIGPIPE is ignored, with status 1. The output
// is larger than a pipe holds, so a write always meets the closed pipe.
TEST(AvlDotToolTest, ClosedPipeEndsQuietly) {
  for (const Format& format : FORMATS) {
    // A page of 140 ascending keys is just within its budget.
    const std::string keys =
        format.option == std::string(" --html") ? " $(seq 1 140)" : " $(seq 1 5000)";
    const ProcessResult r = run_command("{ { " + std::string(AVL_DOT_TOOL_PATH) + format.option +
                                        keys + "; echo \"status $?\" >&2; } | head -c1; }");
    EXPECT_EQ(r.out.size(), 1u) << format.what;
    EXPECT_TRUE(r.err == "status 141\n" || r.err == "status 1\n") << format.what << ": " << r.err;
  }
}

// Every figure of a page draws the whole tree: a page that would outgrow its
// budget in bytes is refused before anything is written, with the numbers
// and what to use instead, while the same keys still make a picture. Figures
// of an empty tree cost bytes too.
TEST(AvlDotToolTest, PageOverItsBudgetIsRefused) {
  const std::string tool = AVL_DOT_TOOL_PATH;
  const long long budget = AVL_HTML_BYTE_BUDGET;
  auto ascending = [&](int keys, const std::string& more = "") {
    return run_command(tool + " --html $(seq 1 " + std::to_string(keys) + ")" + more);
  };
  // The most ascending keys whose page fits, found by bisection.
  int fits = 1;
  int refused = 1000;
  ASSERT_EQ(ascending(fits).status, 0);
  ASSERT_EQ(ascending(refused).status, 2);
  while (refused - fits > 1) {
    const int middle = (fits + refused) / 2;
    (ascending(middle).status == 0 ? fits : refused) = middle;
  }
  const ProcessResult over = ascending(refused);
  EXPECT_EQ(over.out, "");
  EXPECT_EQ(over.err, "avl_dot: --html: the page of these " + std::to_string(refused) +
                          " steps would take more than its budget of " + std::to_string(budget) +
                          " bytes; use --svg for the final tree, or the live page "
                          "(docs/live.html), which draws only the current one\n");
  const ProcessResult within = ascending(fits);
  EXPECT_LE(static_cast<long long>(within.out.size()), budget);
  EXPECT_GT(static_cast<long long>(within.out.size()), budget * 9 / 10);
  // Deleting an absent key draws the tree again, unchanged: it counts too.
  EXPECT_EQ(ascending(fits, " -d 0 -d 0 -d 0").status, 2);
  EXPECT_EQ(run_command(tool + " --svg $(seq 1 1000) >/dev/null").status, 0);

  const std::string path = temp_path("empty_steps.txt");
  std::string deletions;
  for (int i = 0; i < 10000; ++i) {
    deletions += "-d 7\n";
  }
  write_file(path, deletions);
  const ProcessResult empty = run_command(tool + " --html -f " + path);
  EXPECT_EQ(empty.status, 2);
  EXPECT_EQ(empty.out, "");
  write_file(path, deletions.substr(0, deletions.size() / 4));
  const ProcessResult fewer = run_command(tool + " --html -f " + path);
  EXPECT_EQ(fewer.status, 0);
  EXPECT_GT(fewer.out.size(), 2500u * 200u);
  EXPECT_LE(static_cast<long long>(fewer.out.size()), budget);
  std::remove(path.c_str());
}

// Whatever allocation fails, in the module or in the tool's own containers,
// and on either heap: one line, status 1, and nothing on standard output,
// where half a picture would look like a whole one.
TEST(AvlDotToolTest, OutOfMemoryFailsWithoutOutput) {
#if defined(AVL_SANITIZE)
  GTEST_SKIP() << "sanitizer runtimes reserve more address space than the limit allows";
#endif
  for (const char* arguments : {" 1 2 3", " --svg $(seq 1 100000)", " --html $(seq 1 140)"}) {
    const ProcessResult r =
        run_command("ulimit -v 30000 && exec " + std::string(AVL_DOT_TOOL_PATH) + arguments);
    if (r.status == 0) {
      continue;  // small enough for this heap within the limit
    }
    EXPECT_EQ(r.status, 1) << arguments;
    EXPECT_EQ(r.out, "") << arguments;
    EXPECT_EQ(r.err, "avl_dot: out of memory\n") << arguments;
  }
  const ProcessResult big = run_command("ulimit -v 30000 && exec " +
                                        std::string(AVL_DOT_TOOL_PATH) + " --svg $(seq 1 100000)");
  EXPECT_EQ(big.status, 1) << "100,000 nodes fit in 30 MB?";
}

// -------------------------------------------------- rendering --

#if defined(AVL_GRAPHVIZ_DOT)
const char* const GRAPHVIZ_DOT = AVL_GRAPHVIZ_DOT;
#else
const char* const GRAPHVIZ_DOT = nullptr;
#endif

// Renders `dot_text` with Graphviz in the given output format.
ProcessResult render(const std::string& dot_text, const std::string& format) {
  const std::string path = temp_path("render.dot");
  write_file(path, dot_text);
  ProcessResult r =
      run_command(std::string("'") + GRAPHVIZ_DOT + "' -T" + format + " '" + path + "'");
  std::remove(path.c_str());
  return r;
}

AVL_TREE* ascending_tree(int32_t count) {
  std::vector<int32_t> keys;
  for (int32_t k = 1; k <= count; ++k) {
    keys.push_back(k);
  }
  return tree_of(keys);
}

TEST(DotRenderTest, RendersToSvg) {
  if (GRAPHVIZ_DOT == nullptr) {
    GTEST_SKIP() << "Graphviz dot was not found at configure time";
  }
  AVL_TREE* small = tree_of({5, 2, 8, 1, 4, 9, 3});
  AVL_TREE* large = ascending_tree(100);
  for (const AVL_TREE* tree : {small, large}) {
    const ProcessResult r = render(dot_of(tree), "svg");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("<svg"), std::string::npos);
    EXPECT_NE(r.out.find("</svg>"), std::string::npos);
    // Every vertex is drawn: each one is a <g class="node"> group.
    size_t groups = 0;
    for (size_t at = r.out.find("class=\"node\""); at != std::string::npos;
         at = r.out.find("class=\"node\"", at + 1)) {
      ++groups;
    }
    const size_t stubs = parse_dot(dot_of(tree)).stubs.size();
    EXPECT_EQ(groups, static_cast<size_t>(tree->size) + stubs);
  }
  AVL_destroy(small);
  AVL_destroy(large);
}

// Lays the DOT text out with Graphviz and returns each vertex's centre
// (`-Tplain` lists "node <name> <x> <y> ..."); empty when dot fails.
std::map<std::string, std::pair<double, double>> layout(const std::string& dot_text) {
  std::map<std::string, std::pair<double, double>> centre;
  const ProcessResult r = render(dot_text, "plain");
  EXPECT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string kind, name;
    double x = 0, y = 0;
    if (fields >> kind >> name >> x >> y && kind == "node") {
      centre[name] = {x, y};
    }
  }
  return centre;
}

// In the drawing every child sits below its parent, and of two children
// (a stub counts as one) the left one is drawn left of the right one, at
// every size: a lone child's stub always shows which side it is on.
TEST(DotRenderTest, ChildrenKeepTheirOrder) {
  if (GRAPHVIZ_DOT == nullptr) {
    GTEST_SKIP() << "Graphviz dot was not found at configure time";
  }
  std::mt19937 random(11);
  std::uniform_int_distribution<int32_t> draw(0, 100000);
  std::vector<int32_t> scattered;
  for (int i = 0; i < 300; ++i) {
    scattered.push_back(draw(random));
  }
  std::vector<AVL_TREE*> trees = {tree_of({5, 2, 8, 1, 4, 9, 3}), ascending_tree(100),
                                  tree_of(scattered)};
  for (const AVL_TREE* tree : trees) {
    const std::string text = dot_of(tree);
    const ParsedDot parsed = parse_dot(text);
    ASSERT_EQ(parsed.fault, "");
    auto centre = layout(text);
    ASSERT_EQ(centre.size(), parsed.labels.size() + parsed.stubs.size());
    std::map<std::string, std::map<std::string, std::string>> children;  // parent -> port -> child
    for (const Edge& e : parsed.edges) {
      ASSERT_EQ(centre.count(e.from) + centre.count(e.to), 2u) << e.from << " -> " << e.to;
      EXPECT_LT(centre[e.to].second, centre[e.from].second) << e.to << " is not below " << e.from;
      children[e.from][e.port] = e.to;
    }
    for (auto& [parent, sides] : children) {
      if (sides.size() == 2) {
        EXPECT_LT(centre[sides["sw"]].first, centre[sides["se"]].first)
            << "the children of " << parent << " are drawn in the wrong order";
      }
    }
  }
  for (AVL_TREE* tree : trees) {
    AVL_destroy(tree);
  }
}

// In small drawings each child, and each stub, is also on its own side of
// its parent: left children left of it, right children right of it.
TEST(DotRenderTest, SmallTreesPutEachChildOnItsSide) {
  if (GRAPHVIZ_DOT == nullptr) {
    GTEST_SKIP() << "Graphviz dot was not found at configure time";
  }
  std::vector<AVL_TREE*> trees = {tree_of({1, 2}), tree_of({2, 1}), tree_of({5, 3, 5, 5}),
                                  tree_of({5, 2, 8, 1, 4, 9, 3}), tree_of({5, 2, 8, 1, 4, 9, 3})};
  ASSERT_EQ(AVL_delete(trees.back(), 9), 1);
  for (const AVL_TREE* tree : trees) {
    const std::string text = dot_of(tree);
    const ParsedDot parsed = parse_dot(text);
    ASSERT_EQ(parsed.fault, "");
    auto centre = layout(text);
    for (const Edge& e : parsed.edges) {
      ASSERT_EQ(centre.count(e.from) + centre.count(e.to), 2u) << e.from << " -> " << e.to;
      const double parent_x = centre[e.from].first;
      const double child_x = centre[e.to].first;
      if (e.port == "sw") {
        EXPECT_LT(child_x, parent_x) << "left child " << e.to << " is not left of " << e.from;
      } else {
        EXPECT_GT(child_x, parent_x) << "right child " << e.to << " is not right of " << e.from;
      }
    }
  }
  for (AVL_TREE* tree : trees) {
    AVL_destroy(tree);
  }
}

}  // namespace
