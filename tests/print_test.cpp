// The tree report and the three traversals, byte for byte: standard output is
// redirected into a file around each call, so the test sees exactly what a
// terminal or a pipe would get, and standard error is watched too.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "avl_check.h"

namespace {

struct Output {
  std::string out;
  std::string err;
};

std::string contents(FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    text.append(buffer, got);
  }
  return text;
}

// Runs `call` with file descriptors 1 and 2 pointing at temporary files and
// returns what reached them. Both streams are flushed on the way in (so
// nothing of GoogleTest's own output lands in the files) and on the way out
// (so what the call left in the stdio buffers is counted).
Output capture(const std::function<void()>& call) {
  Output result;
  FILE* out_file = std::tmpfile();
  FILE* err_file = std::tmpfile();
  if (out_file == nullptr || err_file == nullptr) {
    ADD_FAILURE() << "cannot create temporary files";
    return result;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  const int saved_out = dup(STDOUT_FILENO);
  const int saved_err = dup(STDERR_FILENO);
  dup2(fileno(out_file), STDOUT_FILENO);
  dup2(fileno(err_file), STDERR_FILENO);
  call();
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(saved_out, STDOUT_FILENO);
  dup2(saved_err, STDERR_FILENO);
  close(saved_out);
  close(saved_err);
  result.out = contents(out_file);
  result.err = contents(err_file);
  std::fclose(out_file);
  std::fclose(err_file);
  return result;
}

Output print_report(const AVL_TREE* tree, int32_t type) {
  return capture([&] { AVL_print(tree, type); });
}

std::string header(int32_t size) {
  return "AVL_TREE\nsize : " + std::to_string(size) + "\n";
}

// "k1 k2 ... kn " as the traversals print keys.
std::string keys_text(const std::vector<int32_t>& keys) {
  std::string text;
  for (int32_t key : keys) {
    text += std::to_string(key) + " ";
  }
  return text;
}

// ------------------------------------------------- the tree of 1, 2, 3 --

struct OrderCase {
  const char* name;
  int32_t type;
  const char* expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const OrderCase& c, std::ostream* os) {
  *os << c.name;
}

class SmallReportTest : public ::testing::TestWithParam<OrderCase> {};

// Inserting 1, 2, 3 rotates once and leaves 2 at the root with 1 and 3
// below it, so the three orders all differ.
TEST_P(SmallReportTest, PrintsKeysInSelectedOrder) {
  AVL_TREE* tree = tree_of({1, 2, 3});
  ASSERT_EQ(shape(tree->root), "(1:0 2:0 3:0)");
  const Output printed = print_report(tree, GetParam().type);
  EXPECT_EQ(printed.out, GetParam().expected);
  EXPECT_EQ(printed.err, "");
  AVL_destroy(tree);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, SmallReportTest,
    ::testing::Values(OrderCase{"Preorder", 0, "AVL_TREE\nsize : 3\ndata : 2 1 3 \n"},
                      OrderCase{"Inorder", 1, "AVL_TREE\nsize : 3\ndata : 1 2 3 \n"},
                      OrderCase{"Postorder", 2, "AVL_TREE\nsize : 3\ndata : 1 3 2 \n"},
                      // Any other selector: the keys give way to one line of
                      // text, and the final newline then makes an empty line.
                      OrderCase{"Three", 3, "AVL_TREE\nsize : 3\ndata : type error\n\n"},
                      OrderCase{"Five", 5, "AVL_TREE\nsize : 3\ndata : type error\n\n"},
                      OrderCase{"MinusOne", -1, "AVL_TREE\nsize : 3\ndata : type error\n\n"},
                      OrderCase{"Int32Min", INT32_MIN, "AVL_TREE\nsize : 3\ndata : type error\n\n"},
                      OrderCase{"Int32Max", INT32_MAX,
                                "AVL_TREE\nsize : 3\ndata : type error\n\n"}),
    [](const ::testing::TestParamInfo<OrderCase>& info) { return std::string(info.param.name); });

// --------------------------------------------------------- empty tree --

TEST(EmptyReportTest, EveryOrderPrintsNoKeys) {
  AVL_TREE* tree = create_avl_tree();
  ASSERT_NE(tree, nullptr);
  for (int32_t type : {0, 1, 2}) {
    const Output printed = print_report(tree, type);
    EXPECT_EQ(printed.out, "AVL_TREE\nsize : 0\ndata : \n") << "type " << type;
    EXPECT_EQ(printed.err, "");
  }
  EXPECT_EQ(print_report(tree, 7).out, "AVL_TREE\nsize : 0\ndata : type error\n\n");
  AVL_destroy(tree);
}

TEST(EmptyReportTest, TraversalsOfNullPrintNothing) {
  EXPECT_EQ(capture([] { traverse_preorder(nullptr); }).out, "");
  EXPECT_EQ(capture([] { traverse_inorder(nullptr); }).out, "");
  EXPECT_EQ(capture([] { traverse_postorder(nullptr); }).out, "");
}

// ------------------------------------------------ keys and shapes --

TEST(ReportKeysTest, ExtremeKeysPrintInFull) {
  // 0 ends at the root between the two extremes (one double rotation).
  AVL_TREE* tree = tree_of({INT32_MAX, INT32_MIN, 0});
  ASSERT_EQ(shape(tree->root), "(-2147483648:0 0:0 2147483647:0)");
  EXPECT_EQ(print_report(tree, 0).out, header(3) + "data : 0 -2147483648 2147483647 \n");
  EXPECT_EQ(print_report(tree, 1).out, header(3) + "data : -2147483648 0 2147483647 \n");
  EXPECT_EQ(print_report(tree, 2).out, header(3) + "data : -2147483648 2147483647 0 \n");
  AVL_destroy(tree);
}

TEST(ReportKeysTest, RepeatedKeysPrintOncePerNode) {
  // 5, 3, 5, 5: the equal keys go right, and the third 5 makes the right
  // subtree a chain: 5 [3, 5 [., 5]].
  AVL_TREE* tree = tree_of({5, 3, 5, 5});
  ASSERT_EQ(shape(tree->root), "(3:0 5:-1 (. 5:-1 5:0))");
  EXPECT_EQ(print_report(tree, 0).out, header(4) + "data : 5 3 5 5 \n");
  EXPECT_EQ(print_report(tree, 1).out, header(4) + "data : 3 5 5 5 \n");
  EXPECT_EQ(print_report(tree, 2).out, header(4) + "data : 3 5 5 5 \n");
  AVL_destroy(tree);

  AVL_TREE* same = tree_of({9, 9, 9, 9, 9, 9, 9});
  EXPECT_EQ(print_report(same, 1).out, header(7) + "data : 9 9 9 9 9 9 9 \n");
  AVL_destroy(same);
}

/*
 * A lopsided hand-made tree (the traversals only follow links; they do not
 * care about balance) in which every order, and every order with the two
 * children swapped, gives a different sequence:
 *
 *          4
 *         / \
 *        2   6
 *       /     \
 *      1       9
 *             /
 *            7
 */
class HandMadeTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    n7 = {7, nullptr, nullptr, 0};
    n9 = {9, &n7, nullptr, 1};
    n6 = {6, nullptr, &n9, -2};
    n1 = {1, nullptr, nullptr, 0};
    n2 = {2, &n1, nullptr, 1};
    n4 = {4, &n2, &n6, -1};
    handle = {6, &n4};
  }
  nod n1, n2, n4, n6, n7, n9;
  AVL_TREE handle;
};

