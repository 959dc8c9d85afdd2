// nod_policy.hpp: the C records' rules for the recursion of core.hpp.
//
// ADT_avl_tree.cpp instantiates core.hpp's templates under this policy, and
// avl::tree (avl.hpp) runs them under it too, so its trees are the module's,
// node for node. Keys are the int32_t `data`, ordered by <; an equal key goes
// right on insertion; a node with two children takes its predecessor's key; a
// released node goes back to the heap with delete, as AVL_insert took it with
// new. The records keep no parent links, so the parent points are empty.
//
// The trace reports go to a recorder only in a build that defines
// AVL_TRACE_RECORDER and supplies avl_trace_record (the live page's); natively
// they are nothing, and the module's object code is as without them.
#ifndef AVL_NOD_POLICY_HPP
#define AVL_NOD_POLICY_HPP

#include <cstdint>

#include "avl/ADT_avl_tree.h"
#include "avl/core.hpp"

#if defined(AVL_TRACE_RECORDER)
void avl_trace_record(avl::trace_event event, const nod* node, int32_t a, int32_t b);
#endif

namespace avl {
namespace core {

static_assert(kMaxHeight == AVL_MAX_HEIGHT && kPathLength == AVL_CURSOR_PATH_LENGTH,
              "the C header and the core agree on how tall a sound tree is");

struct nod_search;

struct nod_policy {
  using node_type = nod;
  static constexpr bool moves_keys = true;
  static constexpr bool keeps_parents = false;

  static bool goes_left(const nod* new_node, const nod* node) {
    return new_node->data < node->data;
  }
  static constexpr bool admits(const nod*) { return true; }
  static void release(nod* node) { delete node; }
  static nod_search searching(int32_t value);
  static void note(trace_event event, const nod* node, int32_t a, int32_t b) {
#if defined(AVL_TRACE_RECORDER)
    avl_trace_record(event, node, a, b);
#else
    static_cast<void>(event);
    static_cast<void>(node);
    static_cast<void>(a);
    static_cast<void>(b);
#endif
  }
  // No parent links.
  static nod* parent_of(const nod*) {
    return nullptr;
  }
  static void adopt(nod*, nod*) {}
  // For the check.
  static bool in_order(const nod* a, const nod* b) {
    return a->data <= b->data;
  }
  static int32_t report_key(const nod* node) {
    return node->data;
  }
};

// Deletion by key: the first node on the search path that holds `value`.
struct nod_search : nod_policy {
  int32_t value;
  int where(const nod* node) const {
    return node->data == value ? 0 : node->data > value ? -1 : +1;
  }
};

inline nod_search nod_policy::searching(int32_t value) {
  return nod_search{{}, value};
}

}  // namespace core
}  // namespace avl

#endif  // AVL_NOD_POLICY_HPP
