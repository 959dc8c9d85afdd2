// ADT_avl_tree: the AVL tree module.
//
// Invariants kept between public calls:
//   - order:   keys left of a node are <= its key, keys right of it are >= it;
//   - balance: every node's `balance` equals height(left) - height(right) and
//              lies in -1..+1;
//   - size:    `size` is the number of nodes reachable from `root`.
// A tree whose every node is within one level of balance has height below
// 1.44 * log2(n + 2), so every recursive walk here is at most that deep.
//
// Balance factors are never recomputed from heights. Each rebalancing step
// knows, from the balance factors it reads and the side that changed height,
// exactly what the new factors are, and sets them before it rotates.
#include "avl/ADT_avl_tree.h"

#include "avl/trace.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

// Branch hints for the hot paths (docs/performance.md says which and why).
// Compilers without the builtins get the plain condition.
#if defined(__has_builtin)
#if __has_builtin(__builtin_expect_with_probability)
#define AVL_EXPECT_PROBABILITY(condition, probability) \
  __builtin_expect_with_probability((condition), 1, (probability))
#endif
#if __has_builtin(__builtin_expect)
#define AVL_UNLIKELY(condition) __builtin_expect((condition), 0)
#endif
#endif
#ifndef AVL_EXPECT_PROBABILITY
#define AVL_EXPECT_PROBABILITY(condition, probability) (condition)
#endif
#ifndef AVL_UNLIKELY
#define AVL_UNLIKELY(condition) (condition)
#endif

#if defined(__GNUC__)
#define AVL_NOINLINE __attribute__((noinline))
#define AVL_PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(printf, format_index, first_argument)))
#else
#define AVL_NOINLINE
#define AVL_PRINTF_FORMAT(format_index, first_argument)
#endif

namespace {

// A fix-up found a child that cannot be there in a tree built only through
// this module, which can only mean that balance factors or links were changed
// from outside:
//   - a balanced child on the side that has just grown: after a subtree grows
//     by one level its root always leans, unless it is the new leaf itself,
//     and a lone leaf is never the taller side of a node that already leaned
//     its way;
//   - no child at all on the side a node's balance says is the taller one.
// Carrying on would break the balance invariant silently or follow a null
// link, so the process stops here; exit() still flushes standard output, so
// nothing already printed is lost.
[[noreturn]] void stop_inconsistent_tree(const char* what, const char* where) {
  std::fprintf(stderr, "ADT_avl_tree: inconsistent tree: %s in %s\n", what, where);
  std::exit(EXIT_FAILURE);
}

// The child that a fix-up is about to rotate, which a consistent tree always has.
nod* required_child(nod* child, const char* where) {
  if (child == nullptr) {
    stop_inconsistent_tree("missing child", where);
  }
  return child;
}

// Every balance factor the rebalancing writes goes through here, so that a
// build that records (trace.hpp) sees each one.
inline void set_balance(nod* node, int32_t value) {
  AVL_TRACE(balance, node, node->balance, value);
  node->balance = value;
}

// The rotations of the fix-ups, reported before and after.
inline nod* turn_left(nod* node) {
  AVL_TRACE(rotate, node, +1, 0);
  nod* top = rotate_left(node);
  AVL_TRACE(rotated, top, +1, 0);
  return top;
}

inline nod* turn_right(nod* node) {
  AVL_TRACE(rotate, node, -1, 0);
  nod* top = rotate_right(node);
  AVL_TRACE(rotated, top, -1, 0);
  return top;
}

/*
 * A double rotation lifts the grandchild G between the two nodes it passes,
 * which end up as its left part and right part:
 *
 *            P                       G
 *           / \                    /   \
 *          Q   d      =>       left     right
 *         / \                  /  \     /  \
 *        a   G                a    b   c    d
 *           / \
 *          b   c
 *
 * (Q and P are (L, N) for a left-right rotation and the mirror (N, R) for a
 * right-left one.) b goes to the left part and c to the right part, so G's old
 * balance alone decides theirs: G leaning left (+1) leaves c short and the
 * right part leaning right; G leaning right (-1) leaves b short and the left
 * part leaning left; a balanced G leaves both balanced. G itself ends balanced.
 * Insertion and deletion share this table. A G outside -1..+1 leaves the two
 * parts as they were.
 */
void set_double_rotation_balances(nod* grandchild, nod* left_part, nod* right_part) {
  switch (grandchild->balance) {
    case +1:
      set_balance(left_part, 0);
      set_balance(right_part, -1);
      break;
    case 0:
      set_balance(left_part, 0);
      set_balance(right_part, 0);
      break;
    case -1:
      set_balance(left_part, +1);
      set_balance(right_part, 0);
      break;
    default:
      break;
  }
  set_balance(grandchild, 0);
}

/*
 * A single rotation lifts the child C on the heavy side of N, which leans
 * that way (`lean`: +1 left, -1 right). A child leaning the same way leaves
 * both balanced; a balanced child, which only a deletion meets, leaves N
 * leaning as it did and C leaning the other way. Insertion and deletion share
 * this table; a C outside -1..+1 leaves both as they were.
 */
void set_single_rotation_balances(nod* node, nod* child, int32_t lean) {
  if (child->balance == lean) {
    set_balance(node, 0);
    set_balance(child, 0);
  } else if (child->balance == 0) {
    set_balance(node, lean);
    set_balance(child, -lean);
  }
}

}  // namespace

