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

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

// A fix-up found a child that cannot be there in a tree built only through
// this module: after a subtree has grown by one level its root is never
// balanced, unless it is the new leaf itself, and a leaf is never the taller
// child of a node that already leaned its way. Only a tree whose balance
// factors were changed from outside can get here. Carrying on would silently
// break the balance invariant, so the process stops; exit() still flushes
// standard output, so nothing already printed is lost.
[[noreturn]] void stop_inconsistent_tree(const char* where) {
  std::fprintf(stderr, "ADT_avl_tree: inconsistent tree: balanced child in %s\n", where);
  std::exit(EXIT_FAILURE);
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
//   balance before | grown side matches? | result
//   ---------------+---------------------+--------------------------------
//        0         |        -            | tilts towards it, growth goes up
//    leans away    |        -            | becomes 0, growth stops
//    leans to it   |        -            | rotate (balance_left/right),
//                  |                     | growth stops
//
// Values outside -1..+1 are left alone. Every link on the path is stored
// again, whether or not the subtree below it changed.
nod* insert_rotate(nod* node, nod* new_node, bool* grew) {
  if (node == nullptr) {
    *grew = true;
    return new_node;
  }
  if (new_node->data < node->data) {
    node->left = insert_rotate(node->left, new_node, grew);
    if (*grew) {
      switch (node->balance) {
        case 0:
          node->balance = +1;  // taller on the left; so is this subtree
          break;
        case +1:
          node = balance_left(node, grew);
          break;
        case -1:
          node->balance = 0;  // the short side caught up: height unchanged
          *grew = false;
          break;
        default:
          break;
      }
    }
  } else {
    node->right = insert_rotate(node->right, new_node, grew);
    if (*grew) {
      switch (node->balance) {
        case 0:
          node->balance = -1;
          break;
        case +1:
          node->balance = 0;
          *grew = false;
          break;
        case -1:
          node = balance_right(node, grew);
          break;
        default:
          break;
      }
    }
  }
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
 * the new balances of L and N (see the table in the code). Either way the
 * subtree is as tall as before the insertion, so growth stops here.
 */
nod* balance_left(nod* node, bool* grew) {
  nod* child = node->left;
  switch (child->balance) {
    case 0:
      stop_inconsistent_tree("balance_left");
    case +1:  // left-left
      node->balance = 0;
      child->balance = 0;
      node = rotate_right(node);
      *grew = false;
      return node;
    case -1: {  // left-right
      nod* grandchild = child->right;
      switch (grandchild->balance) {
        case +1:  // b was the taller half: c is short, N leans right
          node->balance = -1;
          child->balance = 0;
          break;
        case 0:  // grandchild is the new leaf itself
          node->balance = 0;
          child->balance = 0;
          break;
        case -1:  // c was the taller half: b is short, L leans left
          node->balance = 0;
          child->balance = +1;
          break;
        default:
          break;
      }
      grandchild->balance = 0;
      node->left = rotate_left(child);
      node = rotate_right(node);
      *grew = false;
      return node;
    }
    default:
      return node;
  }
}

// Mirror image of balance_left.
nod* balance_right(nod* node, bool* grew) {
  nod* child = node->right;
  switch (child->balance) {
    case 0:
      stop_inconsistent_tree("balance_right");
    case +1: {  // right-left
      nod* grandchild = child->left;
      switch (grandchild->balance) {
        case +1:
          node->balance = 0;
          child->balance = -1;
          break;
        case 0:
          node->balance = 0;
          child->balance = 0;
          break;
        case -1:
          node->balance = +1;
          child->balance = 0;
          break;
        default:
          break;
      }
      grandchild->balance = 0;
      node->right = rotate_right(child);
      node = rotate_left(node);
      *grew = false;
      return node;
    }
    case -1:  // right-right
      node->balance = 0;
      child->balance = 0;
      node = rotate_left(node);
      *grew = false;
      return node;
    default:
      return node;
  }
}
