// The live page's side of the C++: one session of operations on a tree of
// the module, read step by step with the tool's step reader and layout, for
// the page's script to call. Built with Emscripten into the page (see
// CMakeLists.txt here); the module is the same source file the library is
// built from.
//
// Each call answers with JSON text, valid until the next call:
//
//   {"applied":true,"caption":"insert 3: ...","recursion":["at 2: ...", ...],
//    "size":3,"height":2,"width":172,"drawn":126,"rx":19,"ry":21,
//    "nodes":[[id,key,balance,x,y,parent,mark], ...]}
//
// with the nodes in pre-order, `parent` the parent's id (-1 for the root) and
// `mark` 0 none, 1 added, 2 moved, 3 rekeyed, as the static page marks them.
//
// A node's id is the number of its allocation within the session (the first
// node inserted is 0): a node keeps it while its address stays in the tree,
// so the page can follow nodes, not keys, through rotations and repeats.
// Replaying the same operations gives every node the same id again, so the
// page keeps the trees it has drawn when it goes back and replays.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "avl/ADT_avl_tree.h"
#include "avl_page.h"
#include "avl_steps.h"

namespace {

struct Session {
  AVL_TREE* tree = nullptr;
  std::vector<Operation> operations;
  std::unordered_map<std::uintptr_t, int> ids;  // node address -> id
  int next_id = 0;
  std::string reply;
};

Session session;

void quote(std::string& out, const std::string& text) {
  out += '"';
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
    }
    out += c;
  }
  out += '"';
}

// Gives the nodes that are new in `after` their ids and forgets the released.
void number_nodes(const TreeCopy& after) {
  std::unordered_map<std::uintptr_t, int> ids;
  for (const NodeCopy& node : after.nodes) {
    const auto known = session.ids.find(node.address);
    ids.emplace(node.address, known == session.ids.end() ? session.next_id++ : known->second);
  }
  session.ids.swap(ids);
}

// Runs one operation on the session's tree; false when an insertion found no
// memory. *applied says whether the tree changed.
bool run(const Operation& op, bool* applied) {
  if (op.remove) {
    *applied = AVL_delete(session.tree, op.key) == 1;
    return true;
  }
  *applied = AVL_insert(session.tree, op.key) == 1;
  return *applied;
}

bool start() {
  if (session.tree == nullptr) {
    session.tree = create_avl_tree();
  }
  return session.tree != nullptr;
}

const char* fail(const char* message) {
  session.reply = "{\"error\":";
  quote(session.reply, message);
  session.reply += "}";
  return session.reply.c_str();
}

}  // namespace

extern "C" {

// Applies one operation (`remove` 0 inserts `key`, 1 deletes one node holding
// it) and describes the step.
EMSCRIPTEN_KEEPALIVE const char* live_apply(int remove, int32_t key) {
  if (!start()) {
    return fail("out of memory");
  }
  const Operation op{remove != 0, key};
  const TreeCopy before = copy_tree(session.tree);
  bool applied = false;
  if (!run(op, &applied)) {
    return fail("out of memory");
  }
  session.operations.push_back(op);
  const TreeCopy after = copy_tree(session.tree);
  number_nodes(after);
  const StepReport step = describe_step(op, applied, before, after);
  const std::vector<std::string> recursion = describe_recursion(op, applied, before, after);
  const Layout layout = layout_for(session.operations);

  std::string& out = session.reply;
  out = applied ? "{\"applied\":true,\"caption\":" : "{\"applied\":false,\"caption\":";
  quote(out, step.caption);
  out += ",\"recursion\":[";
  for (size_t i = 0; i < recursion.size(); ++i) {
    out += i == 0 ? "" : ",";
    quote(out, recursion[i]);
  }
  out += "],\"size\":" + std::to_string(after.nodes.size()) +
         ",\"height\":" + std::to_string(after.height) +
         ",\"width\":" + std::to_string(drawing_width(after, layout)) +
         ",\"drawn\":" + std::to_string(drawing_height(after, layout)) +
         ",\"rx\":" + std::to_string(layout.rx) + ",\"ry\":" + std::to_string(layout.ry) +
         ",\"nodes\":[";
  for (size_t i = 0; i < after.nodes.size(); ++i) {
    const NodeCopy& node = after.nodes[i];
    const NodeCopy* parent = after.find(node.parent);
    out += (i == 0 ? "[" : ",[") + std::to_string(session.ids[node.address]) + "," +
           std::to_string(node.key) + "," + std::to_string(node.balance) + "," +
           std::to_string(centre_x(node, layout)) + "," + std::to_string(centre_y(node, layout)) +
           "," + std::to_string(parent == nullptr ? -1 : session.ids[parent->address]) + "," +
           std::to_string(static_cast<int>(step.marks[i])) + "]";
  }
  out += "]}";
  return out.c_str();
}

// Keeps the first `count` operations of the session and drops the rest:
// the tree is built again from nothing by replaying them. Returns the size
// of the tree, or -1 when memory ran out on the way.
EMSCRIPTEN_KEEPALIVE int live_keep(int count) {
  std::vector<Operation> kept(
      session.operations.begin(),
      session.operations.begin() +
          std::min<size_t>(static_cast<size_t>(count < 0 ? 0 : count), session.operations.size()));
  AVL_destroy(session.tree);
  session = Session{};
  if (!start()) {
    return -1;
  }
  for (const Operation& op : kept) {
    bool applied = false;
    if (!run(op, &applied)) {
      return -1;
    }
    session.operations.push_back(op);
    number_nodes(copy_tree(session.tree));
  }
  return session.tree->size;
}

}  // extern "C"