// ---------------------------------------------------------------- records --

AVL_TREE* create_avl_tree() {
  AVL_TREE* tree = new (std::nothrow) AVL_TREE;
  if (tree == nullptr) {
    return nullptr;
  }
  tree->size = 0;
  tree->root = nullptr;
  return tree;
}

// Releases the nodes without recursion, so that any tree whose links form no
// cycle and share no node is released in constant stack, however tall a hand-
// built tree is. While the node at the top has a left child, a right rotation
// lifts that child above it (the in-order sequence stays, and each rotation
// puts one more node on the right spine for good); a top without a left child
// is released and its right subtree takes its place. O(n): at most one
// rotation per node.
void AVL_destroy(AVL_TREE* tree) {
  if (tree == nullptr) {
    return;
  }
  nod* top = tree->root;
  while (top != nullptr) {
    if (top->left != nullptr) {
      top = rotate_right(top);
    } else {
      nod* rest = top->right;
      delete top;
      top = rest;
    }
  }
  delete tree;
}

// ----------------------------------------------------------------- lookup --

nod* search_avl(nod* node, int32_t value) {
  if (node == nullptr) {
    return nullptr;
  }
  if (node->data > value) {
    return search_avl(node->left, value);
  }
  if (node->data < value) {
    return search_avl(node->right, value);
  }
  return node;
}

nod* find_smallest_node(nod* node) {
  if (node == nullptr || node->left == nullptr) {
    return node;
  }
  return find_smallest_node(node->left);
}

nod* find_largest_node(nod* node) {
  if (node == nullptr || node->right == nullptr) {
    return node;
  }
  return find_largest_node(node->right);
}

// -------------------------------------------------------------- rotations --

/*
 *   rotate_left(A)              rotate_right(B)
 *
 *       A                B            B                A
 *      / \              / \          / \              / \
 *     a   B     =>     A   c        A   c     =>     a   B
 *        / \          / \          / \                  / \
 *       b   c        a   b        a   b                b   c
 *
 * The in-order sequence a A b B c is the same on both sides.
 */

nod* rotate_left(nod* node) {
  if (node == nullptr || node->right == nullptr) {
    return node;
  }
  nod* pivot = node->right;
  node->right = pivot->left;
  pivot->left = node;
  return pivot;
}

nod* rotate_right(nod* node) {
  if (node == nullptr || node->left == nullptr) {
    return node;
  }
  nod* pivot = node->left;
  node->left = pivot->right;
  pivot->right = node;
  return pivot;
}

// -------------------------------------------------------------- insertion --

int AVL_insert(AVL_TREE* tree, int32_t value) {
  // A full count cannot grow: refuse before touching the heap or the tree.
  if (tree->size == INT32_MAX) {
    return 0;
  }
  nod* new_node = new (std::nothrow) nod;
  if (new_node == nullptr) {
    return 0;
  }
  new_node->balance = 0;
  new_node->right = nullptr;
  new_node->left = nullptr;
  new_node->data = value;

  bool grew;  // written by insert_rotate before anything reads it
  tree->root = insert_rotate(tree->root, new_node, &grew);
  tree->size += 1;
  return 1;
}

