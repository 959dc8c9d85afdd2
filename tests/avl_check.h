// Test support: the module's invariant check as text, and a compact text form
// of a tree's shape for pinning exact results (avl_check.cpp, which needs only
// the module), plus helpers that report through GoogleTest: tree_of and
// run_command (test_helpers.cpp).
#ifndef AVL_TESTS_AVL_CHECK_H
#define AVL_TESTS_AVL_CHECK_H

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "avl/ADT_avl_tree.h"

// AVL_check's verdict as text: an empty string for a sound tree, else its
// one-line report of the first fault (ending in a newline).
std::string check_avl(const AVL_TREE* tree);

// Height of a subtree in nodes (0 when empty).
int subtree_height(const nod* node);

// The nodes in pre-order (0), in-order (1) or post-order (2), from the links.
std::vector<const nod*> nodes_in_order(const nod* node, int order);

// The keys in in-order sequence.
std::vector<int32_t> inorder_keys(const nod* node);

// The shape with balances: a leaf is "key:balance", an inner node
// "(left key:balance right)" and an empty child ".". Inserting 1, 2, 3 gives
// "(1:0 2:0 3:0)".
std::string shape(const nod* node);

// ------------------------------------------------------ against a model --
//
// A tree against a std::multiset of the keys it should hold, for the
// randomized model test, the fuzzer and the thread test. Each returns "" when
// the two agree, else one line saying what differs.
using KeyModel = std::multiset<int32_t>;

// The invariants (check_avl) and the in-order keys.
std::string tree_mismatch(const AVL_TREE* tree, const KeyModel& model);

// AVL_lower_bound, AVL_upper_bound and AVL_count for `key`. Given the tree's
// nodes in in-order (`inorder`, from nodes_in_order, its keys already found
// equal to the model's), each bound must be the very node at the model's
// position, so the leftmost of repeated keys; without them (null) only the
// bound's key is compared, which costs O(log n) instead of O(n).
std::string query_mismatch(const AVL_TREE* tree, const KeyModel& model, int32_t key,
                           const std::vector<const nod*>* inorder);

// Cursors placed at the lower and the upper bound of `key`, each stepped
// `steps` times forwards and, from the same place, backwards: every node met
// must be the node at that position of `inorder`, and stepping off either end
// must leave the cursor past the end, where next stays and prev comes back to
// the last node.
std::string cursor_mismatch(const AVL_TREE* tree, const std::vector<const nod*>& inorder,
                            int32_t key, int steps);

// A cursor from the first node to the end and one from the last node back to
// the start must meet exactly `inorder`, forwards and backwards; from
// AVL_cursor_end, next stays past the end and prev reaches the last nodes.
std::string iteration_mismatch(const AVL_TREE* tree, const std::vector<const nod*>& inorder);

// Builds a tree by inserting `keys` in order; fails the current test when an
// insertion fails.
AVL_TREE* tree_of(const std::vector<int32_t>& keys);

// A deep copy of a subtree, node by node with `new`, so that AVL_destroy can
// release it.
nod* clone_subtree(const nod* node);

// The randomized suites scale their operation counts by the environment
// variable AVL_TEST_SCALE (default 1; e.g. 0.01 under valgrind). Returns
// max(1, count * scale).
long scaled(long count);

// What a command run through the shell did.
struct ProcessResult {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `command` through the shell, capturing standard output and error.
ProcessResult run_command(const std::string& command);

// The whole content of a file ("" when it cannot be read).
std::string read_file(const std::string& path);

#endif  // AVL_TESTS_AVL_CHECK_H
