// The live page's side of the C++: one session of operations on trees of the
// module, for the page's script to call. Built with Emscripten into the page
// (see CMakeLists.txt here) from the same module source the library is built
// from, with its trace points recording (AVL_TRACE_RECORDER, avl/nod_policy.hpp):
// this file supplies avl_trace_record, and frames.cpp turns what it recorded
// into the sub-steps the page plays.
//
// The session keeps its operations and two trees: `end`, after all of them,
// which every new operation runs on (so appending costs one operation), and
// `view`, after the ones before the step being described. Describing the step
// after the last one described costs that step alone; going back rebuilds
// `view` from nothing, which is what bounds the page's steps (live.js keeps
// at most a few thousand).
//
// A node's id is the number of the operation that inserted it: the node keeps
// it while its address stays in the tree, so the page follows nodes, not keys,
// through rotations and repeated keys, and a rebuilt tree gives every node the
// same id again.
//
// The calls that answer with text (JSON) return a pointer that is valid until
// the next such call:
//
//   live_read(text, mode)  the box's words (mode 0, or 1, 3, 4, 5 to read its
//                          keys as deletions, searches, successors or
//                          predecessors) or the address's items (mode 2):
//                          {"ops":[[kind,key,"box words","address item"],...]}
//                          or {"error":"...","word":"the word at fault"}
//   live_view(index)       step `index`: {"step":..,"name":"insert 8",
//                          "applied":..,"size":..,"height":..,"rx":..,"ry":..,
//                          "caption":"...","lines":[[text,detail],...],
//                          "start":{"w":..,"h":..,"nodes":[node,...]},
//                          "frames":[frame,...]}, where a node is
//                          [id,key,balance,x,y,parent id,height] and a frame
//                          {"text","line","at","hit","heavy","path":[ids],
//                          "w","h","nodes":[changed nodes],"gone":[ids]}, the
//                          last one with "marks":[[id,mark]] (1 added, 2
//                          moved, 3 rekeyed) and a walk's with "order"
//   live_look()            the words of the look shared with avl_dot's pages
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "avl/ADT_avl_tree.h"
#include "avl/nod_policy.hpp"
#include "avl_page.h"
#include "avl_steps.h"
#include "frames.h"