// Descends to the empty link where the key belongs (smaller keys left, equal
// and greater keys right), hangs the new leaf there and, on the way back up,
// updates the balance of every node whose subtree grew:
//
//   balance before | result
//   ---------------+-----------------------------------------------------
//        0         | tilts towards the grown side, growth goes up
//    leans away    | becomes 0, growth stops
//    leans to it   | rotate (balance_left/right), growth stops
//
// Values outside -1..+1 are left alone. Every link on the path is stored
// again, whether or not the subtree below it changed. The branch hints keep
// the all-right path of ascending keys a straight run of inlined levels; see
// "The code's shape" in docs/performance.md.
nod* insert_rotate(nod* node, nod* new_node, bool* grew) {
  if (node == nullptr) {
    AVL_TRACE(leaf, new_node, 0, 0);
    *grew = true;
    AVL_TRACE(done, new_node, 1, 0);
    return new_node;
  }
  if (AVL_EXPECT_PROBABILITY(new_node->data < node->data, 0.4)) {
    AVL_TRACE(visit, node, -1, 0);
    node->left = insert_rotate(node->left, new_node, grew);
    AVL_TRACE(link, node, -1, 0);
    if (AVL_UNLIKELY(*grew)) {
      switch (node->balance) {
        case 0:
          set_balance(node, +1);  // taller on the left; so is this subtree
          break;
        case +1:
          AVL_TRACE(heavy, node, +2, 0);
          node = balance_left(node, grew);
          break;
        case -1:
          set_balance(node, 0);  // the short side caught up: height unchanged
          *grew = false;
          break;
        default:
          break;
      }
    }
  } else {
    AVL_TRACE(visit, node, +1, 0);
    node->right = insert_rotate(node->right, new_node, grew);
    AVL_TRACE(link, node, +1, 0);
    if (AVL_UNLIKELY(*grew)) {
      switch (node->balance) {
        case 0:
          set_balance(node, -1);
          break;
        case -1:
          AVL_TRACE(heavy, node, -2, 0);
          node = balance_right(node, grew);
          break;
        case +1:
          set_balance(node, 0);
          *grew = false;
          break;
        default:
          break;
      }
    }
  }
  AVL_TRACE(done, node, *grew, 0);
  return node;
}

/*
 * The left subtree of N (balance +1) has grown, so N is now two levels
 * heavier on the left. Heights are marked h; balances in brackets.
 *
 * Left-left (L leans left): one right rotation.
 *
 *           N[+2]                  L[0]
 *          /    \                 /    \
 *        L[+1]   c (h)    =>    a(h+1)  N[0]
 *       /    \                         /   \
 *    a(h+1)  b(h)                    b(h)  c(h)
 *
 * Left-right (L leans right): rotate L left, then N right; LR ends on top.
 *
 *           N[+2]                     LR[0]
 *          /    \                   /      \
 *        L[-1]   d (h)     =>    L          N
 *       /    \                  / \        / \
 *     a(h)   LR                a   b      c   d
 *           /  \
 *          b    c
 *
 * where b and c are h or h-1 tall according to LR's old balance, which sets
 * the new balances of L and N (set_double_rotation_balances). Either way the
 * subtree is as tall as before the insertion, so growth stops here.
 */
nod* balance_left(nod* node, bool* grew) {
  nod* child = required_child(node->left, "balance_left");
  switch (child->balance) {
    case 0:
      stop_inconsistent_tree("balanced child", "balance_left");
    case +1:  // left-left
      set_single_rotation_balances(node, child, +1);
      node = turn_right(node);
      *grew = false;
      return node;
    case -1:  // left-right
      set_double_rotation_balances(required_child(child->right, "balance_left"), child, node);
      node->left = turn_left(child);
      node = turn_right(node);
      *grew = false;
      return node;
    default:
      return node;
  }
}

// Mirror image of balance_left.
nod* balance_right(nod* node, bool* grew) {
  nod* child = required_child(node->right, "balance_right");
  switch (child->balance) {
    case 0:
      stop_inconsistent_tree("balanced child", "balance_right");
    case -1:  // right-right
      set_single_rotation_balances(node, child, -1);
      node = turn_left(node);
      *grew = false;
      return node;
    case +1:  // right-left
      set_double_rotation_balances(required_child(child->left, "balance_right"), node, child);
      node->right = turn_right(child);
      node = turn_left(node);
      *grew = false;
      return node;
    default:
      return node;
  }
}

// --------------------------------------------------------------- deletion --

int AVL_delete(AVL_TREE* tree, int32_t value) {
  bool shrank;  // both written by delete_rotate before anything reads them
  bool found;
  nod* result = delete_rotate(tree->root, value, &shrank, &found);
  if (!found) {
    return 0;  // the descent met only unchanged links: nothing moved
  }
  tree->root = result;
  tree->size -= 1;
  if (tree->size == 0) {
    tree->root = nullptr;
  }
  return 1;
}

namespace {

// The end of a deletion's descent: `node` holds the key. With at most one
// child the node goes and the child takes its place; with two it takes the key
// of its in-order predecessor (the rightmost node of its left subtree), and
// that key is deleted from the left subtree instead, where its node has at
// most one child. Reached once per deletion, so it stays out of the descent's
// code (docs/performance.md).
AVL_NOINLINE nod* delete_at(nod* node, bool* shrank, bool* found) {
  AVL_TRACE(found, node, (node->left != nullptr) + (node->right != nullptr), 0);
  if (node->left == nullptr || node->right == nullptr) {
    // At most one child: it takes the node's place, one level higher.
    nod* kept = node->left == nullptr ? node->right : node->left;
    AVL_TRACE(release, node, 0, 0);
    delete node;
    *found = true;
    *shrank = true;
    AVL_TRACE(done, kept, 1, 0);
    return kept;
  }
  const nod* predecessor = node->left;
  while (predecessor->right != nullptr) {
    predecessor = predecessor->right;
  }
  AVL_TRACE(rekey, node, node->data, predecessor->data);
  node->data = predecessor->data;
  node->left = delete_rotate(node->left, node->data, shrank, found);
  AVL_TRACE(link, node, -1, 0);
  if (*shrank) {
    node = del_balance_right(node, shrank);
  }
  AVL_TRACE(done, node, *shrank, 0);
  return node;
}

}  // namespace

