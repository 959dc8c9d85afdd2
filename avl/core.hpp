// core.hpp: the AVL tree's recursion, written once for every kind of node.
//
// The C module (ADT_avl_tree.cpp, under nod_policy.hpp) instantiates these
// templates for its records, `nod`; the C++ containers of avl.hpp instantiate
// them for nodes that hold any value. Everything that balances a tree is here:
// the descent, the insertion and deletion recursions and their fix-ups, the
// rotations and the balance tables, the climbing walkers that take the same
// steps from where a change was made, join and split and the set operations
// on them, the cursor that walks a tree without parent links, the bound
// descent and the invariant check. It knows no client: it needs the standard
// library, the trace vocabulary (trace.hpp) and, where the build has it,
// OpenMP.
//
// Shape. Each reshaping call takes a subtree's root and returns the subtree's
// new root, which the caller stores back into the link it passed; `grew` and
// `shrank` tell it whether the subtree changed height. One call level per tree
// level; balance factors are never recomputed from heights: each step knows
// from the factors it reads and the side that changed exactly what the new
// factors are, and sets them before it rotates.
//
// Nodes. A node type has members `left`, `right` (links, null when empty) and
// a balance factor (height(left) - height(right), in -1..+1), which is its
// member `balance` unless the node type says otherwise (balance_field below:
// the containers pack it beside the parent link).
//
// Policy. Every call takes a policy value, `ops`, passed down by value: an
// empty class for the C records, one pointer for a container. It says what
// differs between the kinds of node, and nothing else:
//   node_type                     the node
//   goes_left(new_node, node)     the insertion descent: does new_node go left?
//   admits(new_node)              at the empty link: may it be linked? (a set
//                                 refuses when the descent passed an equal key)
//   where(node)                   the deletion descent: -1 left, +1 right, 0 the
//                                 node to remove
//   moves_keys                    at a node with two children: true moves the
//                                 in-order predecessor's key into the node and
//                                 deletes the predecessor by its key (the C
//                                 records); false lets the predecessor's node
//                                 take the node's place, links and balance, so
//                                 no value moves (the containers)
//   searching(key)                (moves_keys) the policy that deletes by key
//   release(node)                 a node is unlinked: the C records free it, a
//                                 container takes it back
//   keeps_parents                 whether nodes link back to their parents;
//   parent_of(node)               when they do, every step that moves a node
//   adopt(parent, child)          under another one says so through adopt
//                                 (child may be null), and parent_of reads the
//                                 link back. The C records keep none: both are
//                                 empty and compile to nothing. The containers
//                                 keep them, so that their iterators climb,
//                                 and a change made where an iterator stands
//                                 climbs from there (the climbing walkers)
//   note(event, node, a, b)       what the recursion does (trace.hpp): the C
//                                 records forward it to a trace recorder, which
//                                 only the live page has, so natively it is
//                                 nothing; avl::tree follows the rotations and
//                                 releases to keep a cursor's path true
//   cut(node)                     (set operations) the `where` that cuts a tree
//                                 around node's key: -1 before, 0 equal, +1
//                                 after it; where an equal key of the multi
//                                 containers goes is this policy's word
//   record(node, match)           (intersection, difference) keeps a match
#ifndef AVL_CORE_HPP
#define AVL_CORE_HPP

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "avl/trace.hpp"

#if defined(_OPENMP)
#include <omp.h>
#endif

// Branch hints for the hot paths (docs/performance.md says which and why).
// Compilers without the builtins get the plain condition. Undefined at the
// end of this header.
#if defined(__has_builtin)
#if __has_builtin(__builtin_expect_with_probability)
#define AVL_CORE_EXPECT_PROBABILITY(condition, probability) \
  __builtin_expect_with_probability((condition), 1, (probability))
#endif
#if __has_builtin(__builtin_expect)
#define AVL_CORE_UNLIKELY(condition) __builtin_expect((condition), 0)
#endif
#if __has_builtin(__builtin_clzll)
#define AVL_CORE_HAVE_CLZLL 1
#endif
#endif
#ifndef AVL_CORE_EXPECT_PROBABILITY
#define AVL_CORE_EXPECT_PROBABILITY(condition, probability) (condition)
#endif
#ifndef AVL_CORE_UNLIKELY
#define AVL_CORE_UNLIKELY(condition) (condition)
#endif
#if defined(__GNUC__)
#define AVL_CORE_NOINLINE __attribute__((noinline))
#define AVL_CORE_INLINE inline __attribute__((always_inline))
#define AVL_CORE_PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(printf, format_index, first_argument)))
#else
#define AVL_CORE_NOINLINE
#define AVL_CORE_INLINE inline
#define AVL_CORE_PRINTF_FORMAT(format_index, first_argument)
#endif