TEST_F(HandMadeTreeTest, TraversalsFollowTheirOrder) {
  EXPECT_EQ(capture([&] { traverse_preorder(&n4); }).out, "4 2 1 6 9 7 ");
  EXPECT_EQ(capture([&] { traverse_inorder(&n4); }).out, "1 2 4 6 7 9 ");
  EXPECT_EQ(capture([&] { traverse_postorder(&n4); }).out, "1 2 7 9 6 4 ");
  // A subtree on its own.
  EXPECT_EQ(capture([&] { traverse_preorder(&n6); }).out, "6 9 7 ");
  EXPECT_EQ(capture([&] { traverse_postorder(&n6); }).out, "7 9 6 ");
}

TEST_F(HandMadeTreeTest, ReportShowsStoredSizeAndOrders) {
  EXPECT_EQ(print_report(&handle, 0).out, header(6) + "data : 4 2 1 6 9 7 \n");
  EXPECT_EQ(print_report(&handle, 1).out, header(6) + "data : 1 2 4 6 7 9 \n");
  EXPECT_EQ(print_report(&handle, 2).out, header(6) + "data : 1 2 7 9 6 4 \n");
}

// Node-first orders of a subtree, computed with an explicit stack rather than
// recursion, straight from the links: the node, then its subtrees with the
// `first` side before the other.
enum class Side { kLeft, kRight };