// Finds the key as search_avl does (delete_at takes over at the node holding
// it) and, while the subtree below keeps shrinking, lets each level on the way
// back up rebalance itself. The side is picked without a conditional jump, and
// only a level whose subtree shrank looks at it again; see "The code's
// shape" in docs/performance.md.
nod* delete_rotate(nod* node, int32_t value, bool* shrank, bool* found) {
  if (node == nullptr) {
    AVL_TRACE(missing, nullptr, 0, 0);
    *found = false;
    *shrank = false;
    return nullptr;
  }
  if (node->data == value) {
    AVL_TRACE(visit, node, 0, 0);
    return delete_at(node, shrank, found);
  }
  const bool left = node->data > value;
  AVL_TRACE(visit, node, left ? -1 : +1, 0);
  nod* nod::*const link = left ? &nod::left : &nod::right;
  node->*link = delete_rotate(node->*link, value, shrank, found);
  AVL_TRACE(link, node, left ? -1 : +1, 0);
  if (*shrank) {
    node = left ? del_balance_right(node, shrank) : del_balance_left(node, shrank);
  }
  AVL_TRACE(done, node, *shrank, 0);
  return node;
}

/*
 * The right subtree of N has shrunk by one level. Heights are marked h;
 * balances in brackets.
 *
 *   N was balanced [0]:     now leans left [+1]; N's height is unchanged: stop.
 *   N leaned right [-1]:    now balanced [0]; N is one level lower: go on.
 *   N leaned left [+1]:     now two levels heavier on the left: rotate.
 *
 * Single rotation, L balanced or leaning left:
 *
 *            N[+2]                     L[-1 or 0]
 *           /    \                    /    \
 *       L[0/+1]   c (h)     =>     a(h+1)   N[+1 or 0]
 *       /    \                             /    \
 *    a(h+1)  b(h+1 or h)         b(h+1 or h)    c(h)
 *
 *   L was balanced: the subtree keeps its height h+3 and the shrinking stops.
 *   L leaned left:  both end balanced, the subtree is a level lower: go on.
 *
 * Double rotation, L leaning right: LR ends on top, balanced, and the
 * subtree is a level lower, so the shrinking goes on.
 *
 *            N[+2]                        LR[0]
 *           /    \                      /      \
 *        L[-1]    d (h)       =>      L          N
 *       /    \                       / \        / \
 *     a(h)   LR (h+1)               a   b      c   d
 *           /  \
 *          b    c      (b, c: h or h-1 as LR's old balance says)
 */
nod* del_balance_left(nod* node, bool* shrank) {
  switch (node->balance) {
    case 0:
      set_balance(node, +1);
      *shrank = false;  // height unchanged: stop
      return node;
    case -1:
      set_balance(node, 0);  // one level lower: keep going
      return node;
    case +1: {
      AVL_TRACE(heavy, node, +2, 0);
      nod* child = required_child(node->left, "del_balance_left");
      if (child->balance == -1) {
        set_double_rotation_balances(required_child(child->right, "del_balance_left"), child, node);
        node->left = turn_left(child);
        return turn_right(node);
      }
      if (child->balance == 0) {
        *shrank = false;  // the rotated subtree keeps its height
      }
      set_single_rotation_balances(node, child, +1);
      return turn_right(node);
    }
    default:
      return node;
  }
}

// Mirror image of del_balance_left.
nod* del_balance_right(nod* node, bool* shrank) {
  switch (node->balance) {
    case 0:
      set_balance(node, -1);
      *shrank = false;
      return node;
    case +1:
      set_balance(node, 0);
      return node;
    case -1: {
      AVL_TRACE(heavy, node, -2, 0);
      nod* child = required_child(node->right, "del_balance_right");
      if (child->balance == +1) {
        set_double_rotation_balances(required_child(child->left, "del_balance_right"), node, child);
        node->right = turn_right(child);
        return turn_left(node);
      }
      if (child->balance == 0) {
        *shrank = false;
      }
      set_single_rotation_balances(node, child, -1);
      return turn_left(node);
    }
    default:
      return node;
  }
}

