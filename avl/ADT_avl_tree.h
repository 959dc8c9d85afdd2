// ADT_avl_tree: a height-balanced binary search tree of 32-bit signed keys.
//
// Every node carries its own balance factor,
//
//     balance = height(left subtree) - height(right subtree),
//
// where heights count nodes and an empty subtree has height 0. After every
// public operation each node's balance is -1 (right-heavy), 0 or +1
// (left-heavy), which keeps the height of a tree of n nodes below
// 1.44 * log2(n + 2): ten million keys fit in 24 levels, and INT32_MAX keys,
// the most a tree holds, in AVL_MAX_HEIGHT (44). Every cost below is for a
// tree of n nodes.
//
// Equal keys may coexist. Insertion sends a key equal to a node's key into the
// node's right subtree; rotations may later move an equal key to either side,
// so the order invariant is the non-strict one: everything left of a node is
// <= its key, everything right of it is >= its key, and an in-order walk
// yields the keys in non-decreasing order.
//
// Ownership: the caller owns the AVL_TREE handle from create_avl_tree; the
// tree owns every node reachable from `root`. Nodes are taken from the heap
// one at a time by AVL_insert. There are no parent links and no global state,
// so separate trees may be used from separate threads at once, and one tree
// may be read from several threads while none changes it; a tree that one
// thread changes needs a lock around every use.
//
// Recursion contract: every operation that can reshape a subtree takes the
// subtree's root and returns the subtree's new root, and the caller stores the
// result back into the link it passed (node->left = insert_rotate(node->left,
// ...)). Further results travel back through `bool*` flags: `grew` tells the
// caller that the returned subtree is one level taller than the one it passed.
// All walks are recursive, one call level per tree level.
//
// Damaged trees. A tree whose links, keys, balance factors or size were
// changed by hand can hold states the module never produces. Two of them stop
// the process when a rebalancing step meets them, with one line on standard
// error ("ADT_avl_tree: inconsistent tree: ...") and status 1 (standard
// output is still flushed): a fix-up that must rotate a child or grandchild
// that is missing, and an insertion whose grown side has a balanced child.
// On any other damage the results and the tree's shape are unspecified, but
// no function follows a missing link or writes outside a node or a cursor,
// and AVL_delete returns 0 only with the tree untouched; the recursions go as
// deep as the tree is tall, so a hand-made path thousands of levels deep can
// exhaust the stack. AVL_check finds every such state without changing or
// stopping anything: run it on any tree changed by hand. A null handle is a
// caller's error too: AVL_destroy, AVL_check and AVL_write_dot accept one
// (and say so below), every other whole-tree function needs a handle from
// create_avl_tree.
//
// The header is C (C99 and later) as well as C++: the functions have C
// linkage, so C programs and other languages' foreign-function interfaces
// link the same library as C++ programs do.
#ifndef ADT_AVL_TREE_H
#define ADT_AVL_TREE_H

#ifndef __cplusplus
#include <stdbool.h>
#endif
#include <stdint.h>
#include <stdio.h>

// The library's version. The build reads it from here, so the CMake package,
// avl.pc and the Debian packages carry the same one; a new major version is a
// new SONAME.
#define AVL_VERSION_MAJOR 2
#define AVL_VERSION_MINOR 2
#define AVL_VERSION_PATCH 0

// The most levels a sound tree has: the sparsest AVL tree of height h has
// F(h + 2) - 1 nodes (F the Fibonacci numbers), so a tree of up to INT32_MAX
// nodes is at most 44 levels tall.
#define AVL_MAX_HEIGHT 44

// Marks the functions the shared library exports; it hides everything else.
#if defined(__GNUC__)
#define AVL_API __attribute__((visibility("default")))
#else
#define AVL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// ---------------------------------------------------------------- records --

typedef struct nod nod;
typedef struct AVL_TREE AVL_TREE;

// One stored key.
struct nod {
  int32_t data;     // the key
  nod* left;        // keys <= data, or null
  nod* right;       // keys >= data, or null
  int32_t balance;  // height(left) - height(right): +1, 0 or -1
};

