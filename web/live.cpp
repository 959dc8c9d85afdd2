// The live page's side of the C++: one session of operations on trees of the
// module, for the page's script to call. Built with Emscripten into the page
// (see CMakeLists.txt here) from the same module source the library is built
// from. Insertions and deletions run through the step reader's recording
// policy (tools/avl_steps.h); the lookups' own trace points record through
// avl_trace_record, which this file supplies (AVL_TRACE_RECORDER,
// avl/nod_policy.hpp); frames.cpp turns the reports into the sub-steps the
// page plays.
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
//   live_read(text, length, mode, room)
//                          the box's words (mode 0, or 1, 3, 4, 5 to read its
//                          keys as deletions, searches, successors or
//                          predecessors) or the address's items (mode 2), at
//                          most `room` of them: {"ops":[[kind,key,"box
//                          words","address item","name"],...],"rest":"the
//                          words not read, as box words","left":count} or
//                          {"error":"...","word":"the word at fault"}
//   live_view(index)       step `index`: {"step":..,"name":"insert 8",
//                          "applied":..,"size":..,"height":..,"rx":..,"ry":..,
//                          "caption":"...","start":{"w":..,"h":..,
//                          "nodes":[node,...]},"frames":[frame,...]}, where a
//                          node is a record of live_look's "record" fields and
//                          a frame {"text","code":[function,line],"calls",
//                          "at","hit","heavy","end","path":[ids],"w","h",
//                          "nodes":[changed nodes],"gone":[ids],"ask"}, the
//                          last one with "marks":[[id,mark]] (1 added, 2
//                          moved, 3 rekeyed) and a walk's with "order"
//   live_look()            the words of the look shared with avl_dot's pages,
//                          the code panel's functions and the record's fields
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

// Where the lookups' reports go while a query is described.
Trace* recording = nullptr;

// ------------------------------------------------------------ the session --

struct Session {
  std::vector<Op> ops;
  AVL_TREE* end = nullptr;   // after every operation
  AVL_TREE* view = nullptr;  // after ops[0 .. view_at)
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

// Runs step `index` on the view tree with its trace, keeping the ids; false
// when an insertion found no memory.
bool run_view(size_t index, StepTrace* step) {
  const Op& op = session.ops[index];
  step->leaf_id = static_cast<int>(index);
  if (!changes_tree(op.kind)) {
    return true;
  }
  step->applied =
      run_traced(session.view, Operation{op.kind == Kind::remove, op.key}, &step->trace);
  for (const TraceEvent& e : step->trace) {
    if (e.what == avl::trace_event::leaf) {
      session.ids[e.node] = step->leaf_id;
    } else if (e.what == avl::trace_event::release) {
      session.ids.erase(e.node);
    }
  }
  return step->applied || op.kind == Kind::remove;
}

// Brings the view tree to the state before step `index`.
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
  while (session.view_at < index) {
    StepTrace step;
    if (!run_view(session.view_at, &step)) {
      return false;
    }
    ++session.view_at;
  }
  return true;
}

// The page's nodes: room for keys of `digits` characters at 16 px over a
// balance factor at 14 px, which the page's stylesheet sets.
Layout page_layout(size_t digits) {
  Layout layout = layout_for_digits(digits);
  layout.rx = std::max(23, static_cast<int>(digits) * 5 + 11);
  layout.ry = 25;
  layout.pitch = 2 * layout.rx + 8;
  layout.level = 2 * layout.ry + 24;
  return layout;
}