// --------------------------------------------------------------- printing --

void traverse_preorder(const nod* node) {
  if (node == nullptr) {
    return;
  }
  std::printf("%d ", node->data);
  traverse_preorder(node->left);
  traverse_preorder(node->right);
}

void traverse_inorder(const nod* node) {
  if (node == nullptr) {
    return;
  }
  traverse_inorder(node->left);
  std::printf("%d ", node->data);
  traverse_inorder(node->right);
}

void traverse_postorder(const nod* node) {
  if (node == nullptr) {
    return;
  }
  traverse_postorder(node->left);
  traverse_postorder(node->right);
  std::printf("%d ", node->data);
}

void AVL_print(const AVL_TREE* tree, int32_t type) {
  std::printf("AVL_TREE\n");
  std::printf("size : %d\n", tree->size);
  std::printf("data : ");
  switch (type) {
    case 0:
      traverse_preorder(tree->root);
      break;
    case 1:
      traverse_inorder(tree->root);
      break;
    case 2:
      traverse_postorder(tree->root);
      break;
    default:
      std::printf("type error\n");
      break;
  }
  std::printf("\n");
}

namespace {

// Writes the vertex of `node` and, below it, its subtree; vertices are named
// n<k> by pre-order number (keys repeat, so they cannot name vertices).
// Returns the number of vertices written, or -1 when a write fails.
long write_dot_subtree(const nod* node, long id, FILE* out) {
  const char* sign = node->balance > 0 ? "+" : "";
  if (std::fprintf(out, "  n%ld [label=\"%d\\n%s%d\"];\n", id, node->data, sign, node->balance) <
      0) {
    return -1;
  }
  long written = 1;
  const nod* children[2] = {node->left, node->right};
  const char* ports[2] = {"sw", "se"};
  const bool lone_child = (node->left == nullptr) != (node->right == nullptr);
  for (int side = 0; side < 2; ++side) {
    const long child_id = id + written;
    if (children[side] != nullptr) {
      if (std::fprintf(out, "  n%ld:%s -> n%ld;\n", id, ports[side], child_id) < 0) {
        return -1;
      }
      const long below = write_dot_subtree(children[side], child_id, out);
      if (below < 0) {
        return -1;
      }
      written += below;
    } else if (lone_child) {
      // The empty side of a one-child node, so the child keeps its side.
      if (std::fprintf(out, "  e%ld [shape=point];\n  n%ld:%s -> e%ld [style=dotted];\n", id, id,
                       ports[side], id) < 0) {
        return -1;
      }
    }
  }
  return written;
}

}  // namespace

int AVL_write_dot(const AVL_TREE* tree, FILE* out) {
  if (tree == nullptr || out == nullptr) {
    return 0;
  }
  if (std::fprintf(out,
                   "digraph AVL_TREE {\n"
                   "  node [shape=circle, fontname=\"Helvetica\", fontsize=11];\n"
                   "  edge [arrowhead=none];\n") < 0) {
    return 0;
  }
  if (tree->root != nullptr && write_dot_subtree(tree->root, 0, out) < 0) {
    return 0;
  }
  if (std::fprintf(out, "}\n") < 0 || std::fflush(out) != 0 || std::ferror(out) != 0) {
    return 0;
  }
  return 1;
}

// ------------------------------------------------------- queries, checks --