// The tree handle.
struct AVL_TREE {
  int32_t size;  // number of nodes, duplicates counted
  nod* root;     // null when the tree is empty
};

// Returns a new empty tree (size 0, root null), or null when the heap cannot
// supply the handle. Release it with AVL_destroy.
AVL_API AVL_TREE* create_avl_tree(void);

// Releases every node of the tree and then the handle itself. A null handle
// is accepted and does nothing. Uses constant stack and O(n) time, so any tree
// whose links form no cycle and share no node is released, however it was
// built (AVL_check tells whether links are shared or in a cycle).
AVL_API void AVL_destroy(AVL_TREE* tree);

// ----------------------------------------------------------------- lookup --

// Returns the first node on the search path from `node` whose key equals
// `value`, or null when there is none (or `node` is null). Among repeated
// keys that is the one nearest the root.
//
// The pointer stays valid only until the tree next changes: deleting a key
// that sits in a node with two children copies the in-order predecessor's key
// into that node and releases the predecessor's node instead, so a node found
// earlier may afterwards hold another key, or be gone.
AVL_API nod* search_avl(nod* node, int32_t value);

// Returns the leftmost (smallest) node of the subtree, or null for an empty
// subtree.
AVL_API nod* find_smallest_node(nod* node);

// Returns the rightmost (largest) node of the subtree, or null for an empty
// subtree.
AVL_API nod* find_largest_node(nod* node);

// -------------------------------------------------------------- rotations --
//
// The rotations relink three pointers and return the new subtree root. They
// never read or write `balance`: the rebalancing steps set the balance factors
// of the nodes involved themselves. Called on a null node, or on a node that
// lacks the child that would become the pivot, they return `node` unchanged.

// Lifts node->right above `node`; returns it.
AVL_API nod* rotate_left(nod* node);

// Lifts node->left above `node`; returns it.
AVL_API nod* rotate_right(nod* node);

// -------------------------------------------------------------- insertion --

// Adds one node holding `value` (equal keys are kept side by side) and
// rebalances. Allocates exactly one node. Returns 1 on success; returns 0 and
// leaves the tree untouched when the heap cannot supply a node or the tree
// already holds INT32_MAX nodes. On a damaged tree it may stop the process
// (see "Damaged trees" above).
AVL_API int AVL_insert(AVL_TREE* tree, int32_t value);

// Inserts the prepared leaf `new_node` into the subtree rooted at `node` (null
// for an empty subtree) and returns the subtree's new root. Sets *grew to
// whether the returned subtree is one level taller than `node`'s was.
AVL_API nod* insert_rotate(nod* node, nod* new_node, bool* grew);

// Rebalances a node whose balance is +1 and whose left subtree has just grown
// one level: one single or double rotation, after which the subtree is as tall
// as before the insertion. Returns the new subtree root and sets *grew to
// false. When the left child's balance is outside -1..+1 the node is returned
// unchanged and *grew is not written.
AVL_API nod* balance_left(nod* node, bool* grew);

// The mirror image of balance_left: for a node whose balance is -1 and whose
// right subtree has just grown.
AVL_API nod* balance_right(nod* node, bool* grew);

// --------------------------------------------------------------- deletion --
//
// `shrank` tells the caller that the returned subtree is one level lower than
// the one it passed; `found` that a node holding the key was released.

// Removes one node holding `value` (when the key repeats, exactly one of them)
// and rebalances, possibly at every level up to the root. Releases one node;
// never allocates. Returns 1 when a node was removed, 0 when the key is absent
// (the tree is then untouched). On a damaged tree it may stop the process
// (see "Damaged trees" above).
AVL_API int AVL_delete(AVL_TREE* tree, int32_t value);

// Deletes one node holding `value` from the subtree rooted at `node` and
// returns the subtree's new root. A node with two children takes its in-order
// predecessor's key, and the predecessor's node is deleted from the left
// subtree in its place.
AVL_API nod* delete_rotate(nod* node, int32_t value, bool* shrank, bool* found);

// Rebalances `node` after its right subtree has shrunk by one level (so the
// left may now be the heavier side). Returns the new subtree root; clears
// *shrank when the subtree kept its height.
AVL_API nod* del_balance_left(nod* node, bool* shrank);

