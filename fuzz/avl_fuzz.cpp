// libFuzzer target: the input bytes are a script of insertions, deletions and
// lookups, replayed on an AVL_TREE and on a std::multiset that serves as the
// model, and on an avl::multimap against a std::multimap (each element's value
// is the step that inserted it, so equal keys are told apart). After every
// operation the results must agree (cursors and the iterators the container
// returns included) and both trees must be sound and hold exactly their
// models' elements; at the end the tree is released with AVL_destroy and the
// container goes out of scope, so LeakSanitizer sees every node that went
// astray.
//
// Script format, one operation after another until the bytes run out:
//
//   op byte:  bits 0-1  0 insert, 1 insert, 2 delete, 3 search
//             bits 2-3  key source:
//                         0 tiny:  key = bits 4-5 (0..3), no operand; repeats
//                                  the same few keys to pile up duplicates
//                         1 small: key = next byte as int8_t (-128..127)
//                         2 wide:  key = next 4 bytes, little-endian int32_t
//                         3 edge:  key = kEdgeKeys[bits 4-7], no operand
//
// Inserting is drawn twice as often as the other operations so that trees grow
// tall enough for rotations several levels deep. The container inserts by key
// for op 0 and with the hint lower_bound(key) for op 1 (so before the equal
// keys), and deletes the first element holding the key by its iterator; every
// eighth step that is a search also cuts the container at the key and joins it
// again, and checks its union, intersection and difference with the part from
// the key on. A truncated operand ends the script.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "avl/ADT_avl_tree.h"
#include "avl/avl.hpp"
#include "avl_check.h"