namespace {

const nod* lower_bound_in(const nod* node, int32_t value) {
  if (node == nullptr) {
    return nullptr;
  }
  if (node->data < value) {
    return lower_bound_in(node->right, value);
  }
  // This node qualifies; a qualifying node further left comes first.
  const nod* further_left = lower_bound_in(node->left, value);
  return further_left != nullptr ? further_left : node;
}

const nod* upper_bound_in(const nod* node, int32_t value) {
  if (node == nullptr) {
    return nullptr;
  }
  if (node->data <= value) {
    return upper_bound_in(node->right, value);
  }
  const nod* further_left = upper_bound_in(node->left, value);
  return further_left != nullptr ? further_left : node;
}

int32_t count_nodes(const nod* node) {
  if (node == nullptr) {
    return 0;
  }
  return count_nodes(node->left) + 1 + count_nodes(node->right);
}

// Below a node holding `value`, repeated keys sit at the near end of each
// subtree: the left subtree holds keys <= value, so its equal keys are its
// rightmost ones, and a node holding `value` there has only equal keys to
// its right. Each step either leaves the equal keys behind or counts them,
// which keeps the count at O(log n + count).
int32_t count_equal_at_right_end(const nod* node, int32_t value) {
  if (node == nullptr) {
    return 0;
  }
  if (node->data < value) {
    return count_equal_at_right_end(node->right, value);
  }
  return count_nodes(node->right) + 1 + count_equal_at_right_end(node->left, value);
}

// The mirror image, for the right subtree of a node holding `value`.
int32_t count_equal_at_left_end(const nod* node, int32_t value) {
  if (node == nullptr) {
    return 0;
  }
  if (node->data > value) {
    return count_equal_at_left_end(node->left, value);
  }
  return count_nodes(node->left) + 1 + count_equal_at_left_end(node->right, value);
}

int32_t count_in(const nod* node, int32_t value) {
  if (node == nullptr) {
    return 0;
  }
  if (node->data > value) {
    return count_in(node->left, value);
  }
  if (node->data < value) {
    return count_in(node->right, value);
  }
  return count_equal_at_right_end(node->left, value) + 1 +
         count_equal_at_left_end(node->right, value);
}

int32_t height_of(const nod* node) {
  if (node == nullptr) {
    return 0;
  }
  return 1 + height_of(node->balance < 0 ? node->right : node->left);
}

struct Visitor {
  int (*visit)(const nod* node, void* context);
  void* context;
  int32_t visited;
};

bool visit_node(const nod* node, Visitor& visitor) {
  visitor.visited += 1;
  return visitor.visit(node, visitor.context) != 0;
}

// One walk for the three orders: `order` says where the node comes relative
// to its subtrees. Returns false once the visitor has asked to stop.
bool walk_subtree(const nod* node, int32_t order, Visitor& visitor) {
  if (node == nullptr) {
    return true;
  }
  return (order != 0 || visit_node(node, visitor)) && walk_subtree(node->left, order, visitor) &&
         (order != 1 || visit_node(node, visitor)) && walk_subtree(node->right, order, visitor) &&
         (order != 2 || visit_node(node, visitor));
}

// No AVL tree with a 32-bit node count is more than 45 levels tall, so a
// deeper path can only be a broken tree.
constexpr int kMaxCheckedDepth = 64;

// The nodes the check has met, by address, so that a node reached along a
// second path is caught: an open-addressing hash table that doubles when half
// full, so it holds 2 to 4 slots of one pointer per node (and, while it grows,
// the old table as well). Its memory comes from malloc and goes back when the
// check ends; the tree itself is never written.
class NodeSet {
 public:
  NodeSet() = default;
  NodeSet(const NodeSet&) = delete;
  NodeSet& operator=(const NodeSet&) = delete;
  ~NodeSet() { std::free(slots_); }

  enum Result { added, already_there, out_of_memory };

  Result add(const nod* node) {
    if (2 * (count_ + 1) > capacity_ && !grow()) {
      return out_of_memory;
    }
    for (size_t at = slot_of(node);; at = (at + 1) & (capacity_ - 1)) {
      if (slots_[at] == node) {
        return already_there;
      }
      if (slots_[at] == nullptr) {
        slots_[at] = node;
        count_ += 1;
        return added;
      }
    }
  }

 private:
  // Fibonacci hashing: the top bits of the address times 2^64 / phi.
  size_t slot_of(const nod* node) const {
    const uint64_t bits = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(node));
    return static_cast<size_t>((bits * 0x9E3779B97F4A7C15u) >> (64 - log2_capacity_));
  }

  bool grow() {
    const int log2_grown = capacity_ == 0 ? 10 : log2_capacity_ + 1;
    if (log2_grown >= 60) {
      return false;
    }
    const size_t grown = size_t{1} << log2_grown;
    auto* fresh = static_cast<const nod**>(std::calloc(grown, sizeof(const nod*)));
    if (fresh == nullptr) {
      return false;
    }
    const nod** old = slots_;
    const size_t old_capacity = capacity_;
    slots_ = fresh;
    capacity_ = grown;
    log2_capacity_ = log2_grown;
    count_ = 0;
    for (size_t i = 0; i < old_capacity; ++i) {
      if (old[i] != nullptr) {
        add(old[i]);
      }
    }
    std::free(old);
    return true;
  }

  const nod** slots_ = nullptr;
  size_t capacity_ = 0;  // 0 or a power of two
  int log2_capacity_ = 0;
  size_t count_ = 0;
};

struct CheckWalk {
  FILE* report;
  int32_t size;   // what the handle claims
  int64_t count;  // distinct nodes met so far
  bool broken;
  NodeSet seen;
  const nod* path[kMaxCheckedDepth];  // path[d - 1]: the node at depth d on the way down
};

void report_fault(CheckWalk& walk, const char* format, ...) AVL_PRINTF_FORMAT(2, 3);

void report_fault(CheckWalk& walk, const char* format, ...) {
  walk.broken = true;
  if (walk.report == nullptr) {
    return;
  }
  va_list arguments;
  va_start(arguments, format);
  std::fputs("AVL_check: ", walk.report);
  std::vfprintf(walk.report, format, arguments);
  std::fputc('\n', walk.report);
  va_end(arguments);
}