// The mirror image of del_balance_left: after the left subtree has shrunk.
AVL_API nod* del_balance_right(nod* node, bool* shrank);

// --------------------------------------------------------------- printing --
//
// The printers write to standard output through the ordinary buffered stream
// and never flush it. Each key is printed as "%d " (so the last key is also
// followed by a space). A null subtree prints nothing.

// Keys of the subtree in pre-order: node, left, right.
AVL_API void traverse_preorder(const nod* node);

// Keys of the subtree in in-order (non-decreasing): left, node, right.
AVL_API void traverse_inorder(const nod* node);

// Keys of the subtree in post-order: left, right, node.
AVL_API void traverse_postorder(const nod* node);

// Prints the tree report:
//
//   AVL_TREE
//   size : <size>
//   data : <keys in the selected order, each followed by a space>
//
// `type` selects the order: 0 pre-order, 1 in-order, 2 post-order. Any other
// value prints "type error" and a newline in place of the keys (the report
// then ends with an empty line).
AVL_API void AVL_print(const AVL_TREE* tree, int32_t type);

// Writes the tree to `out` as a Graphviz DOT digraph: one vertex per node
// (repeated keys are separate vertices) labelled with its key and balance
// factor. Left edges leave from the vertex's lower-left port and right edges
// from its lower-right port, the left one declared first so that dot keeps
// siblings in order; wherever a node has only one child the empty side is
// drawn as a dotted stub, so a lone right child never looks like a left one.
// (In large trees dot may still shift a child under or past its parent; the
// order of siblings and the stubs stay right.) Render with `dot -Tsvg`.
// Returns 1 on success, 0 when writing (or the final flush of `out`) fails or
// an argument is null.
AVL_API int AVL_write_dot(const AVL_TREE* tree, FILE* out);

// ------------------------------------------------------- queries, checks --
//
// Read-only operations on a whole tree; each takes a handle made by
// create_avl_tree and never changes the tree. Where they return a node, the
// pointer is valid until the tree next changes (see search_avl).

// Returns the first node in in-order (the leftmost among repeated keys) whose
// key is >= `value`, or null when every key is smaller. O(log n).
AVL_API nod* AVL_lower_bound(const AVL_TREE* tree, int32_t value);

// Returns the first node in in-order whose key is > `value`, or null when no
// key is larger. O(log n). Together with AVL_lower_bound it brackets the
// nodes holding `value`.
AVL_API nod* AVL_upper_bound(const AVL_TREE* tree, int32_t value);

// Returns the number of nodes holding `value`. O(log n + that number).
AVL_API int32_t AVL_count(const AVL_TREE* tree, int32_t value);

// Returns the number of nodes on the longest path from the root down: 0 for
// an empty tree. Follows the taller side as the balance factors say, so it
// is O(log n) and trusts them; AVL_check verifies them.
AVL_API int32_t AVL_height(const AVL_TREE* tree);

// Calls visit(node, context) on every node in pre-order (`order` 0), in-order
// (1, non-decreasing keys) or post-order (2), the selectors of AVL_print, and
// stops after the first node for which `visit` returns 0. Returns the number
// of nodes visited, or -1 without visiting anything for any other `order` or a
// null `visit`. `visit` must not change the tree. O(n) for a full walk.
AVL_API int32_t AVL_walk(const AVL_TREE* tree, int32_t order,
                         int (*visit)(const nod* node, void* context), void* context);

// Checks every invariant: keys in order (everything left of a node is <= its
// key, everything right of it >= it), every balance equal to height(left) -
// height(right) and within -1..+1, every node reachable along one path only
// (no two links to one node, no links in a cycle), and `size` equal to the
// number of nodes (so `root` is null exactly when `size` is 0). Returns 1 for
// a sound tree. Otherwise returns 0 and, when `report` is not null, writes one
// line to it naming the first broken invariant and the key of the node where
// it broke. Meant for trees changed by hand and for tests; no other operation
// calls it. A null `tree` is reported as broken.
//
// Cost: O(n) time (expected; it hashes node addresses) and at most
// AVL_MAX_HEIGHT levels of recursion, deeper paths being reported. To recognise a node met twice it
// records every node in a table of 16 to 32 bytes per node (48 while the table
// grows), taken with malloc and released before it returns. When that memory
// cannot be had it reports "out of memory" and returns 0: a tree it could not
// finish checking is never called sound.
AVL_API int AVL_check(const AVL_TREE* tree, FILE* report);