int visit_into(const nod* node, void* context) {
  static_cast<std::vector<const nod*>*>(context)->push_back(node);
  return 1;
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

// A key word; on failure what is wrong with it (the page shows the word).
bool read_key_word(const std::string& text, int32_t* key, std::string* error) {
  switch (read_key(text, key)) {
    case KeyVerdict::ok:
      return true;
    case KeyVerdict::malformed:
      *error = "not a 32-bit key";
      return false;
    case KeyVerdict::out_of_range:
      *error = "out of range for a 32-bit key";
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
  return read_key_word(word.substr(1), &op->key, error);
}

// What reading found: the operations, or what is wrong and where; past the
// page's room for more steps it stops, and keeps the rest as box words.
struct Reading {
  std::vector<Op> ops;
  std::string error;
  std::string at;    // the word or item at fault
  std::string rest;  // the words not read, as the box writes them
  size_t left = 0;   // how many operations they hold
};

bool is_space(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// The box: words separated by white space, as avl_dot's command line. A
// button other than Insert reads the box's keys as its own kind (`as`): a
// Delete, a Search, ... of each; `button` names it for the messages. A NUL
// is a character of its word like any other.
bool read_box(const std::string& text, Kind as, const char* button, size_t room, Reading* r) {
  const bool keys_only = as != Kind::insert;
  size_t at = 0;
  const auto next_word = [&]() {
    while (at < text.size() && is_space(text[at])) {
      ++at;
    }
    const size_t start = at;
    while (at < text.size() && !is_space(text[at])) {
      ++at;
    }
    return text.substr(start, at - start);
  };
  for (;;) {
    while (at < text.size() && is_space(text[at])) {
      ++at;
    }
    const size_t start = at;
    std::string word = next_word();
    if (word.empty()) {
      return true;
    }
    if (r->ops.size() == room) {
      // Counted, not read: the operations left, "-d" and its key one.
      r->rest = text.substr(start);
      for (; !word.empty(); word = next_word()) {
        r->left += word != "-d";
      }
      return true;
    }
    r->at = word;
    Op op{as, 0};
    if (word == "-d") {
      if (keys_only) {
        r->error = std::string(button) + " takes the keys in the box; type them without -d.";
        return false;
      }
      word = next_word();
      if (word.empty()) {
        r->error = "-d needs a key";
        return false;
      }
      r->at = word;
      op.kind = Kind::remove;
      if (!read_key_word(word, &op.key, &r->error)) {
        return false;
      }
    } else if (read_query(word, &op, &r->error)) {
      if (keys_only) {
        r->error = std::string(button) + " takes the keys in the box, and this is not a key.";
        return false;
      }
    } else if (!r->error.empty()) {
      return false;
    } else if (is_option_word(word)) {
      r->error = "unknown option";
      return false;
    } else if (!read_key_word(word, &op.key, &r->error)) {
      return false;
    }
    r->ops.push_back(op);
  }
}

// The address: items separated by commas (#ops=11,12,-12,?11), where a
// leading '-' deletes and '+' marks a key to insert, negative ones above all.
bool read_address(const std::string& text, size_t room, Reading* r) {
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
    if (r->ops.size() == room) {
      // Turned into box words, not read: "-5" deletes there, "+-5" inserts.
      for (size_t at = start; at <= text.size();) {
        size_t end = text.find(',', at);
        end = end == std::string::npos ? text.size() : end;
        const std::string rest = text.substr(at, end - at);
        r->rest += (r->rest.empty() ? "" : " ") + (rest[0] == '-'   ? "-d " + rest.substr(1)
                                                   : rest[0] == '+' ? rest.substr(1)
                                                                    : rest);
        r->left += 1;
        at = end + 1;
      }
      return true;
    }
    start = comma + 1;
    r->at = item;
    Op op{Kind::insert, 0};
    if (item.empty()) {
      r->error = "an empty item (two commas in a row, or one at an end)";
      return false;
    }
    if (read_query(item, &op, &r->error)) {
      r->ops.push_back(op);
      continue;
    }
    if (!r->error.empty()) {
      return false;
    }
    const bool remove = item[0] == '-';
    const std::string key = remove || item[0] == '+' ? item.substr(1) : item;
    if ((!key.empty() && key[0] == '+') || !read_key_word(key, &op.key, &r->error)) {
      if (r->error.empty()) {
        r->error = "not a 32-bit key";
      }
      if (remove) {
        r->error += "; in an address a leading - deletes, so " + item + " would delete " + key +
                    ", and +" + item + " inserts " + item;
      }
      return false;
    }
    op.kind = remove ? Kind::remove : Kind::insert;
    r->ops.push_back(op);
  }
  return true;
}

}  // namespace

// The lookups' recorder (avl/nod_policy.hpp): their reports, while a query
// is described.
void avl_trace_record(avl::trace_event what, const nod* node, int32_t a, int32_t b) {
  if (recording != nullptr) {
    record(*recording, what, node, a, b);
  }
}

extern "C" {

// Reads the address's text (mode 2, already percent-decoded) or the box's:
// as typed (mode 0), or its keys as deletions (1), searches (3), successors
// (4) or predecessors (5), for the buttons of those names; `length` bytes,
// NULs included, and at most `room` operations. Nothing runs.
EMSCRIPTEN_KEEPALIVE const char* live_read(const char* text, int length, int mode, int room) {
  static const std::pair<Kind, const char*> buttons[] = {
      {Kind::insert, "Insert"}, {Kind::remove, "Delete"},       {Kind::insert, ""},
      {Kind::search, "Search"}, {Kind::successor, "Successor"}, {Kind::predecessor, "Predecessor"},
  };
  const auto& [as, button] = buttons[mode >= 0 && mode <= 5 ? mode : 0];
  const std::string words(text, static_cast<size_t>(std::max(length, 0)));
  const size_t most = static_cast<size_t>(std::max(room, 0));
  Reading r;
  const bool read =
      mode == 2 ? read_address(words, most, &r) : read_box(words, as, button, most, &r);
  std::string& out = session.reply;
  if (!read) {
    // The word at fault as avl_dot's messages echo a word: quoted when it
    // holds more than plain characters, and cut, with its length.
    out = "{\"error\":";
    quote(out, r.error);
    out += ",\"word\":";
    quote(out, r.at.empty() ? std::string() : quote_word(r.at));
    out += ",\"length\":" + std::to_string(r.at.size()) + "}";
    return out.c_str();
  }
  out = "{\"ops\":[";
  for (size_t i = 0; i < r.ops.size(); ++i) {
    out += (i == 0 ? "[" : ",[") + std::to_string(static_cast<int>(r.ops[i].kind)) + "," +
           std::to_string(r.ops[i].key) + ",";
    quote(out, box_words(r.ops[i]));
    out += ",";
    quote(out, address_item(r.ops[i]));
    out += ",";
    quote(out, op_name(r.ops[i]));
    out += "]";
  }
  out += "],\"rest\":";
  quote(out, r.rest);
  out += ",\"left\":" + std::to_string(r.left) + "}";
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
  TreeCopy tree(session.view);
  NodeIds ids = session.ids;
  StepTrace step;
  if (!run_view(at, &step)) {
    AVL_destroy(session.view);
    session.view = nullptr;
    return fail("out of memory");
  }
  session.view_at = at + 1;
  nod* root = session.view->root;
  recording = &step.trace;
  switch (op.kind) {
    case Kind::search:
      step.answer = search_avl(root, op.key);
      break;
    case Kind::minimum:
      step.answer = find_smallest_node(root);
      break;
    case Kind::maximum:
      step.answer = find_largest_node(root);
      break;
    case Kind::successor:
      step.answer = AVL_upper_bound(session.view, op.key);
      break;
    case Kind::predecessor: {
      AVL_CURSOR cursor;
      AVL_cursor_lower_bound(&cursor, session.view, op.key);
      recording = nullptr;  // the step back reports nothing
      step.answer = AVL_cursor_prev(&cursor);
      break;
    }
    case Kind::preorder:
    case Kind::inorder:
    case Kind::postorder:
      AVL_walk(session.view,
               op.kind == Kind::preorder  ? 0
               : op.kind == Kind::inorder ? 1
                                          : 2,
               visit_into, &step.walked);
      break;
    case Kind::insert:
    case Kind::remove:
      break;
  }
  recording = nullptr;

  const Layout layout = page_layout(session.digits);
  std::string& out = session.reply;
  out = "{\"step\":" + std::to_string(index) + ",\"name\":";
  quote(out, op_name(op));
  out += std::string(",\"applied\":") + (step.applied ? "true" : "false") +
         ",\"size\":" + std::to_string(session.view->size) +
         ",\"height\":" + std::to_string(AVL_height(session.view)) +
         ",\"rx\":" + std::to_string(layout.rx) + ",\"ry\":" + std::to_string(layout.ry);
  write_step_frames(out, op, step, tree, ids, layout);
  if (!tree.same_as(session.view)) {
    out += ",\"check\":\"the frames of this step disagree with the module's tree\"";
  }
  out += "}";
  return out.c_str();
}

// Keeps the first `count` operations and drops the rest, rebuilding the tree
// after them. Returns its size, or -1 when memory ran out on the way.
EMSCRIPTEN_KEEPALIVE int live_keep(int count) {
  const size_t kept = std::min(static_cast<size_t>(std::max(count, 0)), session.ops.size());
  session.ops.resize(kept);
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
  out += ",\"code\":";
  write_code(out);
  out += ",\"record\":";
  write_record_fields(out);
  out += ",\"style\":";
  quote(out, look_stylesheet());
  out += "}";
  return out.c_str();
}

}  // extern "C"