namespace avl {
namespace core {

// The most levels a sound tree has: the sparsest AVL tree of height h has
// F(h + 2) - 1 nodes (F the Fibonacci numbers), so a tree of up to INT32_MAX
// nodes is at most 44 levels tall.
constexpr int32_t kMaxHeight = 44;

// ------------------------------------------------------- damaged trees --

// A fix-up found a child that cannot be there in a tree built only through
// these functions, which can only mean that balance factors or links were
// changed from outside:
//   - a balanced child on the side that has just grown: after a subtree grows
//     by one level its root always leans, unless it is the new leaf itself,
//     and a lone leaf is never the taller side of a node that already leaned
//     its way;
//   - no child at all on the side a node's balance says is the taller one.
// Carrying on would break the balance invariant silently or follow a null
// link, so the process stops here; exit() still flushes standard output, so
// nothing already printed is lost.
[[noreturn]] inline void stop_inconsistent_tree(const char* what, const char* where) {
  std::fprintf(stderr, "ADT_avl_tree: inconsistent tree: %s in %s\n", what, where);
  std::exit(EXIT_FAILURE);
}

// The child that a fix-up is about to rotate, which a consistent tree always has.
template <class Node>
Node* required_child(Node* child, const char* where) {
  if (child == nullptr) {
    stop_inconsistent_tree("missing child", where);
  }
  return child;
}

// --------------------------------------------------------- balance factors --

// How a node type stores its balance factor: in a member `balance`, unless
// the node type specializes this (the containers keep it in two bits of the
// parent link, which keeps their nodes as small as std's or smaller).
template <class Node>
struct balance_field {
  static int32_t get(const Node* node) { return node->balance; }
  static void put(Node* node, int32_t value) { node->balance = value; }
};

template <class Node>
AVL_CORE_INLINE int32_t balance_of(const Node* node) {
  return balance_field<Node>::get(node);
}

template <class Node>
AVL_CORE_INLINE void put_balance(Node* node, int32_t value) {
  balance_field<Node>::put(node, value);
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
 * The in-order sequence a A b B c is the same on both sides. The rotations
 * relink three pointers and never touch a balance factor; without the pivot
 * they leave the node as it is.
 */
template <class Node>
Node* rotate_left(Node* node) {
  if (node == nullptr || node->right == nullptr) {
    return node;
  }
  Node* pivot = node->right;
  node->right = pivot->left;
  pivot->left = node;
  return pivot;
}

template <class Node>
Node* rotate_right(Node* node) {
  if (node == nullptr || node->left == nullptr) {
    return node;
  }
  Node* pivot = node->left;
  node->left = pivot->right;
  pivot->right = node;
  return pivot;
}

// The rotations of the fix-ups, reported before and after; `below` is 1 for
// the first half of a double rotation, which turns at the child of the
// fixed-up node, one level further down, and 0 otherwise. Where nodes keep
// parent links, the three nodes that moved say so: the inner subtree now
// hangs below the old root, the old root below the pivot, and the pivot below
// the old root's parent (whose link to it the caller stores).
template <class Ops>
typename Ops::node_type* turn_left(typename Ops::node_type* node, Ops ops, int32_t below = 0) {
  typename Ops::node_type* const up = ops.parent_of(node);
  ops.note(trace_event::rotate, node, +1, below);
  typename Ops::node_type* top = rotate_left(node);
  if (Ops::keeps_parents && top != node) {
    ops.adopt(node, node->right);
    ops.adopt(top, node);
    ops.adopt(up, top);
  }
  ops.note(trace_event::rotated, top, +1, below);
  return top;
}

template <class Ops>
typename Ops::node_type* turn_right(typename Ops::node_type* node, Ops ops, int32_t below = 0) {
  typename Ops::node_type* const up = ops.parent_of(node);
  ops.note(trace_event::rotate, node, -1, below);
  typename Ops::node_type* top = rotate_right(node);
  if (Ops::keeps_parents && top != node) {
    ops.adopt(node, node->left);
    ops.adopt(top, node);
    ops.adopt(up, top);
  }
  ops.note(trace_event::rotated, top, -1, below);
  return top;
}

// ---------------------------------------------------------- balance tables --

// Every balance factor the rebalancing writes goes through here.
template <class Ops>
void set_balance(typename Ops::node_type* node, int32_t value, Ops ops) {
  ops.note(trace_event::balance, node, balance_of(node), value);
  put_balance(node, value);
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
template <class Ops>
void set_double_rotation_balances(typename Ops::node_type* grandchild,
                                  typename Ops::node_type* left_part,
                                  typename Ops::node_type* right_part, Ops ops) {
  switch (balance_of(grandchild)) {
    case +1:
      set_balance(left_part, 0, ops);
      set_balance(right_part, -1, ops);
      break;
    case 0:
      set_balance(left_part, 0, ops);
      set_balance(right_part, 0, ops);
      break;
    case -1:
      set_balance(left_part, +1, ops);
      set_balance(right_part, 0, ops);
      break;
    default:
      break;
  }
  set_balance(grandchild, 0, ops);
}

/*
 * A single rotation lifts the child C on the heavy side of N, which leans
 * that way (`lean`: +1 left, -1 right). A child leaning the same way leaves
 * both balanced; a balanced child, which only a deletion meets, leaves N
 * leaning as it did and C leaning the other way. Insertion and deletion share
 * this table; a C outside -1..+1 leaves both as they were.
 */
template <class Ops>
void set_single_rotation_balances(typename Ops::node_type* node, typename Ops::node_type* child,
                                  int32_t lean, Ops ops) {
  if (balance_of(child) == lean) {
    set_balance(node, 0, ops);
    set_balance(child, 0, ops);
  } else if (balance_of(child) == 0) {
    set_balance(node, lean, ops);
    set_balance(child, -lean, ops);
  }
}

// -------------------------------------------------------------- insertion --

template <class Ops>
typename Ops::node_type* balance_left(typename Ops::node_type* node, bool* grew, Ops ops);
template <class Ops>
typename Ops::node_type* balance_right(typename Ops::node_type* node, bool* grew, Ops ops);

// One level of insertion's way back up, at `node`, whose left subtree has
// just grown by one level (grown_on_right: the mirror image):
//
//   balance before | result
//   ---------------+-----------------------------------------------------
//        0         | tilts towards the grown side, growth goes up
//    leans away    | becomes 0, growth stops
//    leans to it   | rotate (balance_left/right), growth stops
//
// Values outside -1..+1 are left alone. Returns the subtree's root, which a
// rotation changes; *grew says whether the growth goes on up. The recursion
// calls these on its way back, and so does the climb from a node linked by
// position (link_and_climb): the steps are written once.
template <class Ops>
AVL_CORE_INLINE typename Ops::node_type* grown_on_left(typename Ops::node_type* node, bool* grew,
                                                       Ops ops) {
  switch (balance_of(node)) {
    case 0:
      set_balance(node, +1, ops);  // taller on the left; so is this subtree
      break;
    case +1:
      ops.note(trace_event::heavy, node, +2, 0);
      node = balance_left(node, grew, ops);
      break;
    case -1:
      set_balance(node, 0, ops);  // the short side caught up: height unchanged
      *grew = false;
      break;
    default:
      break;
  }
  return node;
}

template <class Ops>
AVL_CORE_INLINE typename Ops::node_type* grown_on_right(typename Ops::node_type* node, bool* grew,
                                                        Ops ops) {
  switch (balance_of(node)) {
    case 0:
      set_balance(node, -1, ops);
      break;
    case -1:
      ops.note(trace_event::heavy, node, -2, 0);
      node = balance_right(node, grew, ops);
      break;
    case +1:
      set_balance(node, 0, ops);
      *grew = false;
      break;
    default:
      break;
  }
  return node;
}

// Descends to the empty link where the new node belongs (ops.goes_left picks
// the side: the C records send equal keys right), hangs it there and, on the
// way back up, lets every level whose subtree grew take its step
// (grown_on_left/right). Every link on the path is stored again, whether or
// not the subtree below it changed. When ops.admits refuses the new node at
// the empty link, nothing changes and the node is not linked. The branch
// hints keep the all-right path of ascending keys a straight run of inlined
// levels; see "The code's shape" in docs/performance.md.
template <class Ops>
typename Ops::node_type* insert(typename Ops::node_type* node, typename Ops::node_type* new_node,
                                bool* grew, Ops ops) {
  if (node == nullptr) {
    if (!ops.admits(new_node)) {
      *grew = false;
      return nullptr;
    }
    ops.note(trace_event::leaf, new_node, 0, 0);
    *grew = true;
    ops.note(trace_event::done, new_node, 1, 0);
    return new_node;
  }
  if (AVL_CORE_EXPECT_PROBABILITY(ops.goes_left(new_node, node), 0.4)) {
    ops.note(trace_event::visit, node, -1, 0);
    node->left = insert(node->left, new_node, grew, ops);
    ops.note(trace_event::link, node, -1, 0);
    if (AVL_CORE_UNLIKELY(*grew)) {
      ops.adopt(node, node->left);  // the new leaf, when it is the child
      node = grown_on_left(node, grew, ops);
    }
  } else {
    ops.note(trace_event::visit, node, +1, 0);
    node->right = insert(node->right, new_node, grew, ops);
    ops.note(trace_event::link, node, +1, 0);
    if (AVL_CORE_UNLIKELY(*grew)) {
      ops.adopt(node, node->right);
      node = grown_on_right(node, grew, ops);
    }
  }
  ops.note(trace_event::done, node, *grew, 0);
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
 * subtree is as tall as before the insertion, so growth stops here. A left
 * child outside -1..+1 leaves N as it is, and *grew unwritten.
 */
template <class Ops>
typename Ops::node_type* balance_left(typename Ops::node_type* node, bool* grew, Ops ops) {
  typename Ops::node_type* child = required_child(node->left, "balance_left");
  switch (balance_of(child)) {
    case 0:
      stop_inconsistent_tree("balanced child", "balance_left");
    case +1:  // left-left
      set_single_rotation_balances(node, child, +1, ops);
      node = turn_right(node, ops);
      *grew = false;
      return node;
    case -1:  // left-right
      set_double_rotation_balances(required_child(child->right, "balance_left"), child, node, ops);
      node->left = turn_left(child, ops, 1);
      node = turn_right(node, ops);
      *grew = false;
      return node;
    default:
      return node;
  }
}

// Mirror image of balance_left.
template <class Ops>
typename Ops::node_type* balance_right(typename Ops::node_type* node, bool* grew, Ops ops) {
  typename Ops::node_type* child = required_child(node->right, "balance_right");
  switch (balance_of(child)) {
    case 0:
      stop_inconsistent_tree("balanced child", "balance_right");
    case -1:  // right-right
      set_single_rotation_balances(node, child, -1, ops);
      node = turn_left(node, ops);
      *grew = false;
      return node;
    case +1:  // right-left
      set_double_rotation_balances(required_child(child->left, "balance_right"), node, child, ops);
      node->right = turn_right(child, ops, 1);
      node = turn_left(node, ops);
      *grew = false;
      return node;
    default:
      return node;
  }
}

// --------------------------------------------------------------- deletion --

template <class Ops>
typename Ops::node_type* del_balance_left(typename Ops::node_type* node, bool* shrank, Ops ops);
template <class Ops>
typename Ops::node_type* del_balance_right(typename Ops::node_type* node, bool* shrank, Ops ops);
template <class Ops>
typename Ops::node_type* erase_here(typename Ops::node_type* node, bool* shrank, bool* found,
                                    Ops ops);

// Finds the node ops.where points to (erase_here takes over there) and, while
// the subtree below keeps shrinking, lets each level on the way back up
// rebalance itself. When the descent ends at an empty link, *found is false
// and every link is stored back as it was. The side is picked without a
// conditional jump, and only a level whose subtree shrank looks at it again;
// see "The code's shape" in docs/performance.md.
template <class Ops>
typename Ops::node_type* erase(typename Ops::node_type* node, bool* shrank, bool* found, Ops ops) {
  using Node = typename Ops::node_type;
  if (node == nullptr) {
    ops.note(trace_event::missing, node, 0, 0);
    *found = false;
    *shrank = false;
    return nullptr;
  }
  const int where = ops.where(node);
  if (where == 0) {
    ops.note(trace_event::visit, node, 0, 0);
    return erase_here(node, shrank, found, ops);
  }
  const bool left = where < 0;
  ops.note(trace_event::visit, node, left ? -1 : +1, 0);
  Node* Node::*const link = left ? &Node::left : &Node::right;
  node->*link = erase(node->*link, shrank, found, ops);
  ops.note(trace_event::link, node, left ? -1 : +1, 0);
  if (*shrank) {
    ops.adopt(node, node->*link);  // what took a removed child's place
    node = left ? del_balance_right(node, shrank, ops) : del_balance_left(node, shrank, ops);
  }
  ops.note(trace_event::done, node, *shrank, 0);
  return node;
}

// Deletes the rightmost (Side +1) or leftmost (Side -1) node of a subtree and
// hands it back through `taken`: how a container's node with two children
// finds the predecessor that takes its place, and how join2 below finds a
// middle node for two trees. Parent links are kept as `Ops` keeps them.
template <class Ops, int Side>
struct take_extreme {
  using node_type = typename Ops::node_type;
  using Node = node_type;
  static constexpr bool moves_keys = false;
  static constexpr bool keeps_parents = Ops::keeps_parents;
  Ops ops;
  Node** taken;
  int where(const Node* node) const {
    return (Side > 0 ? node->right : node->left) != nullptr ? Side : 0;
  }
  void release(Node* node) const { *taken = node; }
  Node* parent_of(const Node* node) const { return ops.parent_of(node); }
  void adopt(Node* parent, Node* child) const { ops.adopt(parent, child); }
  template <class Node_>
  static void note(trace_event, const Node_*, int32_t, int32_t) {}
};

// The policy that takes the rightmost node below a node with two children:
// one level deep only, since that node has no right child.
template <class Ops>
take_extreme<Ops, +1> taking_rightmost(Ops ops, typename Ops::node_type** taken) {
  return {ops, taken};
}
template <class Ops, int Side>
take_extreme<Ops, +1> taking_rightmost(take_extreme<Ops, Side> ops,
                                       typename Ops::node_type** taken) {
  return {ops.ops, taken};
}

template <class Node>
Node* rightmost(Node* node) {
  while (node->right != nullptr) {
    node = node->right;
  }
  return node;
}

template <class Node>
Node* leftmost(Node* node) {
  while (node->left != nullptr) {
    node = node->left;
  }
  return node;
}

// `replacement` takes `node`'s place below its parent: its links (the left
// one given, as the caller has reshaped that side) and its balance.
template <class Ops>
void stand_in(typename Ops::node_type* replacement, typename Ops::node_type* node,
              typename Ops::node_type* left, Ops ops) {
  replacement->left = left;
  replacement->right = node->right;
  put_balance(replacement, balance_of(node));
  ops.adopt(replacement, left);
  ops.adopt(replacement, node->right);
}

// The end of a deletion's descent: `node` is the one to remove. With at most
// one child the node goes and the child takes its place. With two, its
// in-order predecessor (the rightmost node of its left subtree, which has no
// right child) goes from the left subtree instead, in one of two ways:
//   - moves_keys (the C records): the node keeps its place and takes the
//     predecessor's key, and that key is deleted from the left subtree by the
//     same search. In a tree whose keys were put out of order by hand the
//     search may miss it; the node then gets its own key back and the
//     deletion reports nothing found, with the tree as it was;
//   - otherwise the predecessor's node is unlinked and takes the node's place
//     (links and balance), so no value moves and references to the others
//     stay good.
// Reached once per deletion, so it stays out of the descent's code.
template <class Ops>
AVL_CORE_NOINLINE typename Ops::node_type* erase_here(typename Ops::node_type* node, bool* shrank,
                                                      bool* found, Ops ops) {
  using Node = typename Ops::node_type;
  ops.note(trace_event::found, node, (node->left != nullptr) + (node->right != nullptr), 0);
  if (node->left == nullptr || node->right == nullptr) {
    // At most one child: it takes the node's place, one level higher.
    Node* kept = node->left == nullptr ? node->right : node->left;
    ops.note(trace_event::release, node, 0, 0);
    ops.release(node);
    *found = true;
    *shrank = true;
    ops.note(trace_event::done, kept, 1, 0);
    return kept;
  }
  if constexpr (Ops::moves_keys) {
    const Node* predecessor = rightmost(node->left);
    ops.note(trace_event::rekey, node, node->data, predecessor->data);
    const auto held = node->data;
    node->data = predecessor->data;
    node->left = erase(node->left, shrank, found, ops.searching(node->data));
    if (!*found) {
      node->data = held;
      return node;
    }
  } else {
    Node* predecessor = nullptr;
    node->left = erase(node->left, shrank, found, taking_rightmost(ops, &predecessor));
    stand_in(predecessor, node, node->left, ops);
    ops.adopt(ops.parent_of(node), predecessor);
    ops.release(node);
    node = predecessor;
  }
  ops.note(trace_event::link, node, -1, 0);
  if (*shrank) {
    node = del_balance_right(node, shrank, ops);
  }
  ops.note(trace_event::done, node, *shrank, 0);
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
template <class Ops>
typename Ops::node_type* del_balance_left(typename Ops::node_type* node, bool* shrank, Ops ops) {
  switch (balance_of(node)) {
    case 0:
      set_balance(node, +1, ops);
      *shrank = false;  // height unchanged: stop
      return node;
    case -1:
      set_balance(node, 0, ops);  // one level lower: keep going
      return node;
    case +1: {
      ops.note(trace_event::heavy, node, +2, 0);
      typename Ops::node_type* child = required_child(node->left, "del_balance_left");
      if (balance_of(child) == -1) {
        set_double_rotation_balances(required_child(child->right, "del_balance_left"), child, node,
                                     ops);
        node->left = turn_left(child, ops, 1);
        return turn_right(node, ops);
      }
      if (balance_of(child) == 0) {
        *shrank = false;  // the rotated subtree keeps its height
      }
      set_single_rotation_balances(node, child, +1, ops);
      return turn_right(node, ops);
    }
    default:
      return node;
  }
}

// Mirror image of del_balance_left.
template <class Ops>
typename Ops::node_type* del_balance_right(typename Ops::node_type* node, bool* shrank, Ops ops) {
  switch (balance_of(node)) {
    case 0:
      set_balance(node, -1, ops);
      *shrank = false;
      return node;
    case +1:
      set_balance(node, 0, ops);
      return node;
    case -1: {
      ops.note(trace_event::heavy, node, -2, 0);
      typename Ops::node_type* child = required_child(node->right, "del_balance_right");
      if (balance_of(child) == +1) {
        set_double_rotation_balances(required_child(child->left, "del_balance_right"), node, child,
                                     ops);
        node->right = turn_right(child, ops, 1);
        return turn_left(node, ops);
      }
      if (balance_of(child) == 0) {
        *shrank = false;
      }
      set_single_rotation_balances(node, child, -1, ops);
      return turn_left(node, ops);
    }
    default:
      return node;
  }
}

// ------------------------------------------------------ climbing walkers --
//
// Where nodes keep parent links, a change made at a known place needs no
// descent from the root: link_and_climb hangs a new leaf at an empty link and
// unlink_and_climb takes a node out where it stands, and each then climbs the
// parent links, every level taking the very step that the recursion's way
// back takes there (grown_on_left/right, del_balance_left/right), until the
// height stops changing. That is O(1) amortised over a sequence of changes,
// O(log n) at worst. `top` is the node above the root, whose left link is the
// root, so that the root is relinked like any other child and the climb ends
// there.

// `parent` now holds `fresh` where it held `old`.
template <class Ops>
AVL_CORE_INLINE void relink(typename Ops::node_type* parent, const typename Ops::node_type* old,
                            typename Ops::node_type* fresh, Ops ops) {
  if (parent->left == old) {
    parent->left = fresh;
  } else {
    parent->right = fresh;
  }
  ops.adopt(parent, fresh);
}

// From `node`, one of whose subtrees (the left one when `left`) has just
// changed height, up to `top`: each level takes `step` (node, side, and the
// flag that says the change goes on), and a rotated subtree's new root is
// hung where the level's node was.
template <class Ops, class Step>
void climb(typename Ops::node_type* node, bool left, const typename Ops::node_type* top, Step step,
           Ops ops) {
  using Node = typename Ops::node_type;
  bool goes_on = true;
  while (node != top) {
    Node* const up = ops.parent_of(node);
    Node* const root = step(node, left, &goes_on);
    if (root != node) {
      relink(up, node, root, ops);
    }
    if (!goes_on) {
      return;
    }
    left = up->left == root;
    node = up;
  }
}

// Hangs `fresh` (a lone node) at the empty link on side `left` of `parent`
// (`top` itself for an empty tree) and rebalances the way up.
template <class Ops>
void link_and_climb(typename Ops::node_type* parent, bool left, typename Ops::node_type* fresh,
                    const typename Ops::node_type* top, Ops ops) {
  using Node = typename Ops::node_type;
  fresh->left = nullptr;
  fresh->right = nullptr;
  put_balance(fresh, 0);
  (left ? parent->left : parent->right) = fresh;
  ops.adopt(parent, fresh);
  ops.note(trace_event::leaf, fresh, 0, 0);
  climb(
      parent, left, top,
      [ops](Node* at, bool on_left, bool* grew) {
        return on_left ? grown_on_left(at, grew, ops) : grown_on_right(at, grew, ops);
      },
      ops);
}

// Unlinks `node` where it stands and rebalances the way up; the caller owns
// it afterwards. With two children its in-order predecessor takes its place,
// links and balance (as the recursion's erase does for nodes that keep their
// values), so no value moves.
template <class Ops>
void unlink_and_climb(typename Ops::node_type* node, const typename Ops::node_type* top, Ops ops) {
  using Node = typename Ops::node_type;
  Node* const parent = ops.parent_of(node);
  Node* at = parent;  // the lowest node one of whose subtrees is a level lower
  bool left = parent->left == node;
  if (node->left != nullptr && node->right != nullptr) {
    Node* const predecessor = rightmost(node->left);
    if (predecessor == node->left) {
      at = predecessor;  // it moves up one level, and its left subtree with it
      left = true;
      stand_in(predecessor, node, predecessor->left, ops);
    } else {
      at = ops.parent_of(predecessor);
      left = false;
      at->right = predecessor->left;
      ops.adopt(at, predecessor->left);
      stand_in(predecessor, node, node->left, ops);
    }
    relink(parent, node, predecessor, ops);
  } else {
    relink(parent, node, node->left != nullptr ? node->left : node->right, ops);
  }
  ops.note(trace_event::release, node, 0, 0);
  climb(
      at, left, top,
      [ops](Node* level, bool on_left, bool* shrank) {
        return on_left ? del_balance_right(level, shrank, ops)
                       : del_balance_left(level, shrank, ops);
      },
      ops);
}

// ------------------------------------------------------- join and split --
//
// Whole trees at once, on the recursion's shape: a subtree in, the new root
// out. A subtree travels with its height (a piece), and every height below
// it comes from the balance factors on the way down (a child is one level
// lower than its parent, or two on the side the parent does not lean to), so
// no height is ever recomputed from the leaves. join hangs two trees and a
// middle node together in O(|difference of their heights|), reusing
// insertion's per-level steps on its way back; split cuts a tree at a key in
// O(log n) by joining the pieces its descent leaves on either side; the set
// operations below are short recursions on the two. Where nodes keep parent
// links they are kept right, but a piece's own root may keep a stale one
// until it is hung somewhere.

template <class Node>
struct piece {
  Node* root;
  int32_t height;  // levels; 0 for an empty piece
};

template <class Node>
piece<Node> left_piece(const piece<Node>& whole) {
  return {whole.root->left, balance_of(whole.root) < 0 ? whole.height - 2 : whole.height - 1};
}

template <class Node>
piece<Node> right_piece(const piece<Node>& whole) {
  return {whole.root->right, balance_of(whole.root) > 0 ? whole.height - 2 : whole.height - 1};
}

// `middle` with `left` and `right` as its subtrees, whose heights differ by
// one level at most; returns its height.
template <class Ops>
int32_t hang_between(piece<typename Ops::node_type> left, typename Ops::node_type* middle,
                     piece<typename Ops::node_type> right, Ops ops) {
  middle->left = left.root;
  middle->right = right.root;
  ops.adopt(middle, left.root);
  ops.adopt(middle, right.root);
  put_balance(middle, left.height - right.height);
  return 1 + (left.height > right.height ? left.height : right.height);
}

template <class Ops>
typename Ops::node_type* join_right(typename Ops::node_type* node, int32_t height,
                                    typename Ops::node_type* middle,
                                    piece<typename Ops::node_type> right, bool* grew, Ops ops);
template <class Ops>
typename Ops::node_type* join_left(piece<typename Ops::node_type> left,
                                   typename Ops::node_type* middle, typename Ops::node_type* node,
                                   int32_t height, bool* grew, Ops ops);

// The tree of `left`, then `middle`, then `right`, whose keys are in that
// order already. The taller side is walked down to where the other fits
// beside it under `middle`; that subtree is one level taller than before, so
// the levels above take insertion's step for a subtree that grew, which
// rotates at most once. O(|left.height - right.height|).
template <class Ops>
piece<typename Ops::node_type> join(piece<typename Ops::node_type> left,
                                    typename Ops::node_type* middle,
                                    piece<typename Ops::node_type> right, Ops ops) {
  if (left.height > right.height + 1) {
    bool grew = false;
    typename Ops::node_type* top = join_right(left.root, left.height, middle, right, &grew, ops);
    return {top, left.height + (grew ? 1 : 0)};
  }
  if (right.height > left.height + 1) {
    bool grew = false;
    typename Ops::node_type* top = join_left(left, middle, right.root, right.height, &grew, ops);
    return {top, right.height + (grew ? 1 : 0)};
  }
  return {middle, hang_between(left, middle, right, ops)};
}

// `node` (of `height`) is at least two levels taller than `right`: go down
// its right spine to the first subtree at most one level taller than
// `right`, and put `middle` there with that subtree on its left. That
// subtree was as tall as `right` or one level taller, so `middle` is
// balanced or leans left, and the spine grew by one level there: the
// levels above take grown_on_right, as after an insertion.
template <class Ops>
typename Ops::node_type* join_right(typename Ops::node_type* node, int32_t height,
                                    typename Ops::node_type* middle,
                                    piece<typename Ops::node_type> right, bool* grew, Ops ops) {
  const piece<typename Ops::node_type> spine =
      right_piece(piece<typename Ops::node_type>{node, height});
  if (spine.height <= right.height + 1) {
    hang_between(spine, middle, right, ops);
    node->right = middle;
    *grew = true;
  } else {
    node->right = join_right(spine.root, spine.height, middle, right, grew, ops);
  }
  ops.adopt(node, node->right);
  if (*grew) {
    node = grown_on_right(node, grew, ops);
  }
  return node;
}

// Mirror image of join_right.
template <class Ops>
typename Ops::node_type* join_left(piece<typename Ops::node_type> left,
                                   typename Ops::node_type* middle, typename Ops::node_type* node,
                                   int32_t height, bool* grew, Ops ops) {
  const piece<typename Ops::node_type> spine =
      left_piece(piece<typename Ops::node_type>{node, height});
  if (spine.height <= left.height + 1) {
    hang_between(left, middle, spine, ops);
    node->left = middle;
    *grew = true;
  } else {
    node->left = join_left(left, middle, spine.root, spine.height, grew, ops);
  }
  ops.adopt(node, node->left);
  if (*grew) {
    node = grown_on_left(node, grew, ops);
  }
  return node;
}

// The tree of `left`, then `right`, with no middle node: the first node of
// `right` is taken out (a deletion's recursion) to serve as one.
template <class Ops>
piece<typename Ops::node_type> join2(piece<typename Ops::node_type> left,
                                     piece<typename Ops::node_type> right, Ops ops) {
  using Node = typename Ops::node_type;
  if (right.root == nullptr) {
    return left;
  }
  if (left.root == nullptr) {
    return right;
  }
  Node* first = nullptr;
  bool shrank = false;
  bool found = false;
  Node* rest = erase(right.root, &shrank, &found, take_extreme<Ops, -1>{ops, &first});
  return join(left, first, piece<Node>{rest, right.height - (shrank ? 1 : 0)}, ops);
}

// Cuts `whole` where `where` says: where(node) is -1 for a node that belongs
// to the left part, +1 for one of the right part, and 0 for the one node
// (a unique key's) that is taken out between them into *middle; it must say
// so in key order (every -1 before every 0 before every +1). O(log n): the
// descent follows one path, and each level joins what it leaves aside.
// `where` may throw (it is the comparator): then *left holds every node of
// `whole` again, rejoined, and *right is empty.
template <class Ops, class Where>
void split(piece<typename Ops::node_type> whole, Where& where, piece<typename Ops::node_type>* left,
           typename Ops::node_type** middle, piece<typename Ops::node_type>* right, Ops ops) {
  using Node = typename Ops::node_type;
  *middle = nullptr;
  *right = piece<Node>{nullptr, 0};
  if (whole.root == nullptr) {
    *left = whole;
    return;
  }
  Node* const node = whole.root;
  int side = 0;
  try {
    side = where(static_cast<const Node*>(node));
  } catch (...) {
    *left = whole;
    throw;
  }
  const piece<Node> below_left = left_piece(whole);
  const piece<Node> below_right = right_piece(whole);
  if (side == 0) {
    *left = below_left;
    *middle = node;
    *right = below_right;
    return;
  }
  piece<Node> first{nullptr, 0};
  piece<Node> second{nullptr, 0};
  try {
    split(side < 0 ? below_right : below_left, where, &first, middle, &second, ops);
  } catch (...) {
    *left = side < 0 ? join(below_left, node, first, ops) : join(first, node, below_right, ops);
    throw;
  }
  if (side < 0) {
    *left = join(below_left, node, first, ops);
    *right = second;
  } else {
    *left = first;
    *right = join(second, node, below_right, ops);
  }
}

// ----------------------------------------------- union, intersection, ... --
//
// Two trees of unique keys, the container's own (`a`) and another one (`b`),
// on the shape of Blelloch, Ferizovic and Sun's join-based algorithms: the
// root of one cuts the other, and the two sides recurse apart, so the work
// is O(m log(n/m + 1)) for sizes m <= n. The two recursive calls share no
// node, so they may run at once (`fork`, on OpenMP tasks, when the build has
// OpenMP); the comparator is then called from two threads at once, and
// nothing is allocated or released. The policy says how two keys compare:
// ops.cut(x) is the `where` that cuts a tree around x's key (-1 before it,
// 0 equal, +1 after it).
//
// A comparator that throws loses nothing: each level on the way back hangs
// what it holds, processed or not, on the side it came from, so the
// exception leaves every node in one of two trees, both sound.

// Whether a level hands its two recursive calls to two threads: when the
// caller asked (`depth` levels from the top may fork: 2^depth tasks are
// plenty to keep a few cores busy, and each costs), the build has OpenMP,
// and both trees still have `levels` levels below them.
struct fork_policy {
  int32_t depth;
  int32_t levels;
  bool splits(int32_t a_height, int32_t b_height) const {
    return depth > 0 && a_height >= levels && b_height >= levels;
  }
  fork_policy below() const { return {depth > 0 ? depth - 1 : 0, levels}; }
};

// Runs a level's two calls, at once on two OpenMP tasks when `at_once`, else
// one after the other, the second only when the first did not throw; returns
// the first exception either threw (or none). Each call has written its
// outputs, thrown or not.
template <class FirstCall, class SecondCall>
std::exception_ptr both_caught(bool at_once, FirstCall&& first_call, SecondCall&& second_call) {
  std::exception_ptr errors[2];
  auto first = [&] {
    try {
      first_call();
      return true;
    } catch (...) {
      errors[0] = std::current_exception();
      return false;
    }
  };
  auto second = [&] {
    try {
      second_call();
      return true;
    } catch (...) {
      errors[1] = std::current_exception();
      return false;
    }
  };
#if defined(_OPENMP)
  if (at_once) {
#pragma omp task default(shared)
    first();
    second();
#pragma omp taskwait
  } else if (first()) {
    second();
  }
#else
  static_cast<void>(at_once);
  if (first()) {
    second();
  }
#endif
  return errors[0] ? errors[0] : errors[1];
}

// Calls `body` inside a team of OpenMP threads, so that its tasks have
// somewhere to run, unless it already is inside one (or has no OpenMP).
template <class Body>
void with_threads(bool wanted, Body& body) {
#if defined(_OPENMP)
  if (wanted && !omp_in_parallel()) {
    std::exception_ptr error;
#pragma omp parallel
#pragma omp single
    {
      try {
        body();
      } catch (...) {
        error = std::current_exception();
      }
    }
    if (error) {
      std::rethrow_exception(error);
    }
    return;
  }
#else
  static_cast<void>(wanted);
#endif
  body();
}

// The union of `a` and `b` into *result: every node of `a`, and those of `b`
// whose key `a` does not have, which go to *dropped (as one tree, in key
// order) for the caller to release. On an exception *result holds every
// node of `a` and whatever of `b` was merged already, and *dropped every
// other node of `b`; both are sound trees.
template <class Ops>
void unite(piece<typename Ops::node_type> a, piece<typename Ops::node_type> b,
           piece<typename Ops::node_type>* result, piece<typename Ops::node_type>* dropped, Ops ops,
           fork_policy fork) {
  using Node = typename Ops::node_type;
  *dropped = piece<Node>{nullptr, 0};
  if (a.root == nullptr || b.root == nullptr) {
    *result = a.root == nullptr ? b : a;
    return;
  }
  Node* const node = a.root;
  auto cut = ops.cut(node);
  piece<Node> b_left{nullptr, 0};
  piece<Node> b_right{nullptr, 0};
  Node* equal = nullptr;
  try {
    split(b, cut, &b_left, &equal, &b_right, ops);
  } catch (...) {
    *result = a;
    *dropped = b_left;
    throw;
  }
  // What each side holds if its call never runs, or throws: the same shape.
  piece<Node> left = left_piece(a);
  piece<Node> right = right_piece(a);
  piece<Node> left_dropped = b_left;
  piece<Node> right_dropped = b_right;
  const std::exception_ptr error = both_caught(
      fork.splits(a.height, b.height),
      [&] { unite(left_piece(a), b_left, &left, &left_dropped, ops, fork.below()); },
      [&] { unite(right_piece(a), b_right, &right, &right_dropped, ops, fork.below()); });
  *result = join(left, node, right, ops);
  *dropped = equal != nullptr ? join(left_dropped, equal, right_dropped, ops)
                              : join2(left_dropped, right_dropped, ops);
  if (error) {
    std::rethrow_exception(error);
  }
}

// For every node of `b`, which is only read, the node of `a` with an equal
// key: ops.record(b_node, a_node) keeps it (in the b node, which the caller
// releases afterwards). *result is `a` again, every node of it, rejoined.
// Intersection and difference are this and then, without a comparison,
// taking the recorded nodes out (or keeping only them). On an exception
// *result is still every node of `a`, and some b nodes hold records, which
// the caller clears.
template <class Ops>
void find_equals(typename Ops::node_type* b, int32_t b_height, piece<typename Ops::node_type> a,
                 piece<typename Ops::node_type>* result, Ops ops, fork_policy fork) {
  using Node = typename Ops::node_type;
  if (b == nullptr || a.root == nullptr) {
    *result = a;
    return;
  }
  auto cut = ops.cut(b);
  piece<Node> a_left{nullptr, 0};
  piece<Node> a_right{nullptr, 0};
  Node* equal = nullptr;
  try {
    split(a, cut, &a_left, &equal, &a_right, ops);
  } catch (...) {
    *result = a_left;
    throw;
  }
  if (equal != nullptr) {
    ops.record(b, equal);
  }
  const piece<Node> below{b, b_height};
  const piece<Node> b_left = left_piece(below);
  const piece<Node> b_right = right_piece(below);
  piece<Node> left = a_left;
  piece<Node> right = a_right;
  const std::exception_ptr error = both_caught(
      fork.splits(a.height, b_height),
      [&] { find_equals(b_left.root, b_left.height, a_left, &left, ops, fork.below()); },
      [&] { find_equals(b_right.root, b_right.height, a_right, &right, ops, fork.below()); });
  *result = equal != nullptr ? join(left, equal, right, ops) : join2(left, right, ops);
  if (error) {
    std::rethrow_exception(error);
  }
}

// ------------------------------------------------------- whole subtrees --

// Levels from `node` down (0 for an empty subtree), following the taller side
// as the balance factors say: O(log n), and it trusts them.
template <class Node>
int32_t height(const Node* node) {
  int32_t levels = 0;
  for (; node != nullptr; node = balance_of(node) < 0 ? node->right : node->left) {
    levels += 1;
  }
  return levels;
}

// Releases every node of the subtree without recursion, so that any subtree
// whose links form no cycle and share no node goes in constant stack, however
// tall a hand-built tree is. While the node at the top has a left child, a
// right rotation lifts that child above it (the in-order sequence stays, and
// each rotation puts one more node on the right spine for good); a top
// without a left child is released and its right subtree takes its place.
// O(n): at most one rotation per node.
template <class Node, class Release>
void destroy(Node* top, Release release) {
  while (top != nullptr) {
    if (top->left != nullptr) {
      top = rotate_right(top);
    } else {
      Node* rest = top->right;
      release(top);
      top = rest;
    }
  }
}

// A copy of the subtree in the same shape, balance factors included; `copy`
// makes one node's copy (its links are set here) and may throw, in which case
// what was copied so far goes back through `release` before the exception
// goes on. Parent links are kept as `ops` keeps them, the copy's root's
// excepted. As deep as the subtree is tall.
template <class Node, class Copy, class Release, class Ops>
Node* clone(const Node* node, Copy& copy, Release& release, Ops ops) {
  if (node == nullptr) {
    return nullptr;
  }
  Node* top = copy(node);
  top->left = nullptr;
  top->right = nullptr;
  put_balance(top, balance_of(node));
  try {
    top->left = clone<Node>(node->left, copy, release, ops);
    ops.adopt(top, top->left);
    top->right = clone<Node>(node->right, copy, release, ops);
    ops.adopt(top, top->right);
  } catch (...) {
    destroy(top, release);
    throw;
  }
  return top;
}

// Builds a balanced tree of the first `count` nodes of a list linked through
// their `right` links (in in-order), advancing `head` past them, and returns
// its root; *levels is its height. The left part takes the larger half, so
// every balance is 0 or +1. Parent links are kept as `ops` keeps them, the
// root's excepted. O(count), as deep as the result is tall.
template <class Node, class Ops>
Node* build_from_list(Node*& head, std::size_t count, int32_t* levels, Ops ops) {
  if (count == 0) {
    *levels = 0;
    return nullptr;
  }
  const std::size_t left_count = count / 2;
  int32_t left_levels = 0;
  int32_t right_levels = 0;
  Node* left = build_from_list(head, left_count, &left_levels, ops);
  Node* top = head;
  head = head->right;
  top->left = left;
  ops.adopt(top, left);
  top->right = build_from_list(head, count - 1 - left_count, &right_levels, ops);
  ops.adopt(top, top->right);
  put_balance(top, left_levels - right_levels);
  *levels = 1 + (left_levels > right_levels ? left_levels : right_levels);
  return top;
}

// ---------------------------------------------------------------- cursors --
//
// A cursor stands on one node, or past the end, and keeps the path from the
// root to it: `path` holds the node's ancestors, root first, `depth` how many,
// and `went_left` one bit per ancestor, set where the path turns left.
// Stepping forwards goes down to the leftmost node of the right subtree when
// there is one; otherwise the next node is the nearest ancestor whose left
// subtree holds this node, which is the highest set bit below `depth`, so the
// climb is one bit scan and no ancestor is read on the way. Stepping backwards
// is the mirror image, with the clear bits. Positioning records the search
// path of the descent it makes, and the node it lands on is that descent's
// answer. Any cursor type with the members node, went_left, depth and
// path[kPathLength] will do (AVL_CURSOR for the C records).
//
// No path is followed deeper than kPathLength ancestors: a deeper node can
// only be in a tree damaged by hand, and the cursor then ends past the end.

constexpr int32_t kPathLength = kMaxHeight + 1;
static_assert(kPathLength <= 64, "one bit of went_left per path entry");

template <class Node>
struct cursor {
  Node* node;
  uint64_t went_left;
  int32_t depth;
  Node* path[kPathLength];
};

// The index of the highest set bit of a non-zero word.
inline int32_t highest_bit(uint64_t bits) {
#if defined(AVL_CORE_HAVE_CLZLL)
  return 63 - __builtin_clzll(bits);
#else
  int32_t at = 0;
  while (bits >>= 1) {
    at += 1;
  }
  return at;
#endif
}

template <class Cursor>
auto cursor_past_end(Cursor& c) -> decltype(c.node) {
  c.node = nullptr;
  c.depth = 0;
  return nullptr;
}

template <class Cursor>
void cursor_start(Cursor& c) {
  c.node = nullptr;
  c.went_left = 0;
  c.depth = 0;
}

// Records `node` as the next ancestor, turning left or right below it.
// Returns false when the path is full: the tree is deeper than any sound one.
template <class Cursor, class Node>
inline bool cursor_push(Cursor& c, Node* node, bool left) {
  const int32_t depth = c.depth;
  if (AVL_CORE_UNLIKELY(depth == kPathLength)) {
    return false;
  }
  c.path[depth] = node;
  const uint64_t bit = uint64_t{1} << depth;
  c.went_left = left ? c.went_left | bit : c.went_left & ~bit;
  c.depth = depth + 1;
  return true;
}

// Goes down from `node` as far as it leads on one side, recording the path,
// and stands on the last node.
template <class Cursor, class Node>
Node* cursor_descend(Cursor& c, Node* node, bool left) {
  for (;;) {
    Node* child = left ? node->left : node->right;
    if (child == nullptr) {
      c.node = node;
      return node;
    }
    if (!cursor_push(c, node, left)) {
      return cursor_past_end(c);
    }
    node = child;
  }
}

// Climbs to the deepest ancestor whose bit in `turns` is set (the path turned
// towards the node there), or past the end when there is none.
template <class Cursor>
auto cursor_climb(Cursor& c, uint64_t turns) -> decltype(c.node) {
  turns &= (uint64_t{1} << c.depth) - 1;
  if (turns == 0) {
    return cursor_past_end(c);
  }
  const int32_t at = highest_bit(turns);
  c.depth = at;
  c.node = c.path[at];
  return c.node;
}

template <class Cursor, class Node>
Node* cursor_first(Cursor& c, Node* root) {
  cursor_start(c);
  return root == nullptr ? nullptr : cursor_descend(c, root, true);
}

template <class Cursor, class Node>
Node* cursor_last(Cursor& c, Node* root) {
  cursor_start(c);
  return root == nullptr ? nullptr : cursor_descend(c, root, false);
}

// The next node in in-order, or null (past the end) off the last one; past
// the end it stays.
template <class Cursor>
auto cursor_next(Cursor& c) -> decltype(c.node) {
  auto* node = c.node;
  if (node == nullptr) {
    return nullptr;
  }
  if (node->right != nullptr) {
    if (!cursor_push(c, node, false)) {
      return cursor_past_end(c);
    }
    return cursor_descend(c, node->right, true);
  }
  return cursor_climb(c, c.went_left);
}

// The previous node, or null off the first one; from past the end, the last
// node of the tree rooted at `root`.
template <class Cursor, class Node>
Node* cursor_prev(Cursor& c, Node* root) {
  Node* node = c.node;
  if (node == nullptr) {
    return cursor_last(c, root);
  }
  if (node->left != nullptr) {
    if (!cursor_push(c, node, true)) {
      return cursor_past_end(c);
    }
    return cursor_descend(c, node->left, false);
  }
  return cursor_climb(c, ~c.went_left);
}

// ------------------------------------------------- keeping a path true --
//
// A container keeps a cursor on one node across a change of the tree (the
// node an insertion linked, the node after the one an erasure removed), by
// following each single rotation and each removal on the cursor's path as
// the recursion reports them, instead of searching for the node again, which
// among equal keys could not tell it from the others. The reporting level
// knows the depth of the node it changes, and a node at depth d can only be
// the cursor's node or its path's entry d, so each report costs O(1) (plus
// moving the entries below when one comes or goes).

// Makes room for an ancestor at index `at`, or drops one from there; the
// entries below move with their bits.
template <class Cursor, class Node>
void path_insert(Cursor& c, int32_t at, Node* node, bool left) {
  if (c.depth == kPathLength) {
    return;  // deeper than any tree of at most INT32_MAX nodes
  }
  std::memmove(&c.path[at + 1], &c.path[at], sizeof(Node*) * static_cast<size_t>(c.depth - at));
  const uint64_t below = (uint64_t{1} << at) - 1;
  c.went_left =
      (c.went_left & below) | ((c.went_left & ~below) << 1) | (static_cast<uint64_t>(left) << at);
  c.path[at] = node;
  c.depth += 1;
}

template <class Cursor>
void path_erase(Cursor& c, int32_t at) {
  std::memmove(&c.path[at], &c.path[at + 1],
               sizeof(c.path[0]) * static_cast<size_t>(c.depth - at - 1));
  const uint64_t below = (uint64_t{1} << at) - 1;
  c.went_left = (c.went_left & below) | ((c.went_left >> (at + 1)) << at);
  c.depth -= 1;
}

// Where `node`, at depth `depth`, is on the cursor's way: its path's entry,
// the cursor's own node (depth), or not at all (-1).
template <class Cursor, class Node>
int32_t path_index(const Cursor& c, const Node* node, int32_t depth) {
  if (depth < c.depth && c.path[depth] == node) {
    return depth;
  }
  return c.node == node ? c.depth : -1;
}

template <class Cursor>
bool path_turns_left(const Cursor& c, int32_t at) {
  return ((c.went_left >> at) & 1u) != 0;
}

// A single rotation has just lifted `top` into the place at `depth` (a left
// rotation: top's left child is the old root N; a right one: its right child).
template <class Cursor, class Node>
void path_follow_rotation(Cursor& c, Node* top, bool left_rotation, int32_t depth) {
  Node* const old_root = left_rotation ? top->left : top->right;
  const int32_t at = path_index(c, old_root, depth);
  if (at < 0) {
    return;  // the rotation is beside the path
  }
  if (at == c.depth || path_turns_left(c, at) == left_rotation) {
    // The node is N or lies on N's side that stays with it: top is now above N.
    path_insert(c, at, top, left_rotation);
    return;
  }
  // The path went from N to top.
  if (at + 1 == c.depth) {
    path_erase(c, at);  // the node is top itself, one level higher
  } else if (path_turns_left(c, at + 1) == left_rotation) {
    // Into top's inner subtree, which is now N's: top, then N.
    c.path[at] = top;
    c.path[at + 1] = old_root;
    const uint64_t here = uint64_t{1} << at;
    const uint64_t next = here << 1;
    c.went_left = left_rotation ? (c.went_left | here) & ~next : (c.went_left & ~here) | next;
  } else {
    path_erase(c, at);  // top's outer subtree: N leaves the path
  }
}

// `node`, at `depth`, was unlinked and its only child (or nothing) took its
// place.
template <class Cursor, class Node>
void path_follow_unlink(Cursor& c, const Node* node, int32_t depth) {
  const int32_t at = path_index(c, node, depth);
  if (at >= 0 && at < c.depth) {
    path_erase(c, at);
  }
}

// A cursor kept on one node through a change, as a policy's note passes the
// reports on: the visits of an insertion's descent make its path (`Builds`),
// the leaf is its node, and each rotation and removal mends it at the depth
// the recursion is at, which the visits and the levels' returns count. Null
// `cursor` (an erasure's only): nothing is kept.
template <class Cursor, bool Builds>
struct kept_cursor {
  Cursor* cursor;
  int32_t level = 0;

  // Inlined into every report, where the event is a constant and all but
  // its own case fold away.
  template <class Node>
  AVL_CORE_INLINE void note(trace_event event, Node* node, int32_t a, int32_t b) {
    switch (event) {
      case trace_event::visit:
        if (a != 0) {  // not the node an erasure removes, which stays at its level
          if constexpr (Builds) {
            cursor_push(*cursor, node, a < 0);
          }
          level += 1;
        }
        break;
      case trace_event::leaf:
        if constexpr (Builds) {
          cursor->node = node;
        }
        break;
      case trace_event::rotated:
        if (Builds || cursor != nullptr) {
          path_follow_rotation(*cursor, node, a > 0, level + b);
        }
        break;
      case trace_event::release:
        if (Builds || cursor != nullptr) {
          path_follow_unlink(*cursor, node, level);
        }
        break;
      case trace_event::done:
        level -= 1;
        break;
      default:
        break;
    }
  }
};

// A descent that follows the turns of a cursor's path instead of comparing
// keys: to link a node just before the cursor's node (past the end: after
// the last), or to remove the node at `target` depth. A cursor's turns above
// its node stay when it steps on from there, so an erasure may follow them
// in the cursor it keeps on the next node.
template <class Cursor>
struct along_path {
  const Cursor* turns;
  int32_t target = 0;
  int32_t depth = 0;
  bool below = false;  // in the left subtree of the node to link before

  template <class Node>
  bool goes_left_before(const Node* node) {
    if (below || turns->node == nullptr) {
      return false;
    }
    if (node == turns->node) {
      below = true;
      return true;
    }
    return path_turns_left(*turns, depth++);
  }

  int where() {
    if (depth == target) {
      return 0;
    }
    return path_turns_left(*turns, depth++) ? -1 : +1;
  }
};

// -------------------------------------------------------- bound descent --

// One step of a bound descent at a node.
enum class bound_step {
  right,  // the node does not qualify; the answer lies to its right
  left,   // the node qualifies; a qualifying node further left comes first
  here,   // the node is the answer (a set's exact match): stop
};

// What a descent records: a cursor's path, or nothing.
struct no_path {
  template <class Node>
  static bool push(Node*, bool) {
    return true;
  }
  static int32_t depth() { return 0; }
  template <class Node>
  static void land(Node*, int32_t) {}
};

template <class Cursor>
struct cursor_path {
  Cursor& c;
  template <class Node>
  bool push(Node* node, bool left) {
    return cursor_push(c, node, left);
  }
  int32_t depth() const { return c.depth; }
  template <class Node>
  void land(Node* node, int32_t depth) {
    c.node = node;
    c.depth = depth;
  }
};

// The last qualifying node on the search path that `step` steers, which is
// the first qualifying node in in-order (for lower_bound, the first key >= the
// one sought; for upper_bound, the first key greater), or null when none
// qualifies. `path` records the ancestors of the answer.
template <class Path, class Node, class Step>
Node* bound(Path&& path, Node* root, Step step) {
  Node* found = nullptr;
  int32_t found_depth = 0;
  for (Node* node = root; node != nullptr;) {
    const bound_step where = step(node);
    if (where == bound_step::here) {
      found = node;
      found_depth = path.depth();
      break;
    }
    const bool qualifies = where == bound_step::left;
    if (qualifies) {
      found = node;
      found_depth = path.depth();
    }
    Node* child = qualifies ? node->left : node->right;
    if (child != nullptr && !path.push(node, qualifies)) {
      path.land(static_cast<Node*>(nullptr), 0);
      return nullptr;
    }
    node = child;
  }
  path.land(found, found_depth);
  return found;
}

// ------------------------------------------------------------- the check --
//
// Every invariant, recomputed from the links: order (ops.in_order(a, b): a's
// key may come before b's), every balance equal to height(left) -
// height(right) and within -1..+1, every node reachable along one path only,
// the node count, and no path deeper than kMaxHeight levels, the most a
// sound tree of up to INT32_MAX nodes has (so the check's own recursion stays
// that shallow). It stops at the first fault and reports it in one line,
// naming the node by ops.report_key (the C records' key).

// The nodes the check has met, by address, so that a node reached along a
// second path is caught: an open-addressing hash table that doubles when half
// full, so it holds 2 to 4 slots of one pointer per node (and, while it grows,
// the old table as well). Its memory comes from malloc and goes back when the
// check ends; the tree itself is never written.
class node_set {
 public:
  node_set() = default;
  node_set(const node_set&) = delete;
  node_set& operator=(const node_set&) = delete;
  ~node_set() { std::free(slots_); }

  enum result { added, already_there, out_of_memory };

  result add(const void* node) {
    if (2 * (count_ + 1) > capacity_ && !grow()) {
      return out_of_memory;
    }
    for (std::size_t at = slot_of(node);; at = (at + 1) & (capacity_ - 1)) {
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
  std::size_t slot_of(const void* node) const {
    const uint64_t bits = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(node));
    return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15u) >> (64 - log2_capacity_));
  }

  bool grow() {
    const int log2_grown = capacity_ == 0 ? 10 : log2_capacity_ + 1;
    if (log2_grown >= 60) {
      return false;
    }
    const std::size_t grown = std::size_t{1} << log2_grown;
    auto* fresh = static_cast<const void**>(std::calloc(grown, sizeof(const void*)));
    if (fresh == nullptr) {
      return false;
    }
    const void** old = slots_;
    const std::size_t old_capacity = capacity_;
    slots_ = fresh;
    capacity_ = grown;
    log2_capacity_ = log2_grown;
    count_ = 0;
    for (std::size_t i = 0; i < old_capacity; ++i) {
      if (old[i] != nullptr) {
        add(old[i]);
      }
    }
    std::free(old);
    return true;
  }

  const void** slots_ = nullptr;
  std::size_t capacity_ = 0;  // 0 or a power of two
  int log2_capacity_ = 0;
  std::size_t count_ = 0;
};

template <class Node, class Ops>
struct check_walk {
  Ops ops;
  FILE* report;
  int64_t size;   // what the tree claims
  int64_t count;  // distinct nodes met so far
  bool broken;
  node_set seen;
  const Node* path[kMaxHeight];  // path[d - 1]: the node at depth d on the way down
};

AVL_CORE_PRINTF_FORMAT(2, 3) inline void report_fault(FILE* report, const char* format, ...) {
  if (report == nullptr) {
    return;
  }
  va_list arguments;
  va_start(arguments, format);
  std::fputs("AVL_check: ", report);
  std::vfprintf(report, format, arguments);
  std::fputc('\n', report);
  va_end(arguments);
}

#define AVL_CORE_FAULT(walk, ...) ((walk).broken = true, report_fault((walk).report, __VA_ARGS__))

// A node met a second time: links leading back up to one of the nodes on the
// way down, or two links to one node (a node would be released twice).
template <class Walk, class Node>
void report_second_path(Walk& walk, const Node* node, int depth) {
  for (int d = 1; d < depth; ++d) {
    if (walk.path[d - 1] == node) {
      AVL_CORE_FAULT(walk, "links in a cycle at key %d: the node lies below itself",
                     walk.ops.report_key(node));
      return;
    }
  }
  AVL_CORE_FAULT(walk, "node with key %d is reachable twice", walk.ops.report_key(node));
}

// Returns the subtree's height, recomputed from the links; its keys must come
// after `low`'s and before `high`'s (null: no bound), and where nodes keep
// parent links, its root's must be `parent`. Stops at the first fault, which
// it reports.
template <class Walk, class Node>
int check_subtree(const Node* node, const Node* parent, const Node* low, const Node* high,
                  int depth, Walk& walk) {
  if (node == nullptr || walk.broken) {
    return 0;
  }
  switch (walk.seen.add(node)) {
    case node_set::added:
      break;
    case node_set::already_there:
      report_second_path(walk, node, depth);
      return 0;
    case node_set::out_of_memory:
      AVL_CORE_FAULT(walk, "out of memory after %lld nodes: the check could not be finished",
                     static_cast<long long>(walk.count));
      return 0;
  }
  walk.count += 1;
  if (decltype(walk.ops)::keeps_parents && walk.ops.parent_of(node) != parent) {
    AVL_CORE_FAULT(walk, "parent link broken at key %d: it does not lead to the node above",
                   walk.ops.report_key(node));
    return 0;
  }
  if ((low != nullptr && !walk.ops.in_order(low, node)) ||
      (high != nullptr && !walk.ops.in_order(node, high))) {
    AVL_CORE_FAULT(walk, "order broken at key %d: keys there must lie in %lld..%lld",
                   walk.ops.report_key(node),
                   static_cast<long long>(low != nullptr ? walk.ops.report_key(low) : INT32_MIN),
                   static_cast<long long>(high != nullptr ? walk.ops.report_key(high) : INT32_MAX));
    return 0;
  }
  if (depth > kMaxHeight) {
    AVL_CORE_FAULT(walk, "height broken at key %d: more than %d levels deep",
                   walk.ops.report_key(node), kMaxHeight);
    return 0;
  }
  if (walk.count > walk.size) {
    AVL_CORE_FAULT(walk, "size broken at key %d: the tree holds more than its size of %lld nodes",
                   walk.ops.report_key(node), static_cast<long long>(walk.size));
    return 0;
  }
  walk.path[depth - 1] = node;
  const int left = check_subtree(node->left, node, low, node, depth + 1, walk);
  const int right = check_subtree(node->right, node, node, high, depth + 1, walk);
  if (walk.broken) {
    return 0;
  }
  const int balance = balance_of(node);
  if (balance != left - right) {
    AVL_CORE_FAULT(walk, "balance broken at key %d: it stores %d, its subtrees are %d and %d tall",
                   walk.ops.report_key(node), balance, left, right);
  } else if (balance < -1 || balance > +1) {
    AVL_CORE_FAULT(walk, "balance broken at key %d: its subtrees are %d and %d tall",
                   walk.ops.report_key(node), left, right);
  }
  return 1 + (left > right ? left : right);
}

// 1 for a sound tree of `size` nodes; else 0, and the first fault on `report`.
// Where nodes keep parent links, the root's must be `top`.
template <class Node, class Ops>
int check(const Node* root, int64_t size, FILE* report, Ops ops, const Node* top = nullptr) {
  check_walk<Node, Ops> walk{ops, report, size, 0, false, {}, {}};
  check_subtree(root, top, static_cast<const Node*>(nullptr), static_cast<const Node*>(nullptr), 1,
                walk);
  if (!walk.broken && walk.count != size) {
    AVL_CORE_FAULT(walk, "size broken: size is %lld, the tree holds %lld nodes",
                   static_cast<long long>(size), static_cast<long long>(walk.count));
  }
  return walk.broken ? 0 : 1;
}

#undef AVL_CORE_FAULT

}  // namespace core
}  // namespace avl

#undef AVL_CORE_EXPECT_PROBABILITY
#undef AVL_CORE_UNLIKELY
#undef AVL_CORE_HAVE_CLZLL
#undef AVL_CORE_NOINLINE
#undef AVL_CORE_INLINE
#undef AVL_CORE_PRINTF_FORMAT

#endif  // AVL_CORE_HPP
