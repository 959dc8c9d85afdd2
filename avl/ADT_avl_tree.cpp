// ADT_avl_tree: the AVL tree module, the C face of the recursion in core.hpp.
//
// Invariants kept between public calls:
//   - order:   keys left of a node are <= its key, keys right of it are >= it;
//   - balance: every node's `balance` equals height(left) - height(right) and
//              lies in -1..+1;
//   - size:    `size` is the number of nodes reachable from `root`.
//
// Every function that balances is one instantiation of core.hpp's templates
// for the records, under nod_policy (keys ordered by <, equal keys right, a
// node with two children takes its predecessor's key, trace reports to
// nothing); the C++ containers of avl.hpp instantiate the same templates for
// their own nodes. What is here besides is the C records' own business:
// allocation, lookup by key, printing, DOT and the walks.
#include "avl/ADT_avl_tree.h"

#include <cstdio>
#include <new>

#include "avl/nod_policy.hpp"

namespace {

using avl::core::nod_policy;
using avl::core::nod_search;

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

// Constant stack and O(n) (core::destroy), so any tree whose links form no
// cycle and share no node is released, however it was built.
void AVL_destroy(AVL_TREE* tree) {
  if (tree == nullptr) {
    return;
  }
  avl::core::destroy(tree->root, [](nod* node) { delete node; });
  delete tree;
}

// ----------------------------------------------------------------- lookup --

// The lookups report each node they pass (trace.hpp's visit: -1 on to the
// left, +1 to the right, 0 the answer) for the live page; natively the
// reports are nothing.
nod* search_avl(nod* node, int32_t value) {
  if (node == nullptr) {
    nod_policy::note(avl::trace_event::missing, node, 0, 0);
    return nullptr;
  }
  if (node->data > value) {
    nod_policy::note(avl::trace_event::visit, node, -1, 0);
    return search_avl(node->left, value);
  }
  if (node->data < value) {
    nod_policy::note(avl::trace_event::visit, node, +1, 0);
    return search_avl(node->right, value);
  }
  nod_policy::note(avl::trace_event::visit, node, 0, 0);
  return node;
}

nod* find_smallest_node(nod* node) {
  if (node == nullptr || node->left == nullptr) {
    nod_policy::note(avl::trace_event::visit, node, 0, 0);
    return node;
  }
  nod_policy::note(avl::trace_event::visit, node, -1, 0);
  return find_smallest_node(node->left);
}

nod* find_largest_node(nod* node) {
  if (node == nullptr || node->right == nullptr) {
    nod_policy::note(avl::trace_event::visit, node, 0, 0);
    return node;
  }
  nod_policy::note(avl::trace_event::visit, node, +1, 0);
  return find_largest_node(node->right);
}

// -------------------------------------------------------------- rotations --

nod* rotate_left(nod* node) {
  return avl::core::rotate_left(node);
}

nod* rotate_right(nod* node) {
  return avl::core::rotate_right(node);
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

nod* insert_rotate(nod* node, nod* new_node, bool* grew) {
  return avl::core::insert(node, new_node, grew, nod_policy{});
}

nod* balance_left(nod* node, bool* grew) {
  return avl::core::balance_left(node, grew, nod_policy{});
}

nod* balance_right(nod* node, bool* grew) {
  return avl::core::balance_right(node, grew, nod_policy{});
}

// --------------------------------------------------------------- deletion --

// The new root is whatever the recursion returned, whatever `size` says: a
// deletion removes exactly one node, even from a tree whose size was set by
// hand.
int AVL_delete(AVL_TREE* tree, int32_t value) {
  bool shrank;  // both written by delete_rotate before anything reads them
  bool found;
  nod* result = delete_rotate(tree->root, value, &shrank, &found);
  if (!found) {
    return 0;  // the descent met only unchanged links: nothing moved
  }
  tree->root = result;
  tree->size -= 1;
  return 1;
}

nod* delete_rotate(nod* node, int32_t value, bool* shrank, bool* found) {
  return avl::core::erase(node, shrank, found, nod_policy::searching(value));
}

nod* del_balance_left(nod* node, bool* shrank) {
  return avl::core::del_balance_left(node, shrank, nod_policy{});
}

nod* del_balance_right(nod* node, bool* shrank) {
  return avl::core::del_balance_right(node, shrank, nod_policy{});
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

// The steps of the bound descents (core::bound): lower_bound's answer is the
// first key >= value, upper_bound's the first key > value. Each step reports
// the way it sends the descent (visit: -1 left, the node qualifies; +1 right).
avl::core::bound_step reported(const nod* node, avl::core::bound_step step) {
  nod_policy::note(avl::trace_event::visit, node, step == avl::core::bound_step::left ? -1 : +1, 0);
  return step;
}

struct at_least {
  int32_t value;
  avl::core::bound_step operator()(const nod* node) const {
    return reported(
        node, node->data < value ? avl::core::bound_step::right : avl::core::bound_step::left);
  }
};

struct above {
  int32_t value;
  avl::core::bound_step operator()(const nod* node) const {
    return reported(
        node, node->data <= value ? avl::core::bound_step::right : avl::core::bound_step::left);
  }
};

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

}  // namespace

nod* AVL_lower_bound(const AVL_TREE* tree, int32_t value) {
  return avl::core::bound(avl::core::no_path{}, tree->root, at_least{value});
}

nod* AVL_upper_bound(const AVL_TREE* tree, int32_t value) {
  return avl::core::bound(avl::core::no_path{}, tree->root, above{value});
}

// The equal keys are consecutive in in-order: count them from the first.
int32_t AVL_count(const AVL_TREE* tree, int32_t value) {
  AVL_CURSOR cursor;
  int32_t count = 0;
  for (const nod* node = AVL_cursor_lower_bound(&cursor, tree, value);
       node != nullptr && node->data == value; node = AVL_cursor_next(&cursor)) {
    count += 1;
  }
  return count;
}

int32_t AVL_height(const AVL_TREE* tree) {
  return avl::core::height(tree->root);
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
  if (tree == nullptr) {
    avl::core::report_fault(report, "no tree: the handle is null");
    return 0;
  }
  return avl::core::check(static_cast<const nod*>(tree->root), tree->size, report, nod_policy{});
}

// ---------------------------------------------------------------- cursors --
//
// core.hpp's cursor over the records; the handle is kept for stepping back
// from past the end.

namespace {

void cursor_start(AVL_CURSOR* cursor, const AVL_TREE* tree) {
  avl::core::cursor_start(*cursor);
  cursor->tree = tree;
}

}  // namespace

nod* AVL_cursor_first(AVL_CURSOR* cursor, const AVL_TREE* tree) {
  cursor->tree = tree;
  return avl::core::cursor_first(*cursor, tree->root);
}

nod* AVL_cursor_last(AVL_CURSOR* cursor, const AVL_TREE* tree) {
  cursor->tree = tree;
  return avl::core::cursor_last(*cursor, tree->root);
}

nod* AVL_cursor_lower_bound(AVL_CURSOR* cursor, const AVL_TREE* tree, int32_t value) {
  cursor_start(cursor, tree);
  return avl::core::bound(avl::core::cursor_path<AVL_CURSOR>{*cursor}, tree->root, at_least{value});
}

nod* AVL_cursor_upper_bound(AVL_CURSOR* cursor, const AVL_TREE* tree, int32_t value) {
  cursor_start(cursor, tree);
  return avl::core::bound(avl::core::cursor_path<AVL_CURSOR>{*cursor}, tree->root, above{value});
}

void AVL_cursor_end(AVL_CURSOR* cursor, const AVL_TREE* tree) {
  cursor_start(cursor, tree);
}

nod* AVL_cursor_next(AVL_CURSOR* cursor) {
  return avl::core::cursor_next(*cursor);
}

nod* AVL_cursor_prev(AVL_CURSOR* cursor) {
  return avl::core::cursor_prev(*cursor, cursor->tree->root);
}

nod* AVL_cursor_node(const AVL_CURSOR* cursor) {
  return cursor->node;
}