std::vector<int32_t> node_first_order(const nod* root, Side first) {
  std::vector<int32_t> keys;
  std::vector<const nod*> stack;
  if (root != nullptr) {
    stack.push_back(root);
  }
  while (!stack.empty()) {
    const nod* node = stack.back();
    stack.pop_back();
    keys.push_back(node->data);
    // The side pushed last is popped, and so visited, first.
    const nod* later = first == Side::kLeft ? node->right : node->left;
    const nod* sooner = first == Side::kLeft ? node->left : node->right;
    for (const nod* child : {later, sooner}) {
      if (child != nullptr) {
        stack.push_back(child);
      }
    }
  }
  return keys;
}

std::vector<int32_t> preorder_of(const nod* root) {
  return node_first_order(root, Side::kLeft);
}

// Post-order is node-right-left order read backwards.
std::vector<int32_t> postorder_of(const nod* root) {
  std::vector<int32_t> keys = node_first_order(root, Side::kRight);
  std::reverse(keys.begin(), keys.end());
  return keys;
}

TEST(LargeReportTest, OrdersMatchTheLinks) {
  // Keys drawn from a small range so that many repeat; a third of them are
  // deleted again so that deletion's rotations shape the tree as well.
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int32_t> draw(-300, 300);
  std::vector<int32_t> inserted;
  for (int i = 0; i < 1500; ++i) {
    inserted.push_back(draw(random));
  }
  AVL_TREE* tree = tree_of(inserted);
  std::vector<int32_t> kept = inserted;
  for (size_t i = 0; i < inserted.size(); i += 3) {
    ASSERT_EQ(AVL_delete(tree, inserted[i]), 1);
    kept.erase(std::find(kept.begin(), kept.end(), inserted[i]));
  }
  ASSERT_EQ(check_avl(tree), "");
  std::sort(kept.begin(), kept.end());
  const int32_t size = static_cast<int32_t>(kept.size());
  ASSERT_EQ(tree->size, size);

  const std::vector<int32_t> inorder = inorder_keys(tree->root);
  EXPECT_EQ(inorder, kept);  // the in-order walk is the sorted multiset

  EXPECT_EQ(print_report(tree, 0).out,
            header(size) + "data : " + keys_text(preorder_of(tree->root)) + "\n");
  EXPECT_EQ(print_report(tree, 1).out, header(size) + "data : " + keys_text(kept) + "\n");
  EXPECT_EQ(print_report(tree, 2).out,
            header(size) + "data : " + keys_text(postorder_of(tree->root)) + "\n");
  EXPECT_EQ(print_report(tree, 1).err, "");
  AVL_destroy(tree);
}

// ------------------------------------------------------- buffering --

// The report goes through the ordinary buffered stream and leaves flushing
// to the caller. Checked in a child process that reopens standard output on
// a fresh file and gives it a large full buffer before any output (as
// setvbuf requires): after AVL_print the file must still be empty, and after
// the child's own fflush it must hold the whole report.
TEST(ReportBufferingTest, LeavesFlushingToTheCaller) {
  AVL_TREE* tree = tree_of({4, 2, 6, 1, 3, 5, 7});
  const std::string expected = header(7) + "data : 1 2 3 4 5 6 7 \n";
  const std::string path =
      ::testing::TempDir() + "avl_print_test_buffer." + std::to_string(getpid()) + ".txt";

  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    static char buffer[1 << 16];
    if (std::freopen(path.c_str(), "w", stdout) == nullptr ||
        std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer) != 0) {
      _exit(10);
    }
    struct stat info;
    AVL_print(tree, 1);
    if (fstat(fileno(stdout), &info) != 0 || info.st_size != 0) {
      _exit(11);  // the bytes reached the file before the caller flushed
    }
    if (std::fflush(stdout) != 0 || fstat(fileno(stdout), &info) != 0 ||
        info.st_size != static_cast<off_t>(expected.size())) {
      _exit(12);
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10: setup failed, 11: AVL_print flushed standard output, "
                                       "12: the flush did not write the whole report";
  FILE* file = std::fopen(path.c_str(), "r");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(contents(file), expected);
  std::fclose(file);
  std::remove(path.c_str());
  AVL_destroy(tree);
}

}  // namespace