// ---------------------------------------------------------------- cursors --
//
// A cursor stands on one node of a tree, or past its end, and steps through
// the nodes in in-order (non-decreasing keys) in either direction. It keeps
// the path from the root to its node, because the nodes have no parent links:
// a step up is a step back along that path. It is a plain value: keep one on
// the stack, copy it with `=`, and never release it; no cursor function
// allocates.
//
// Past the end is one state for both ends: stepping forwards off the last
// node or backwards off the first one lands there, AVL_cursor_next leaves a
// cursor there, and AVL_cursor_prev brings it back to the last node (so the
// end of a range can be stepped back from, as a C++ iterator's end can).
//
// A cursor is valid until its tree next changes, and must then be positioned
// again. Insertion rotates nodes to other places on the paths, and deletion
// moves keys between nodes (a node with two children takes its predecessor's
// key, and the predecessor's node is released), so after any change the saved
// path and even the node itself may be stale.
//
// Costs: positioning O(log n); a step O(1) amortised over a pass, O(log n) at
// worst. A tree damaged by hand may be deeper than any sound one; no cursor
// function follows a path deeper than the cursor can hold: it stops there and
// leaves the cursor past the end.

// Entries of a cursor's path: room for the ancestors of every node of every
// sound tree (AVL_MAX_HEIGHT - 1 of them), and one more.
#define AVL_CURSOR_PATH_LENGTH (AVL_MAX_HEIGHT + 1)

// All fields are private: read and move a cursor only through the functions
// below (avl/avl.hpp, shipped with this header, reads `node` directly).
typedef struct AVL_CURSOR {
  nod* node;                          // the node under the cursor; null past the end
  const AVL_TREE* tree;               // the tree it walks, for stepping back from the end
  uint64_t went_left;                 // bit i: the path turned left at path[i]
  int32_t depth;                      // number of ancestors held in path
  nod* path[AVL_CURSOR_PATH_LENGTH];  // the node's ancestors, root first
} AVL_CURSOR;

// Put the cursor on the first (smallest) node, or past the end of an empty
// tree, and return that node (null past the end).
AVL_API nod* AVL_cursor_first(AVL_CURSOR* cursor, const AVL_TREE* tree);

// Put the cursor on the last (largest) node, or past the end of an empty
// tree, and return that node.
AVL_API nod* AVL_cursor_last(AVL_CURSOR* cursor, const AVL_TREE* tree);

// Put the cursor on the node AVL_lower_bound returns (the first node in
// in-order whose key is >= `value`), or past the end when every key is
// smaller, and return that node.
AVL_API nod* AVL_cursor_lower_bound(AVL_CURSOR* cursor, const AVL_TREE* tree, int32_t value);

// Put the cursor on the node AVL_upper_bound returns (the first node whose
// key is > `value`), or past the end, and return that node.
AVL_API nod* AVL_cursor_upper_bound(AVL_CURSOR* cursor, const AVL_TREE* tree, int32_t value);

// Put the cursor past the end of the tree without visiting any node. O(1).
AVL_API void AVL_cursor_end(AVL_CURSOR* cursor, const AVL_TREE* tree);

// Step to the next node in in-order and return it, or null when the cursor
// steps off the last node (or already was past the end, where it stays).
AVL_API nod* AVL_cursor_next(AVL_CURSOR* cursor);

// Step to the previous node in in-order and return it, or null when the
// cursor steps off the first node. From past the end it goes to the last
// node (null again for an empty tree).
AVL_API nod* AVL_cursor_prev(AVL_CURSOR* cursor);

// The node under the cursor, or null past the end.
AVL_API nod* AVL_cursor_node(const AVL_CURSOR* cursor);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // ADT_AVL_TREE_H