namespace {

// ------------------------------------------------------------ recording --

// Where the trace goes. Ids are kept for the nodes of `ids`' tree whenever it
// is the one working; the reports themselves only while `events` is set.
struct Recorder {
  NodeIds* ids = nullptr;
  int next_id = 0;
  std::vector<TraceEvent>* events = nullptr;
};

Recorder recorder;

// ------------------------------------------------------------ the session --

struct Session {
  std::vector<Op> ops;
  std::vector<bool> applied;  // per operation: it changed the tree
  AVL_TREE* end = nullptr;    // after every operation
  AVL_TREE* view = nullptr;   // after ops[0 .. view_at)
  size_t view_at = 0;
  NodeIds ids;        // of the view tree's nodes
  size_t digits = 1;  // of the widest key an applied insertion brought
  std::string reply;
};

Session session;

// Runs `op` on `tree`; false when an insertion found no memory. *changed
// says whether the tree changed.
bool run(AVL_TREE* tree, const Op& op, bool* changed) {
  *changed = false;
  if (op.kind == Kind::insert) {
    *changed = AVL_insert(tree, op.key) == 1;
    return *changed;
  }
  if (op.kind == Kind::remove) {
    *changed = AVL_delete(tree, op.key) == 1;
  }
  return true;
}

// Brings the view tree to the state before step `index`, without recording.
bool rebuild_view(size_t index) {
  if (session.view == nullptr || session.view_at > index) {
    AVL_destroy(session.view);
    session.view = create_avl_tree();
    session.view_at = 0;
    session.ids.clear();
    if (session.view == nullptr) {
      return false;
    }
  }
  recorder.ids = &session.ids;
  while (session.view_at < index) {
    recorder.next_id = static_cast<int>(session.view_at);
    bool changed = false;
    if (!run(session.view, session.ops[session.view_at], &changed)) {
      recorder.ids = nullptr;
      return false;
    }
    ++session.view_at;
  }
  recorder.ids = nullptr;
  return true;
}

const char* fail(const char* message) {
  session.reply = "{\"error\":";
  quote(session.reply, message);
  session.reply += "}";
  return session.reply.c_str();
}

// ------------------------------------------------------------ reading --

// The words of `op` in the box ("-d 5", "?5") and in the address ("-5",
// "+-5": a leading '-' deletes there, so a negative key to insert gets '+').
std::string box_words(const Op& op) {
  const std::string key = std::to_string(op.key);
  switch (op.kind) {
    case Kind::insert:
    case Kind::remove:
      return operation_words(Operation{op.kind == Kind::remove, op.key});
    case Kind::search:
      return "?" + key;
    case Kind::successor:
      return ">" + key;
    case Kind::predecessor:
      return "<" + key;
    case Kind::minimum:
      return "min";
    case Kind::maximum:
      return "max";
    case Kind::preorder:
      return "pre";
    case Kind::inorder:
      return "in";
    case Kind::postorder:
      return "post";
  }
  return key;
}

std::string address_item(const Op& op) {
  if (op.kind == Kind::remove) {
    return "-" + std::to_string(op.key);
  }
  if (op.kind == Kind::insert) {
    return (op.key < 0 ? "+" : "") + std::to_string(op.key);
  }
  return box_words(op);
}

// A key word; on failure the message avl_dot gives for it.
bool read_key_word(const std::string& text, const std::string& word, int32_t* key,
                   std::string* error) {
  switch (read_key(text, key)) {
    case KeyVerdict::ok:
      return true;
    case KeyVerdict::malformed:
      *error = "not a 32-bit key: " + word;
      return false;
    case KeyVerdict::out_of_range:
      *error = "out of range for a 32-bit key: " + word;
      return false;
  }
  return false;
}

// The words both grammars share: the queries. False when `word` is none of
// them; then *error is empty, or says what is wrong with a query's key.
bool read_query(const std::string& word, Op* op, std::string* error) {
  static const std::pair<const char*, Kind> named[] = {
      {"min", Kind::minimum}, {"max", Kind::maximum},    {"pre", Kind::preorder},
      {"in", Kind::inorder},  {"post", Kind::postorder},
  };
  for (const auto& [name, kind] : named) {
    if (word == name) {
      *op = Op{kind, 0};
      return true;
    }
  }
  const char first = word.empty() ? '\0' : word[0];
  const Kind kind = first == '?'   ? Kind::search
                    : first == '>' ? Kind::successor
                    : first == '<' ? Kind::predecessor
                                   : Kind::insert;
  if (kind == Kind::insert) {
    return false;
  }
  op->kind = kind;
  return read_key_word(word.substr(1), word, &op->key, error);
}

// The box: words separated by white space, as avl_dot's command line. A
// button other than Insert reads the box's keys as its own kind (`as`): a
// Delete, a Search, ... of each; `button` names it for the messages.
bool read_box(const std::string& text, Kind as, const char* button, std::vector<Op>* ops,
              std::string* error, std::string* at) {
  std::vector<std::string> words;
  std::string word;
  for (const char c : text + ' ') {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!word.empty()) {
        words.push_back(word);
      }
      word.clear();
    } else {
      word += c;
    }
  }
  const bool keys_only = as != Kind::insert;
  for (size_t i = 0; i < words.size(); ++i) {
    *at = words[i];
    Op op{as, 0};
    if (words[i] == "-d") {
      if (keys_only) {
        *error = std::string(button) + " takes the keys in the box; type them without -d.";
        return false;
      }
      if (i + 1 == words.size()) {
        *error = "-d needs a key";
        return false;
      }
      *at = words[++i];
      op.kind = Kind::remove;
      if (!read_key_word(words[i], words[i], &op.key, error)) {
        return false;
      }
    } else if (read_query(words[i], &op, error)) {
      if (keys_only) {
        *error = std::string(button) + " takes the keys in the box; " + words[i] + " is not a key.";
        return false;
      }
    } else if (!error->empty()) {
      return false;
    } else if (words[i][0] == '-' &&
               !(words[i].size() > 1 && std::isdigit(static_cast<unsigned char>(words[i][1])))) {
      *error = "unknown option: " + words[i];
      return false;
    } else if (!read_key_word(words[i], words[i], &op.key, error)) {
      return false;
    }
    ops->push_back(op);
  }
  return true;
}