// A node met a second time: links leading back up to one of the nodes on the
// way down, or two links to one node (a node would be released twice).
void report_second_path(CheckWalk& walk, const nod* node, int depth) {
  for (int d = 1; d < depth; ++d) {
    if (walk.path[d - 1] == node) {
      report_fault(walk, "links in a cycle at key %d: the node lies below itself", node->data);
      return;
    }
  }
  report_fault(walk, "node with key %d is reachable twice", node->data);
}

// Returns the subtree's height, recomputed from the links; keys must lie in
// [low, high]. Stops at the first fault, which it reports.
int check_subtree(const nod* node, int64_t low, int64_t high, int depth, CheckWalk& walk) {
  if (node == nullptr || walk.broken) {
    return 0;
  }
  switch (walk.seen.add(node)) {
    case NodeSet::added:
      break;
    case NodeSet::already_there:
      report_second_path(walk, node, depth);
      return 0;
    case NodeSet::out_of_memory:
      report_fault(walk, "out of memory after %lld nodes: the check could not be finished",
                   static_cast<long long>(walk.count));
      return 0;
  }
  walk.count += 1;
  if (node->data < low || node->data > high) {
    report_fault(walk, "order broken at key %d: keys there must lie in %lld..%lld", node->data,
                 static_cast<long long>(low), static_cast<long long>(high));
    return 0;
  }
  if (depth > kMaxCheckedDepth) {
    report_fault(walk, "height broken at key %d: more than %d levels deep", node->data,
                 kMaxCheckedDepth);
    return 0;
  }
  if (walk.count > walk.size) {
    report_fault(walk, "size broken at key %d: the tree holds more than its size of %d nodes",
                 node->data, walk.size);
    return 0;
  }
  walk.path[depth - 1] = node;
  const int left = check_subtree(node->left, low, node->data, depth + 1, walk);
  const int right = check_subtree(node->right, node->data, high, depth + 1, walk);
  if (walk.broken) {
    return 0;
  }
  if (node->balance != left - right) {
    report_fault(walk, "balance broken at key %d: it stores %d, its subtrees are %d and %d tall",
                 node->data, node->balance, left, right);
  } else if (node->balance < -1 || node->balance > +1) {
    report_fault(walk, "balance broken at key %d: its subtrees are %d and %d tall", node->data,
                 left, right);
  }
  return 1 + (left > right ? left : right);
}

}  // namespace

nod* AVL_lower_bound(const AVL_TREE* tree, int32_t value) {
  return const_cast<nod*>(lower_bound_in(tree->root, value));
}

nod* AVL_upper_bound(const AVL_TREE* tree, int32_t value) {
  return const_cast<nod*>(upper_bound_in(tree->root, value));
}

int32_t AVL_count(const AVL_TREE* tree, int32_t value) {
  return count_in(tree->root, value);
}

int32_t AVL_height(const AVL_TREE* tree) {
  return height_of(tree->root);
}

int32_t AVL_walk(const AVL_TREE* tree, int32_t order, int (*visit)(const nod* node, void* context),
                 void* context) {
  if (order < 0 || order > 2 || visit == nullptr) {
    return -1;
  }
  Visitor visitor{visit, context, 0};
  walk_subtree(tree->root, order, visitor);
  return visitor.visited;
}

int AVL_check(const AVL_TREE* tree, FILE* report) {
  CheckWalk walk{report, 0, 0, false, {}, {}};
  if (tree == nullptr) {
    report_fault(walk, "no tree: the handle is null");
    return 0;
  }
  walk.size = tree->size;
  check_subtree(tree->root, INT32_MIN, INT32_MAX, 1, walk);
  if (!walk.broken && walk.count != tree->size) {
    report_fault(walk, "size broken: size is %d, the tree holds %lld nodes", tree->size,
                 static_cast<long long>(walk.count));
  }
  return walk.broken ? 0 : 1;
}

// ---------------------------------------------------------------- cursors --
//
// The path holds the node's ancestors, root first, and `went_left` one bit
// per ancestor: set where the path turns left. Stepping forwards goes down to
// the leftmost node of the right subtree when there is one; otherwise the
// next node is the nearest ancestor whose left subtree holds this node, which
// is the highest set bit below `depth`, so the climb is one bit scan and no
// ancestor is read on the way. Stepping backwards is the mirror image, with
// the clear bits. Positioning records the search path of the descent it
// makes, and the node it lands on is that descent's answer.

