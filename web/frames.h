// frames: one step of the live page as the sub-steps (frames) the page plays,
// written as JSON for its script.
//
// Every step is told from the module's own trace (avl/trace.hpp): an
// insertion or a deletion from the reports its recursion makes (the step
// reader's recording policy, tools/avl_steps.h), a search, an extreme or a
// bound descent from the reports of the module's lookups, a walk from the
// nodes the module's walk hands its visitor. Nothing here decides where a key
// goes, what a balance factor becomes or which node rotates: each frame shows
// the tree copy kept in step with the reports, words for what the report
// said, and the line of the module's function that made it, lit in the code
// panel (code(): the functions as short pseudocode).
#ifndef AVL_WEB_FRAMES_H
#define AVL_WEB_FRAMES_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "avl/ADT_avl_tree.h"
#include "avl_page.h"
#include "avl_steps.h"

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

// Node ids by address: a node keeps its id while it stays in the tree.
using NodeIds = std::unordered_map<const nod*, int>;

// What one step gives the frame writer: the tree copy from before it, its
// trace, and what the module answered.
struct StepTrace {
  bool applied = false;            // an insertion or deletion changed the tree
  Trace trace;                     // the module's reports
  const nod* answer = nullptr;     // a query's answer
  std::vector<const nod*> walked;  // a walk's nodes, in the order handed over
  int leaf_id = -1;                // the id an insertion's new node gets
};

// Appends the description of one step (see live.cpp for the whole answer):
// its caption, the tree it started from (`before`, with the ids `ids`) and
// its frames. `before` is brought to the tree after the step.
void write_step_frames(std::string& out, const Op& op, const StepTrace& step, TreeCopy& before,
                       NodeIds& ids, const Layout& layout);

// The code panel's functions, as JSON: [[name, [line, ...]], ...]; a frame
// names one by its index and a line in it.
void write_code(std::string& out);

// The order of a node record's fields, as JSON: ["id","key",...].
void write_record_fields(std::string& out);

// JSON text of a string, quotes included.
void quote(std::string& out, const std::string& text);

#endif  // AVL_WEB_FRAMES_H