// The address: items separated by commas (#ops=11,12,-12,?11).
bool read_address(const std::string& text, std::vector<Op>* ops, std::string* error,
                  std::string* at) {
  if (text.empty()) {
    return true;
  }
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) {
      comma = text.size();
    }
    const std::string item = text.substr(start, comma - start);
    start = comma + 1;
    *at = item;
    Op op{Kind::insert, 0};
    if (item.empty()) {
      *error = "an empty item (two commas in a row, or one at an end)";
      return false;
    }
    if (read_query(item, &op, error)) {
      ops->push_back(op);
      continue;
    }
    if (!error->empty()) {
      return false;
    }
    // A leading '-' deletes; '+' marks a key to insert, negative ones above all.
    const bool remove = item[0] == '-';
    const std::string key = remove || item[0] == '+' ? item.substr(1) : item;
    if (!key.empty() && key[0] == '+') {
      *error = "not a 32-bit key: " + item;
      return false;
    }
    if (!read_key_word(key, item, &op.key, error)) {
      return false;
    }
    op.kind = remove ? Kind::remove : Kind::insert;
    ops->push_back(op);
  }
  return true;
}

}  // namespace

// The trace's recorder (avl/trace.hpp). It notes what the nodes hold at each
// report, since by the time the frames are cut the operation has moved on.
void avl_trace_record(avl::trace_event what, const nod* node, int32_t a, int32_t b) {
  if (recorder.ids != nullptr) {
    if (what == avl::trace_event::leaf) {
      (*recorder.ids)[node] = recorder.next_id;
    } else if (what == avl::trace_event::release) {
      recorder.ids->erase(node);
    }
  }
  if (recorder.events == nullptr) {
    return;
  }
  TraceEvent e{what, node, a, b, 0, nullptr, nullptr, {nullptr, nullptr, nullptr, nullptr}, 0, -1};
  if (node != nullptr) {
    e.key = node->data;
    e.left = node->left;
    e.right = node->right;
  }
  if (what == avl::trace_event::rotated && node != nullptr) {
    for (int i = 0; i < 2; ++i) {
      const nod* child = i == 0 ? node->left : node->right;
      if (child != nullptr) {
        e.below[2 * i] = child->left;
        e.below[2 * i + 1] = child->right;
      }
    }
  }
  if (what == avl::trace_event::release && node != nullptr) {
    const nod* kept = node->left != nullptr ? node->left : node->right;
    e.other_key = kept == nullptr ? 0 : kept->data;
  }
  if (what == avl::trace_event::leaf) {
    e.id = recorder.next_id;
  }
  recorder.events->push_back(e);
}