namespace {

using Model = KeyModel;

// The keys where signed arithmetic and comparisons go wrong first.
constexpr int32_t kEdgeKeys[16] = {
    INT32_MIN, INT32_MIN + 1, INT32_MIN / 2, -65536,        -256,          -2,        -1, 0, 1, 2,
    255,       65536,         INT32_MAX / 2, INT32_MAX - 2, INT32_MAX - 1, INT32_MAX,
};

[[noreturn]] void fail(size_t step, const char* what, int32_t key) {
  std::fprintf(stderr, "avl_fuzz: step %zu (key %d): %s\n", step, static_cast<int>(key), what);
  std::abort();
}

// The module's invariant check (order, every balance against recomputed
// heights, size against the node count), the in-order keys against the model,
// then the queries for `key`: each bound must be the very node at the model's
// position (so the leftmost of repeated keys) and the count must be exact;
// cursors from both bounds of `key` must step through the nodes in order both
// ways. Every few steps the height must be the links' and the walks and whole
// passes of a cursor must follow them.
void check_tree(const AVL_TREE* tree, const Model& model, size_t step, int32_t key) {
  const std::string fault = tree_mismatch(tree, model);
  if (!fault.empty()) {
    fail(step, fault.c_str(), key);
  }
  const std::vector<const nod*> nodes = nodes_in_order(tree->root, 1);
  for (const std::string& mismatch :
       {query_mismatch(tree, model, key, &nodes),
        cursor_mismatch(tree, nodes, key, 1 + static_cast<int>(step % 7))}) {
    if (!mismatch.empty()) {
      fail(step, mismatch.c_str(), key);
    }
  }
  if (step % 16 == 0) {
    if (AVL_height(tree) != subtree_height(tree->root)) {
      fail(step, "AVL_height differs from the height of the links", key);
    }
    for (int order = 0; order <= 2; ++order) {
      std::vector<const nod*> visited;
      const int32_t count = AVL_walk(
          tree, order,
          [](const nod* node, void* context) {
            static_cast<std::vector<const nod*>*>(context)->push_back(node);
            return 1;
          },
          &visited);
      if (count != tree->size || visited != nodes_in_order(tree->root, order)) {
        fail(step, "AVL_walk did not follow the links", key);
      }
    }
    const std::string passes = iteration_mismatch(tree, nodes);
    if (!passes.empty()) {
      fail(step, passes.c_str(), key);
    }
  }
}

using Container = avl::multimap<int32_t, size_t>;
using ContainerModel = std::multimap<int32_t, size_t>;

// The container after an operation that returned `at`: sound, the model's
// elements in the model's order, and `at` at the model's position, walking
// to both ends in the steps that position says (only a true path does).
void check_container(const Container& container, const ContainerModel& model,
                     Container::const_iterator at, ContainerModel::const_iterator expected,
                     size_t step, int32_t key) {
  if (!container.check() || container.size() != model.size() ||
      !std::equal(container.begin(), container.end(), model.begin(), model.end())) {
    fail(step, "the container differs from its model", key);
  }
  const long place = std::distance(model.begin(), expected);
  long back = 0;
  for (auto it = at; it != container.begin(); --it) {
    ++back;
  }
  if (std::distance(container.begin(), at) != place || back != place ||
      std::distance(at, container.end()) != static_cast<long>(model.size()) - place) {
    fail(step, "the container returned an iterator with a wrong path", key);
  }
}

// The part of the container from `key` on, cut off and joined again; and,
// with a copy of that part, the union, intersection and difference, whose
// results that part decides: the whole, the part, and what comes before it.
void whole_set_operations(Container& container, int32_t key, size_t step) {
  const std::vector<Container::value_type> all(container.begin(), container.end());
  const auto cut = std::partition_point(all.begin(), all.end(),
                                        [key](const auto& element) { return element.first < key; });
  Container upper = container.split(key);
  if (!container.check() || !upper.check() ||
      !std::equal(container.begin(), container.end(), all.begin(), cut) ||
      !std::equal(upper.begin(), upper.end(), cut, all.end())) {
    fail(step, "split cut the container wrongly", key);
  }
  if (!container.join(std::move(upper)) || !upper.empty() ||
      !std::equal(container.begin(), container.end(), all.begin(), all.end())) {
    fail(step, "join did not put the container together again", key);
  }
  const Container part(cut, all.end());
  Container both = container;
  Container common = container;
  Container before = container;
  both.union_with(part);
  common.intersect_with(part);
  before.difference_with(Container(part));
  if (!both.check() || !common.check() || !before.check() ||
      !std::equal(both.begin(), both.end(), all.begin(), all.end()) ||
      !std::equal(common.begin(), common.end(), cut, all.end()) ||
      !std::equal(before.begin(), before.end(), all.begin(), cut)) {
    fail(step, "a union, intersection or difference differs", key);
  }
}

// The node a lookup must return: the first one on the search path that holds
// the key (the search path is unambiguous because equal keys never lie on the
// far side of a larger or smaller one).
const nod* first_on_search_path(const nod* node, int32_t key) {
  while (node != nullptr && node->data != key) {
    node = key < node->data ? node->left : node->right;
  }
  return node;
}

// Reads the next operation; returns false when the script is over.
bool next_operation(const uint8_t*& data, size_t& size, int& op, int32_t& key) {
  if (size == 0) {
    return false;
  }
  const uint8_t code = *data++;
  --size;
  op = code & 3;
  switch ((code >> 2) & 3) {
    case 0:
      key = (code >> 4) & 3;
      return true;
    case 1:
      if (size < 1) {
        return false;
      }
      key = static_cast<int8_t>(*data++);
      --size;
      return true;
    case 2: {
      if (size < 4) {
        return false;
      }
      const uint32_t bits = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                            static_cast<uint32_t>(data[2]) << 16 |
                            static_cast<uint32_t>(data[3]) << 24;
      key = static_cast<int32_t>(bits);  // modulo 2^32 with GCC and Clang
      data += 4;
      size -= 4;
      return true;
    }
    default:
      key = kEdgeKeys[code >> 4];
      return true;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  AVL_TREE* tree = create_avl_tree();
  if (tree == nullptr) {
    fail(0, "create_avl_tree returned null", 0);
  }
  Model model;
  check_tree(tree, model, 0, 0);
  Container container;
  ContainerModel container_model;

  int op = 0;
  int32_t key = 0;
  size_t step = 0;
  while (next_operation(data, size, op, key)) {
    ++step;
    Container::const_iterator returned = container.end();
    ContainerModel::const_iterator model_returned = container_model.end();
    switch (op) {
      case 0:
      case 1:
        if (AVL_insert(tree, key) != 1) {
          fail(step, "AVL_insert did not return 1", key);
        }
        model.insert(key);
        if (op == 0) {
          returned = container.insert({key, step});
          model_returned = container_model.insert({key, step});
        } else {
          returned = container.insert(container.lower_bound(key), {key, step});
          model_returned = container_model.insert(container_model.lower_bound(key), {key, step});
        }
        break;
      case 2: {
        const auto it = model.find(key);
        const int expected = it != model.end() ? 1 : 0;
        if (AVL_delete(tree, key) != expected) {
          fail(step,
               expected ? "AVL_delete missed a present key" : "AVL_delete removed an absent key",
               key);
        }
        if (it != model.end()) {
          model.erase(it);  // exactly one of the equal keys
        }
        const auto first = container.lower_bound(key);
        const auto first_expected = container_model.lower_bound(key);
        if (first != container.end() && first->first == key) {
          returned = container.erase(first);
          model_returned = container_model.erase(first_expected);
        }
        break;
      }
      default: {
        const nod* found = search_avl(tree->root, key);
        const bool present = model.count(key) != 0;
        if (present != (found != nullptr)) {
          fail(step, present ? "search_avl missed a present key" : "search_avl found an absent key",
               key);
        }
        if (found != nullptr && found->data != key) {
          fail(step, "search_avl returned a node holding another key", key);
        }
        if (found != first_on_search_path(tree->root, key)) {
          fail(step, "search_avl did not return the first match on the search path", key);
        }
        returned = container.find(key);
        model_returned = container_model.find(key);
        if (container.count(key) != container_model.count(key)) {
          fail(step, "the container's count differs", key);
        }
        if (step % 8 == 0) {  // they copy the container: not every time
          whole_set_operations(container, key, step);
        }
        break;
      }
    }
    check_tree(tree, model, step, key);
    check_container(container, container_model, returned, model_returned, step, key);
  }

  AVL_destroy(tree);
  return 0;
}