namespace {

constexpr int32_t kCursorPathLength = AVL_CURSOR_PATH_LENGTH;
static_assert(kCursorPathLength <= 64, "one bit of went_left per path entry");

nod* cursor_past_end(AVL_CURSOR* cursor) {
  cursor->node = nullptr;
  cursor->depth = 0;
  return nullptr;
}

void cursor_start(AVL_CURSOR* cursor, const AVL_TREE* tree) {
  cursor->node = nullptr;
  cursor->tree = tree;
  cursor->went_left = 0;
  cursor->depth = 0;
}

// Records `node` as the next ancestor, turning left or right below it.
// Returns false when the path is full: the tree is deeper than any sound one.
inline bool cursor_push(AVL_CURSOR* cursor, nod* node, bool left) {
  const int32_t depth = cursor->depth;
  if (__builtin_expect(depth == kCursorPathLength, 0)) {
    return false;
  }
  cursor->path[depth] = node;
  const uint64_t bit = uint64_t{1} << depth;
  cursor->went_left = left ? cursor->went_left | bit : cursor->went_left & ~bit;
  cursor->depth = depth + 1;
  return true;
}

// Goes down from `node` as far as it leads on one side, recording the path,
// and stands on the last node.
nod* cursor_descend(AVL_CURSOR* cursor, nod* node, bool left) {
  for (;;) {
    nod* child = left ? node->left : node->right;
    if (child == nullptr) {
      cursor->node = node;
      return node;
    }
    if (!cursor_push(cursor, node, left)) {
      return cursor_past_end(cursor);
    }
    node = child;
  }
}

// Climbs to the deepest ancestor whose bit in `turns` is set (the path turned
// towards the node there), or past the end when there is none.
nod* cursor_climb(AVL_CURSOR* cursor, uint64_t turns) {
  turns &= (uint64_t{1} << cursor->depth) - 1;
  if (turns == 0) {
    return cursor_past_end(cursor);
  }
  const int32_t at = 63 - __builtin_clzll(turns);
  cursor->depth = at;
  cursor->node = cursor->path[at];
  return cursor->node;
}

// The descent of lower_bound_in (`strict` false) or upper_bound_in (`strict`
// true): the answer is the last node on the search path that qualifies, and
// its ancestors are the path above it.
nod* cursor_bound(AVL_CURSOR* cursor, const AVL_TREE* tree, int32_t value, bool strict) {
  cursor_start(cursor, tree);
  nod* found = nullptr;
  int32_t found_depth = 0;
  for (nod* node = tree->root; node != nullptr;) {
    const bool qualifies = strict ? node->data > value : node->data >= value;
    if (qualifies) {
      found = node;
      found_depth = cursor->depth;
    }
    nod* child = qualifies ? node->left : node->right;
    if (child != nullptr && !cursor_push(cursor, node, qualifies)) {
      return cursor_past_end(cursor);
    }
    node = child;
  }
  cursor->node = found;
  cursor->depth = found_depth;
  return found;
}

}  // namespace

nod* AVL_cursor_first(AVL_CURSOR* cursor, const AVL_TREE* tree) {
  cursor_start(cursor, tree);
  return tree->root == nullptr ? nullptr : cursor_descend(cursor, tree->root, true);
}

nod* AVL_cursor_last(AVL_CURSOR* cursor, const AVL_TREE* tree) {
  cursor_start(cursor, tree);
  return tree->root == nullptr ? nullptr : cursor_descend(cursor, tree->root, false);
}

nod* AVL_cursor_lower_bound(AVL_CURSOR* cursor, const AVL_TREE* tree, int32_t value) {
  return cursor_bound(cursor, tree, value, false);
}

nod* AVL_cursor_upper_bound(AVL_CURSOR* cursor, const AVL_TREE* tree, int32_t value) {
  return cursor_bound(cursor, tree, value, true);
}

void AVL_cursor_end(AVL_CURSOR* cursor, const AVL_TREE* tree) {
  cursor_start(cursor, tree);
}

nod* AVL_cursor_next(AVL_CURSOR* cursor) {
  nod* node = cursor->node;
  if (node == nullptr) {
    return nullptr;  // past the end it stays
  }
  if (node->right != nullptr) {
    if (!cursor_push(cursor, node, false)) {
      return cursor_past_end(cursor);
    }
    return cursor_descend(cursor, node->right, true);
  }
  return cursor_climb(cursor, cursor->went_left);
}

nod* AVL_cursor_prev(AVL_CURSOR* cursor) {
  nod* node = cursor->node;
  if (node == nullptr) {
    return AVL_cursor_last(cursor, cursor->tree);
  }
  if (node->left != nullptr) {
    if (!cursor_push(cursor, node, true)) {
      return cursor_past_end(cursor);
    }
    return cursor_descend(cursor, node->left, false);
  }
  return cursor_climb(cursor, ~cursor->went_left);
}

nod* AVL_cursor_node(const AVL_CURSOR* cursor) {
  return cursor->node;
}