extern "C" {

// Reads the address's text (mode 2, already percent-decoded) or the box's:
// as typed (mode 0), or its keys as deletions (1), searches (3), successors
// (4) or predecessors (5), for the buttons of those names. Nothing runs.
EMSCRIPTEN_KEEPALIVE const char* live_read(const char* text, int mode) {
  std::vector<Op> ops;
  std::string error;
  std::string at;
  static const std::pair<Kind, const char*> buttons[] = {
      {Kind::insert, "Insert"}, {Kind::remove, "Delete"},       {Kind::insert, ""},
      {Kind::search, "Search"}, {Kind::successor, "Successor"}, {Kind::predecessor, "Predecessor"},
  };
  const auto& [as, button] = buttons[mode >= 0 && mode <= 5 ? mode : 0];
  const bool read = mode == 2 ? read_address(text, &ops, &error, &at)
                              : read_box(text, as, button, &ops, &error, &at);
  std::string& out = session.reply;
  if (!read) {
    out = "{\"error\":";
    quote(out, error);
    out += ",\"word\":";
    quote(out, at);
    out += "}";
    return out.c_str();
  }
  out = "{\"ops\":[";
  for (size_t i = 0; i < ops.size(); ++i) {
    out += (i == 0 ? "[" : ",[") + std::to_string(static_cast<int>(ops[i].kind)) + "," +
           std::to_string(ops[i].key) + ",";
    quote(out, box_words(ops[i]));
    out += ",";
    quote(out, address_item(ops[i]));
    out += ",";
    quote(out, op_name(ops[i]));
    out += "]";
  }
  out += "]}";
  return out.c_str();
}

// Appends one operation and runs it on the tree after all the others.
// Returns 1 when it changed the tree, 0 when it did not (a query, or the
// deletion of an absent key), -1 when an insertion found no memory (the
// operation is not kept).
EMSCRIPTEN_KEEPALIVE int live_append(int kind, int32_t key) {
  if (kind < static_cast<int>(Kind::insert) || kind > static_cast<int>(Kind::postorder)) {
    return -1;
  }
  if (session.end == nullptr && (session.end = create_avl_tree()) == nullptr) {
    return -1;
  }
  const Op op{static_cast<Kind>(kind), takes_key(static_cast<Kind>(kind)) ? key : 0};
  bool changed = false;
  if (!run(session.end, op, &changed)) {
    return -1;
  }
  session.ops.push_back(op);
  session.applied.push_back(changed);
  if (changed && op.kind == Kind::insert) {
    session.digits = std::max(session.digits, std::to_string(op.key).size());
  }
  return changed ? 1 : 0;
}

// The size of the tree after every operation, how many of its nodes hold
// `key`, and its largest key (0 when it is empty): what the page's builders
// need to add keys that are not there yet.
EMSCRIPTEN_KEEPALIVE int live_size() {
  return session.end == nullptr ? 0 : session.end->size;
}

EMSCRIPTEN_KEEPALIVE int live_count(int32_t key) {
  return session.end == nullptr ? 0 : AVL_count(session.end, key);
}

EMSCRIPTEN_KEEPALIVE int32_t live_largest() {
  const nod* largest = session.end == nullptr ? nullptr : find_largest_node(session.end->root);
  return largest == nullptr ? 0 : largest->data;
}

// Describes step `index`: the tree before it and its frames.
EMSCRIPTEN_KEEPALIVE const char* live_view(int index) {
  if (index < 0 || static_cast<size_t>(index) >= session.ops.size()) {
    return fail("no such step");
  }
  const size_t at = static_cast<size_t>(index);
  if (!rebuild_view(at)) {
    return fail("out of memory");
  }
  const Op& op = session.ops[at];
  const TreeCopy before = copy_tree(session.view);
  const NodeIds ids_before = session.ids;
  std::vector<TraceEvent> events;
  bool changed = false;
  recorder.ids = &session.ids;
  recorder.next_id = index;
  recorder.events = &events;
  const bool ran = run(session.view, op, &changed);
  recorder.ids = nullptr;
  recorder.events = nullptr;
  if (!ran) {
    AVL_destroy(session.view);
    session.view = nullptr;
    return fail("out of memory");
  }
  session.view_at = at + 1;

  const Layout layout = layout_for_digits(session.digits);
  std::string& out = session.reply;
  out = "{\"step\":" + std::to_string(index) + ",\"name\":";
  quote(out, op_name(op));
  out += std::string(",\"applied\":") + (changed ? "true" : "false") +
         ",\"size\":" + std::to_string(session.view->size) +
         ",\"height\":" + std::to_string(AVL_height(session.view)) +
         ",\"rx\":" + std::to_string(layout.rx) + ",\"ry\":" + std::to_string(layout.ry);
  write_step_frames(out, op, changed, session.view, before, events, ids_before, layout);
  out += "}";
  return out.c_str();
}

// Keeps the first `count` operations and drops the rest, rebuilding the tree
// after them. Returns its size, or -1 when memory ran out on the way.
EMSCRIPTEN_KEEPALIVE int live_keep(int count) {
  const size_t kept = std::min(static_cast<size_t>(std::max(count, 0)), session.ops.size());
  session.ops.resize(kept);
  session.applied.resize(kept);
  AVL_destroy(session.end);
  AVL_destroy(session.view);
  session.view = nullptr;
  session.view_at = 0;
  session.ids.clear();
  session.digits = 1;
  session.end = create_avl_tree();
  if (session.end == nullptr) {
    return -1;
  }
  for (size_t i = 0; i < kept; ++i) {
    bool changed = false;
    if (!run(session.end, session.ops[i], &changed)) {
      return -1;
    }
    if (changed && session.ops[i].kind == Kind::insert) {
      session.digits = std::max(session.digits, std::to_string(session.ops[i].key).size());
    }
  }
  return session.end->size;
}

// The look's words shared with avl_dot's pages: the classes by balance factor
// and mark, the notes of the marks and the legend's items.
EMSCRIPTEN_KEEPALIVE const char* live_look() {
  std::string& out = session.reply;
  out = "{\"leans\":[";
  quote(out, lean_class(-1));
  out += ",";
  quote(out, lean_class(0));
  out += ",";
  quote(out, lean_class(+1));
  out += "],\"marks\":[";
  const Mark marks[] = {Mark::none, Mark::added, Mark::moved, Mark::rekeyed};
  for (size_t i = 0; i < 4; ++i) {
    out += i == 0 ? "" : ",";
    quote(out, mark_class(marks[i]));
  }
  out += "],\"notes\":[";
  for (size_t i = 0; i < 4; ++i) {
    out += i == 0 ? "" : ",";
    quote(out, mark_note(marks[i]));
  }
  out += "],\"legend\":";
  quote(out, legend_items());
  out += "}";
  return out.c_str();
}

}  // extern "C"
