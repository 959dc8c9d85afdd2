// frames: one step of the live page as the sub-steps (frames) the page plays,
// written as JSON for its script.
//
// An insertion or a deletion is told from the module's own trace
// (avl/trace.hpp): web/live.cpp records the reports of one operation, with
// what the nodes held at that moment, and the frames are cut from them here.
// Nothing here decides where a key goes, what a balance factor becomes or
// which node rotates: each frame only shows a tree kept in step with the
// reports (a shadow of the module's tree) and words for what the report said.
//
// The queries (search, minimum, maximum, successor, predecessor and the three
// walks) change nothing and the module reports nothing for them: their frames
// follow the route from the root to the node the module's own query returned,
// along the links of the tree.
#ifndef AVL_WEB_FRAMES_H
#define AVL_WEB_FRAMES_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "avl/ADT_avl_tree.h"
#include "avl/trace.hpp"
#include "avl_page.h"

// What the page can ask of a tree, in the order of its grammar's words.
enum class Kind : int {
  insert,
  remove,
  search,
  minimum,
  maximum,
  successor,
  predecessor,
  preorder,
  inorder,
  postorder,
};

bool takes_key(Kind kind);
bool changes_tree(Kind kind);

struct Op {
  Kind kind;
  int32_t key;  // 0 for the kinds that take none
};

// "insert 5", "minimum", "successor of 5": the name of a step in the list.
std::string op_name(const Op& op);

// One report of the trace, with what the module's nodes held when it came:
// after the operation some of them have other links or keys, or are gone.
struct TraceEvent {
  avl::trace_event what;
  const nod* node;
  int32_t a;
  int32_t b;
  int32_t key;      // node's key then (0 without a node)
  const nod* left;  // node's links then
  const nod* right;
  const nod* below[4];  // rotated: the links of the new root's children (left's, right's)
  int32_t other_key;    // release: the key of the child that takes its place
  int id;               // leaf: the id the new node got
};

// Node ids by address: a node keeps its id while it stays in the tree.
using NodeIds = std::unordered_map<const nod*, int>;

// Appends the description of one operation on `tree` (see live.cpp for the
// whole answer): its caption, the recursion's lines, the tree it started from
// and its frames. For an insertion or a deletion the operation has already run
// (`before` is the copy taken before it, `events` its trace, `applied` whether
// it changed the tree); a query is run here. `ids` are the ids of the nodes of
// `before`.
void write_step_frames(std::string& out, const Op& op, bool applied, const AVL_TREE* tree,
                       const TreeCopy& before, const std::vector<TraceEvent>& events,
                       const NodeIds& ids, const Layout& layout);

// JSON text of a string, quotes included.
void quote(std::string& out, const std::string& text);

#endif  // AVL_WEB_FRAMES_H
