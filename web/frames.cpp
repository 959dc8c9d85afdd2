// How one step becomes frames (see frames.h).
//
// An insertion or a deletion is read from its trace twice. The first pass
// (the step reader's read_levels) groups the reports by call level, so that
// a frame may say what the level decided when it reached its node. The
// second pass (Cutter) plays the reports on the tree copy and writes a frame
// at each one a student would want to stop at: every comparison of the
// descent, the leaf linked or the node found, released or given its
// predecessor's key, each balance factor written on the way back, a node
// found two levels heavier on one side, the case its fix-up takes, each
// factor that fix-up writes before it turns, each single rotation (a double
// one is two), and one frame for each run of levels that only store their
// link. A frame's words speak only of what has happened by then; the step's
// caption, which names the outcome, is the last frame's.
//
// A frame carries only what changed since the frame before: the nodes whose
// key, balance factor, place, parent or height changed, and the ids of the
// nodes that left the drawing. The page keeps the tree the step started from
// and applies the frames in order.
#include "frames.h"

#include <algorithm>
#include <utility>

namespace {

using avl::trace_event;

std::string text_of(int32_t key) {
  return std::to_string(key);
}

const char* side_name(int side) {
  return side < 0 ? "left" : "right";
}

// "12", "12 and 10", "12, 10 and 9".
std::string listed(const std::vector<int32_t>& keys) {
  std::string text;
  for (size_t i = 0; i < keys.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == keys.size() ? " and " : ", ") + text_of(keys[i]);
  }
  return text;
}

const char* ordinal_suffix(size_t n) {
  if (n % 100 >= 11 && n % 100 <= 13) {
    return "th";
  }
  return n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
}

// ------------------------------------------------------------- the code --
//
// The module's functions as the code panel shows them, a statement a line,
// in the order of avl/core.hpp and avl/ADT_avl_tree.cpp. The right-hand twin
// of a function (balance_right, del_balance_right, find_largest_node) and the
// right-hand branch of insert_rotate are its mirror image, made here from the
// left-hand text rather than written twice.
enum Fn : int {
  insert_rotate,
  balance_left,
  balance_right,
  delete_rotate,
  delete_at,
  del_balance_left,
  del_balance_right,
  search_avl,
  find_smallest,
  find_largest,
  upper_bound,
  lower_bound,
  walk_subtree,
  function_count,
};

// Left and right swapped, and +1 and -1 with them.
std::string mirrored(const std::string& text) {
  static const std::pair<const char*, const char*> swaps[] = {
      {"left", "right"}, {"+1", "-1"}, {"+2", "-2"}, {"smallest", "largest"}};
  std::string out;
  for (size_t at = 0; at < text.size();) {
    bool swapped = false;
    for (const auto& [a, b] : swaps) {
      for (const auto& [from, to] : {std::make_pair(a, b), std::make_pair(b, a)}) {
        const size_t length = std::char_traits<char>::length(from);
        if (text.compare(at, length, from) == 0) {
          out += to;
          at += length;
          swapped = true;
          break;
        }
      }
      if (swapped) {
        break;
      }
    }
    if (!swapped) {
      out += text[at++];
    }
  }
  return out;
}

std::vector<std::string> mirrored(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    out.push_back(mirrored(line));
  }
  return out;
}

struct Function {
  std::string name;
  std::vector<std::string> lines;
};

const std::vector<Function>& functions() {
  static const std::vector<Function> table = [] {
    std::vector<Function> f(function_count);
    // The left-hand branch of insert_rotate, lines 2 to 7; 8 to 13 mirror it.
    const std::vector<std::string> insert_left = {
        "if new_node.key < node.key:",
        "    node.left = insert_rotate(node.left, new_node)",
        "    if grew: case node.balance of",
        "         0: node.balance = +1",
        "        -1: node.balance = 0; grew = false",
        "        +1: node = balance_left(node)    (now +2)",
    };
    f[insert_rotate].name = "insert_rotate(node, new_node)";
    f[insert_rotate].lines = {"if node is empty:", "    grew = true; return new_node"};
    for (const std::vector<std::string>& branch : {insert_left, mirrored(insert_left)}) {
      f[insert_rotate].lines.insert(f[insert_rotate].lines.end(), branch.begin(), branch.end());
    }
    f[insert_rotate].lines[8] = "else:    (equal keys go right)";
    f[insert_rotate].lines.push_back("return node");

    f[balance_left].name = "balance_left(node)";
    f[balance_left].lines = {
        "child = node.left",
        "if child.balance == +1:    (left-left)",
        "    node.balance = 0; child.balance = 0",
        "    node = rotate_right(node)",
        "else:    (left-right: the child leans the other way)",
        "    grandchild = child.right",
        "    node, child: from grandchild.balance; grandchild.balance = 0",
        "    node.left = rotate_left(child)",
        "    node = rotate_right(node)",
        "grew = false; return node",
    };
    f[balance_right] = {"balance_right(node)", mirrored(f[balance_left].lines)};

    f[delete_rotate].name = "delete_rotate(node, key)";
    f[delete_rotate].lines = {
        "if node is empty:",
        "    found = false; return empty",
        "if node.key == key: return delete_at(node)",
        "if key < node.key:",
        "    node.left = delete_rotate(node.left, key)",
        "    if shrank: node = del_balance_right(node)",
        "else:",
        "    node.right = delete_rotate(node.right, key)",
        "    if shrank: node = del_balance_left(node)",
        "return node",
    };
    f[delete_at].name = "delete_at(node)";
    f[delete_at].lines = {
        "if node has at most one child:",
        "    child = its only child, or empty",
        "    release node; shrank = true; return child",
        "node.key = the largest key on its left (in-order predecessor)",
        "node.left = delete_rotate(node.left, node.key)",
        "if shrank: node = del_balance_right(node)",
        "return node",
    };
    f[del_balance_left].name = "del_balance_left(node)    (its right side shrank)";
    f[del_balance_left].lines = {
        "case node.balance of",
        "     0: node.balance = +1; shrank = false",
        "    -1: node.balance = 0",
        "    +1: child = node.left    (now +2)",
        "        if child.balance == -1:    (left-right)",
        "            node, child: from grandchild.balance; grandchild.balance = 0",
        "            node.left = rotate_left(child)",
        "            return rotate_right(node)",
        "        if child.balance == 0: shrank = false",
        "        node, child: from child.balance    (left-left)",
        "        return rotate_right(node)",
    };
    f[del_balance_right] = {mirrored(f[del_balance_left].name),
                            mirrored(f[del_balance_left].lines)};

    f[search_avl].name = "search_avl(node, key)";
    f[search_avl].lines = {
        "if node is empty: return empty",
        "if node.key > key: return search_avl(node.left, key)",
        "if node.key < key: return search_avl(node.right, key)",
        "return node",
    };
    f[find_smallest].name = "find_smallest_node(node)";
    f[find_smallest].lines = {
        "if node.left is empty: return node",
        "return find_smallest_node(node.left)",
    };
    f[find_largest] = {mirrored(f[find_smallest].name), mirrored(f[find_smallest].lines)};
    f[upper_bound].name = "AVL_upper_bound(tree, key)";
    f[upper_bound].lines = {
        "found = empty; node = tree.root",
        "while node is not empty:",
        "    if node.key > key: found = node; node = node.left",
        "    else: node = node.right",
        "return found",
    };
    f[lower_bound].name = "AVL_cursor_lower_bound(cursor, tree, key); AVL_cursor_prev(cursor)";
    f[lower_bound].lines = {
        "node = tree.root; the cursor's path starts empty",
        "while node is not empty:",
        "    if node.key < key: the path goes right; node = node.right",
        "    else: found = node; the path goes left; node = node.left",
        "back one step: to the last node the path went right at",
    };
    f[walk_subtree].name = "walk_subtree(node, order)";
    f[walk_subtree].lines = {
        "if node is empty: return",        "if order is pre-order: visit(node)",
        "walk_subtree(node.left, order)",  "if order is in-order: visit(node)",
        "walk_subtree(node.right, order)", "if order is post-order: visit(node)",
    };
    return f;
  }();
  return table;
}

// The name of a function at a node: "balance_left(9)".
std::string call(Fn fn, int32_t key) {
  const std::string& name = functions()[fn].name;
  return name.substr(0, name.find('(')) + "(" + text_of(key) + ")";
}

// ------------------------------------------------------------- the frames --

// A node as one frame draws it; the page's record, in the order of kFields.
struct Drawn {
  int32_t key;
  int32_t balance;
  int x;
  int y;
  int parent;  // id, -1 for the root
  int height;  // of its subtree, in the frame's tree

  bool operator==(const Drawn& other) const {
    return key == other.key && balance == other.balance && x == other.x && y == other.y &&
           parent == other.parent && height == other.height;
  }
};

const char* const kFields[] = {"id", "key", "balance", "x", "y", "parent", "height"};

void put_record(std::string& out, int id, const Drawn& d) {
  out += '[' + std::to_string(id) + ',' + std::to_string(d.key) + ',' + std::to_string(d.balance) +
         ',' + std::to_string(d.x) + ',' + std::to_string(d.y) + ',' + std::to_string(d.parent) +
         ',' + std::to_string(d.height) + ']';
}

using Drawing = std::unordered_map<int, Drawn>;  // by id

// A question the exercise mode may ask before the frame that answers it.
struct Ask {
  const char* kind;  // "rotation", "balance" or "root"
  std::string question;
  std::string answer;
};

// What a frame says and highlights besides the tree.
struct Note {
  std::string text;
  int fn = -1;  // the function of the code panel, and its line
  int line = -1;
  std::vector<std::string> calls;          // the calls under way, outermost first
  const nod* at = nullptr;                 // the node the call under way is at
  std::vector<const nod*> path;            // the nodes of the calls it runs below
  const nod* hit = nullptr;                // what a query reached
  const nod* end = nullptr;                // a failed search ended at its empty link
  int end_side = 0;                        // on this side
  bool quick = false;                      // one of many alike (a walk): played faster
  std::vector<std::pair<int, int>> marks;  // id, Mark: the last frame's
  std::vector<std::pair<int, int>> order;  // id, number: a walk's visit order so far
  std::vector<Ask> asks;
};

void put_pairs(std::string& out, const char* name, const std::vector<std::pair<int, int>>& pairs) {
  if (pairs.empty()) {
    return;
  }
  out += ",\"";
  out += name;
  out += "\":[";
  for (size_t i = 0; i < pairs.size(); ++i) {
    out += (i == 0 ? "[" : ",[") + std::to_string(pairs[i].first) + "," +
           std::to_string(pairs[i].second) + "]";
  }
  out += ']';
}

// Writes the tree a step starts from and then its frames, each as the change
// from the one before.
class FrameWriter {
 public:
  FrameWriter(std::string& out, const Layout& layout, const NodeIds& ids)
      : out_(out), layout_(layout), ids_(ids) {}

  int id_of(const nod* node) const {
    const auto found = ids_.find(node);
    return found == ids_.end() ? -1 : found->second;
  }

  // The node drawn with a factor the module never stores (+2 or -2).
  const nod* heavy = nullptr;
  int32_t heavy_value = 0;

  void start(const TreeCopy& tree) {
    int height = 0;
    const Drawing drawing = draw(tree, &height);
    out_ += ",\"start\":{";
    put_size(drawing.size(), height);
    out_ += ",\"nodes\":[";
    bool first = true;
    for (const auto& [id, drawn] : drawing) {
      out_ += first ? "" : ",";
      first = false;
      put_record(out_, id, drawn);
    }
    out_ += "]},\"frames\":[";
    shown_ = drawing;
  }

  void frame(const TreeCopy& tree, const Note& note) {
    int height = 0;
    Drawing drawing = draw(tree, &height);
    out_ += count_++ == 0 ? "{\"text\":" : ",{\"text\":";
    quote(out_, note.text);
    if (note.fn >= 0) {
      out_ += ",\"code\":[" + std::to_string(note.fn) + "," + std::to_string(note.line) + "]";
    }
    out_ += ",\"calls\":[";
    for (size_t i = 0; i < note.calls.size(); ++i) {
      out_ += i == 0 ? "" : ",";
      quote(out_, note.calls[i]);
    }
    out_ += "],\"at\":" + std::to_string(id_of(note.at));
    out_ += ",\"hit\":" + std::to_string(id_of(note.hit));
    out_ += ",\"heavy\":" + std::to_string(id_of(heavy));
    if (note.end != nullptr) {
      out_ += ",\"end\":[" + std::to_string(id_of(note.end)) + "," + std::to_string(note.end_side) +
              "]";
    }
    out_ += ",\"path\":[";
    bool first = true;
    for (const nod* node : note.path) {
      const int id = id_of(node);
      if (id >= 0) {
        out_ += (first ? "" : ",") + std::to_string(id);
        first = false;
      }
    }
    out_ += "],";
    put_size(drawing.size(), height);
    if (note.quick) {
      out_ += ",\"quick\":1";
    }
    put_pairs(out_, "marks", note.marks);
    put_pairs(out_, "order", note.order);
    if (!note.asks.empty()) {
      out_ += ",\"ask\":[";
      for (size_t i = 0; i < note.asks.size(); ++i) {
        out_ += i == 0 ? "{\"kind\":" : ",{\"kind\":";
        quote(out_, note.asks[i].kind);
        out_ += ",\"question\":";
        quote(out_, note.asks[i].question);
        out_ += ",\"answer\":";
        quote(out_, note.asks[i].answer);
        out_ += "}";
      }
      out_ += "]";
    }
    out_ += ",\"nodes\":[";
    first = true;
    for (const auto& [id, drawn] : drawing) {
      const auto old = shown_.find(id);
      if (old == shown_.end() || !(old->second == drawn)) {
        out_ += first ? "" : ",";
        first = false;
        put_record(out_, id, drawn);
      }
    }
    out_ += "],\"gone\":[";
    first = true;
    for (const auto& [id, drawn] : shown_) {
      if (drawing.count(id) == 0) {
        out_ += (first ? "" : ",") + std::to_string(id);
        first = false;
      }
    }
    out_ += "]}";
    shown_.swap(drawing);
  }

  void finish() { out_ += "]"; }

 private:
  // The tree laid out as avl_dot draws it (column: place in key order, row:
  // depth).
  Drawing draw(const TreeCopy& tree, int* height) const {
    Drawing drawing;
    const std::vector<Placed> placed = place(tree);
    *height = height_of(placed);
    for (const Placed& node : placed) {
      const int32_t balance = node.node == heavy ? heavy_value : node.copy->balance;
      drawing[id_of(node.node)] = Drawn{node.copy->key,
                                        balance,
                                        column_x(node.rank, layout_),
                                        row_y(node.depth, layout_),
                                        id_of(node.copy->parent),
                                        node.height};
    }
    return drawing;
  }

  void put_size(size_t nodes, int height) {
    out_ += "\"w\":" + std::to_string(drawing_width(nodes, layout_)) +
            ",\"h\":" + std::to_string(drawing_height(height, layout_));
  }

  std::string& out_;
  const Layout& layout_;
  const NodeIds& ids_;
  Drawing shown_;
  int count_ = 0;
};

std::string lean_words(int32_t balance) {
  return balance > 0 ? "leans left" : balance < 0 ? "leans right" : "is balanced";
}

// ------------------------------------------------ insertion and deletion --

// Plays an insertion's or a deletion's reports on the tree copy and writes
// their frames: one method per kind of report.
class Cutter {
 public:
  Cutter(const Op& op, const StepTrace& step, TreeCopy& tree, NodeIds& ids, FrameWriter& writer)
      : remove_(op.kind == Kind::remove),
        sought_(op.key),
        step_(step),
        tree_(tree),
        ids_(ids),
        writer_(writer),
        levels_(read_levels(step.trace)),
        writes_seen_(levels_.size(), 0) {}

  void play() {
    for (const TraceEvent& e : step_.trace) {
      switch (e.what) {
        case trace_event::visit:
          visit(e);
          break;
        case trace_event::leaf:
          leaf(e);
          break;
        case trace_event::missing:
          missing();
          break;
        case trace_event::found:
          found(e);
          break;
        case trace_event::release:
          release(e);
          break;
        case trace_event::rekey:
          rekey(e);
          break;
        case trace_event::link:
          link(e);
          break;
        case trace_event::balance:
          balance(e);
          break;
        case trace_event::heavy:
          heavy(e);
          break;
        case trace_event::rotate:
          turning_ = e.node;
          tree_.follow(e);
          break;
        case trace_event::rotated:
          rotated(e);
          break;
        case trace_event::done:
          done();
          break;
      }
    }
  }

 private:
  Level* level() { return open_.empty() ? nullptr : &levels_[open_.back()]; }
  // The flag the recursion passes up, and the word for what it says.
  const char* grows() const { return remove_ ? "shrank" : "grew"; }

  // A frame at the level under way, in function `fn` at `line`; `fixup`
  // adds the fix-up's call to the calls under way.
  Note note(const std::string& text, const nod* at, int fn, int line, Fn fixup = function_count) {
    Note n;
    n.text = text;
    n.at = at;
    n.fn = fn;
    n.line = line;
    for (const size_t i : open_) {
      const Level& l = levels_[i];
      if (l.node != nullptr) {
        n.path.push_back(l.node);
        n.calls.push_back(call(remove_ ? delete_rotate : insert_rotate, l.key));
        if (l.dir == 0 && remove_) {
          n.calls.push_back(call(delete_at, l.key));
        }
      } else {
        n.calls.push_back(std::string(remove_ ? "delete_rotate" : "insert_rotate") +
                          "(empty link)");
      }
    }
    if (fixup != function_count && level() != nullptr) {
      n.calls.push_back(call(fixup, level()->key_now()));
    }
    return n;
  }

  // The fix-up a level calls: insertion rebalances the heavy side, deletion
  // the side opposite the one that shrank.
  Fn fixup(const Level& l) const {
    if (!remove_) {
      return l.side < 0 ? balance_left : balance_right;
    }
    return l.side < 0 ? del_balance_right : del_balance_left;
  }

  void visit(const TraceEvent& e) {
    tree_.follow(e);
    open_.push_back(next_level_++);
    if (e.a == 0) {
      return;  // the node to delete: `found` says so
    }
    const std::string s = text_of(sought_);
    const std::string a = text_of(e.key);
    const std::string what = remove_ ? "the deletion" : "the insertion";
    std::string text = "at " + a + ": " + s +
                       (sought_ == e.key && e.a > 0 ? " equals " + a + ", and equal keys go right"
                        : e.a < 0                   ? " is less than " + a
                                                    : " is greater than " + a);
    text += ", so " + what + " goes " + side_name(e.a);
    const int line = remove_ ? (e.a < 0 ? 3 : 6) : (e.a < 0 ? 2 : 8);
    writer_.frame(tree_, note(text, e.node, remove_ ? delete_rotate : insert_rotate, line));
  }

  void leaf(const TraceEvent& e) {
    const Level* above = level();
    open_.push_back(next_level_++);
    ids_[e.node] = step_.leaf_id;
    tree_.follow(e);
    const std::string key = text_of(e.key);
    writer_.frame(tree_, note(above == nullptr
                                  ? "the tree was empty: " + key + " becomes its root; grew = true"
                                  : "at the empty " + std::string(side_name(above->dir)) +
                                        " link of " + text_of(above->key) + ": the new leaf " +
                                        key + " is linked in there; grew = true",
                              e.node, insert_rotate, 1));
  }

  void missing() {
    const Level* above = level();
    open_.push_back(next_level_++);
    const std::string key = text_of(sought_);
    Note n = note(above == nullptr ? "the tree is empty: " + key + " is not in it; found = false"
                                   : "the empty " + std::string(side_name(above->dir)) +
                                         " link of " + text_of(above->key_now()) + ": " + key +
                                         " is not in the tree; found = false",
                  nullptr, delete_rotate, 1);
    if (above != nullptr) {
      n.end = above->node;
      n.end_side = above->dir;
    }
    writer_.frame(tree_, n);
  }

  void found(const TraceEvent& e) {
    const std::string key = text_of(e.key);
    const char* children = e.a == 0 ? "no children" : e.a == 1 ? "one child" : "two children";
    writer_.frame(tree_, note("at " + key + ": here is " + key + ", with " + children +
                                  ": delete_at(" + key + ") removes it",
                              e.node, delete_at, 0));
  }

  void release(const TraceEvent& e) {
    const nod* kept = e.left != nullptr ? e.left : e.right;
    const bool root = tree_.find(e.node) != nullptr && tree_.find(e.node)->parent == nullptr;
    tree_.follow(e);
    ids_.erase(e.node);
    const std::string key = text_of(e.key);
    std::string text;
    if (kept != nullptr) {
      text = text_of(tree_.key_of(kept)) + " moves up into the place of " + key +
             ", which is released; shrank = true";
    } else if (root) {
      text = key + ", the only node, is released: the tree is empty";
    } else {
      text = key + " is unlinked and released; the link that held it is now empty; shrank = true";
    }
    writer_.frame(tree_, note(text, kept, delete_at, 2));
  }

  void rekey(const TraceEvent& e) {
    tree_.follow(e);
    sought_ = e.b;
    writer_.frame(tree_, note(text_of(e.a) +
                                  " has two children, so it takes the key of its in-order "
                                  "predecessor, " +
                                  text_of(e.b) + " (the largest key on its left), and the " +
                                  "deletion goes on for " + text_of(e.b) + " in the left subtree",
                              e.node, delete_at, 3));
  }

  void link(const TraceEvent& e) {
    while (!open_.empty() && levels_[open_.back()].node != e.node) {
      open_.pop_back();
    }
    tree_.follow(e);
  }

  // The questions of a level's first fix-up report: which rotation, if any.
  void ask_rotation(Note& n, const Level& l) {
    n.asks.push_back(Ask{"rotation",
                         "Back at " + text_of(l.key_now()) + ", its " + side_name(l.side) +
                             " subtree " + grows() +
                             ". Which rotation happens here: LL, RR, LR, RL, or none?",
                         rotation_case(l)});
  }

  void balance(const TraceEvent& e) {
    Level* l = level();
    if (l != nullptr && l->heavy != 0) {
      rotation_write(e, *l);
      return;
    }
    tree_.follow(e);
    if (l == nullptr) {
      return;
    }
    const std::string key = text_of(e.key);
    // A factor back to 0 means the subtree's height is back where it was
    // on insertion, and a level lower on deletion.
    const bool height_changed = (e.b == 0) == remove_;
    std::string text =
        "back at " + key + ": its " + side_name(l->side) + " subtree " + grows() + "; " + key +
        (e.a == 0
             ? " was balanced and now " + lean_words(e.b)
             : std::string(e.a > 0 ? " leaned left" : " leaned right") + " and is now balanced") +
        " (" + balance_text(e.b) + ")" +
        (height_changed ? "; " + std::string(grows()) + " stays true"
                        : "; " + std::string(grows()) + " = false");
    int fn = 0;
    int line = 0;
    if (!remove_) {
      fn = insert_rotate;
      line = (l->side < 0 ? 5 : 11) + (e.a == 0 ? 0 : 1);
    } else {
      fn = fixup(*l);
      line = e.a == 0 ? 1 : 2;
    }
    Note n = note(text, e.node, fn, line, remove_ ? fixup(*l) : function_count);
    ask_rotation(n, *l);
    n.asks.push_back(
        Ask{"balance", "What balance factor does " + key + " get now?", balance_text(e.b)});
    writer_.frame(tree_, n);
  }

  void heavy(const TraceEvent& e) {
    Level* l = level();
    writer_.heavy = e.node;
    writer_.heavy_value = e.a;
    if (l == nullptr) {
      return;
    }
    const std::string key = text_of(e.key);
    const char* heavy_side = e.a > 0 ? "left" : "right";
    Note n = remove_ ? note("back at " + key + ": its " + side_name(l->side) +
                                " subtree shrank, and " + key + " leaned " + heavy_side +
                                ": it is now " + balance_text(e.a) + ", two levels taller on the " +
                                heavy_side + " (never stored: a rotation mends it)",
                            e.node, fixup(*l), 3, fixup(*l))
                     : note("back at " + key + ": its " + side_name(l->side) +
                                " subtree grew, and " + key + " already leaned " + heavy_side +
                                ": it is now " + balance_text(e.a) + ", two levels taller on the " +
                                heavy_side + " (never stored: a rotation mends it)",
                            e.node, insert_rotate, l->side < 0 ? 7 : 13);
    ask_rotation(n, *l);
    writer_.frame(tree_, n);
  }

  // A factor the fix-up writes before it turns: first a frame for the case
  // it took, with the child's factor as it was; then one per factor.
  void rotation_write(const TraceEvent& e, const Level& l) {
    const size_t at = open_.back();
    const Fn fn = fixup(l);
    const bool twice = l.turns.size() >= 2;
    if (writes_seen_[at]++ == 0) {
      const NodeCopy* heavy = tree_.find(writer_.heavy);
      const nod* child = heavy == nullptr ? nullptr : l.heavy > 0 ? heavy->left : heavy->right;
      const int32_t lean = tree_.find(child) == nullptr ? 0 : tree_.find(child)->balance;
      std::string text = call(fn, l.heavy_key) + ": its " + (l.heavy > 0 ? "left" : "right") +
                         " child " + text_of(tree_.key_of(child)) + " " + lean_words(lean) + " (" +
                         balance_text(lean) + "): the " + (l.heavy > 0 ? "left-" : "right-") +
                         (twice == (l.heavy > 0) ? "right" : "left") + " case (" +
                         rotation_case(l) + ")";
      if (remove_ && lean == 0) {
        text += "; the rotated subtree will keep its height, so shrank = false";
      }
      const int line = remove_ ? (twice ? 4 : lean == 0 ? 8 : 9) : (twice ? 4 : 1);
      writer_.frame(tree_, note(text, writer_.heavy, fn, line, fn));
    }
    tree_.follow(e);
    if (e.node == writer_.heavy) {
      writer_.heavy = nullptr;  // its factor is now the one written
    }
    const std::string key = text_of(e.key);
    const int line = remove_ ? (twice ? 5 : 9) : (twice ? 6 : 2);
    Note n = note(call(fn, l.heavy_key) + " writes, before it turns, the factor " + key +
                      " will have once the rotation is done: " + balance_text(e.b),
                  e.node, fn, line, fn);
    n.asks.push_back(
        Ask{"balance", "What balance factor does " + key + " get now?", balance_text(e.b)});
    writer_.frame(tree_, n);
  }

  void rotated(const TraceEvent& e) {
    Level* l = level();
    const nod* turned = turning_;
    tree_.follow(e);
    const bool last = l == nullptr || ++turns_seen_ == l->turns.size();
    writer_.heavy = nullptr;
    const std::string down = text_of(tree_.key_of(turned));
    std::string text = std::string(e.a > 0 ? "rotate_left(" : "rotate_right(") + down +
                       "): " + text_of(e.key) + " moves up into its place and " + down +
                       " goes down to its " + (e.a > 0 ? "left" : "right");
    int line = 0;
    if (l != nullptr && last) {
      turns_seen_ = 0;
      if (remove_) {
        text += l->done == 1 ? "; the subtree is now a level lower than before the deletion"
                             : "; the subtree is now as tall as before the deletion";
      } else {
        text += "; the subtree is now as tall as it was before the insertion";
      }
    }
    if (l != nullptr) {
      const bool twice = l->turns.size() >= 2;
      line = remove_ ? (!twice ? 10 : e.b == 1 ? 6 : 7) : (!twice ? 3 : e.b == 1 ? 7 : 8);
    }
    writer_.frame(tree_, note(text, e.node, l == nullptr ? insert_rotate : fixup(*l), line,
                              l == nullptr ? function_count : fixup(*l)));
  }

  void done() {
    Level* l = level();
    if (l == nullptr) {
      return;
    }
    const size_t index = open_.back();
    if (l->idle() && (index == 0 || !levels_[index - 1].idle())) {
      // The outermost level of a run that only stored links: one frame.
      std::vector<int32_t> keys;
      std::vector<const nod*> nodes;
      for (size_t k = index; k < levels_.size() && levels_[k].idle(); ++k) {
        keys.push_back(levels_[k].key);
        nodes.push_back(levels_[k].node);
      }
      std::reverse(keys.begin(), keys.end());
      Note n =
          note(std::string(keys.size() == 1 ? "the call at " : "the calls at ") + listed(keys) +
                   (keys.size() == 1 ? " stores the link it got back"
                                     : " each store the link they got back") +
                   "; nothing else changes",
               l->node, remove_ ? delete_rotate : insert_rotate, remove_ ? 9 : 14);
      n.path.insert(n.path.end(), nodes.begin() + 1, nodes.end());
      writer_.frame(tree_, n);
    } else if (l->rekeyed && l->writes.empty() && l->turns.empty()) {
      writer_.frame(tree_, note("back at " + text_of(l->rekey_to) + " (which held " +
                                    text_of(l->key) + "): its left subtree kept its height; " +
                                    "it stores its link, nothing else to do",
                                l->node, delete_at, 6));
    }
    open_.pop_back();
  }

  const bool remove_;
  int32_t sought_;
  const StepTrace& step_;
  TreeCopy& tree_;
  NodeIds& ids_;
  FrameWriter& writer_;
  std::vector<Level> levels_;
  std::vector<int> writes_seen_;  // per level: the rotation writes shown
  size_t turns_seen_ = 0;         // of the rotation under way
  const nod* turning_ = nullptr;  // the node it turns
  std::vector<size_t> open_;
  size_t next_level_ = 0;
};

// ------------------------------------------------------------- queries --

// The calls of a recursive lookup: one per node passed.
std::vector<std::string> lookup_calls(Fn fn, const TreeCopy& tree,
                                      const std::vector<const nod*>& nodes) {
  std::vector<std::string> calls;
  for (const nod* node : nodes) {
    calls.push_back(call(fn, tree.key_of(node)));
  }
  return calls;
}

// A search: each comparison, and where it ends.
std::string search_frames(FrameWriter& writer, const TreeCopy& tree, int32_t key,
                          const Trace& trace) {
  std::vector<const nod*> passed;
  const std::string k = text_of(key);
  for (const TraceEvent& e : trace) {
    Note n;
    n.fn = search_avl;
    n.path = passed;
    if (e.what == trace_event::visit) {
      passed.push_back(e.node);
      n.calls = lookup_calls(search_avl, tree, passed);
      n.at = e.node;
      const std::string a = text_of(e.key);
      if (e.a == 0) {
        n.text = "at " + a + ": here is " + k;
        n.hit = e.node;
        n.line = 3;
      } else {
        n.text = "at " + a + ": " + k + (e.a < 0 ? " is less than " : " is greater than ") + a +
                 ", so the search goes " + side_name(e.a);
        n.line = e.a < 0 ? 1 : 2;
      }
    } else if (e.what == trace_event::missing) {
      n.calls = lookup_calls(search_avl, tree, passed);
      n.calls.push_back("search_avl(empty link)");
      n.line = 0;
      if (passed.empty()) {
        n.text = "the tree is empty: " + k + " is not in it";
      } else {
        const TraceEvent* last = &e - 1;
        n.end = last->node;
        n.end_side = last->a;
        n.text = "the empty " + std::string(side_name(last->a)) + " link of " + text_of(last->key) +
                 ": " + k + " is not in the tree; the search ends here";
      }
    } else {
      continue;
    }
    writer.frame(tree, n);
  }
  const TraceEvent* end = trace.empty() ? nullptr : &trace.back();
  if (end != nullptr && end->what == trace_event::visit) {
    const size_t compared = passed.size();
    return "search " + k + ": found after " + std::to_string(compared) +
           (compared == 1 ? " comparison" : " comparisons");
  }
  if (passed.empty()) {
    return "search " + k + ": the tree is empty";
  }
  const TraceEvent& last = trace[trace.size() - 2];
  return "search " + k + ": not in the tree; the search ends at the empty " + side_name(last.a) +
         " link of " + text_of(last.key);
}

std::string extreme_frames(FrameWriter& writer, const TreeCopy& tree, bool least,
                           const Trace& trace) {
  const Fn fn = least ? find_smallest : find_largest;
  const char* side = least ? "left" : "right";
  std::vector<const nod*> passed;
  std::string caption = least ? "minimum: the tree is empty" : "maximum: the tree is empty";
  for (const TraceEvent& e : trace) {
    if (e.what != trace_event::visit || e.node == nullptr) {
      continue;
    }
    Note n;
    n.fn = fn;
    n.path = passed;
    passed.push_back(e.node);
    n.calls = lookup_calls(fn, tree, passed);
    n.at = e.node;
    const std::string at = text_of(e.key);
    if (e.a != 0) {
      n.text = "at " + at + ": it has a " + side + " child, so go " + side;
      n.line = 1;
    } else {
      n.text = at + " has no " + side + " child: it is the " + (least ? "minimum" : "maximum");
      n.hit = e.node;
      n.line = 0;
      caption = std::string(least ? "minimum: " : "maximum: ") + at + ", the " +
                (least ? "leftmost" : "rightmost") + " node";
    }
    writer.frame(tree, n);
  }
  return caption;
}

// A bound descent: the successor is the last node where upper_bound's
// descent went left, the predecessor the last where lower_bound's went right
// (where the cursor climbs back to).
std::string bound_frames(FrameWriter& writer, const TreeCopy& tree, const Op& op,
                         const Trace& trace, const nod* answer) {
  const bool next = op.kind == Kind::successor;
  const Fn fn = next ? upper_bound : lower_bound;
  const std::string k = text_of(op.key);
  const std::string calls =
      next ? "AVL_upper_bound(tree, " + k + ")" : "AVL_cursor_lower_bound(cursor, tree, " + k + ")";
  std::vector<const nod*> passed;
  const nod* best = nullptr;
  for (const TraceEvent& e : trace) {
    if (e.what != trace_event::visit) {
      continue;
    }
    Note n;
    n.fn = fn;
    n.calls = {calls};
    n.path = passed;
    passed.push_back(e.node);
    n.at = e.node;
    const std::string a = text_of(e.key);
    const bool better = next ? e.a < 0 : e.a > 0;
    if (better) {
      best = e.node;
    }
    if (next) {
      n.text = e.a < 0 ? "at " + a + ": " + a + " is greater than " + k +
                             ", the closest above it so far; go left for a closer one"
                       : "at " + a + ": " + a + " is not greater than " + k + "; go right";
      n.line = e.a < 0 ? 2 : 3;
    } else {
      n.text = e.a > 0 ? "at " + a + ": " + a + " is less than " + k +
                             ", the closest below it so far; go right for a closer one"
                       : "at " + a + ": " + a + " is not less than " + k + "; go left";
      n.line = e.a > 0 ? 2 : 3;
    }
    writer.frame(tree, n);
  }
  const char* name = next ? "successor of " : "predecessor of ";
  if (passed.empty()) {
    return name + k + ": the tree is empty";
  }
  Note n;
  n.fn = fn;
  n.calls = {next ? calls : "AVL_cursor_prev(cursor)"};
  n.line = 4;
  const nod* end = passed.back();
  const int end_side = trace.back().a;
  n.end = end;
  n.end_side = end_side;
  const std::string ended = "the descent ends at the empty " + std::string(side_name(end_side)) +
                            " link of " + text_of(tree.key_of(end));
  if (answer == nullptr || answer != best) {
    n.text = ended + "; it never went " + (next ? "left" : "right") + ": no key is " +
             (next ? "greater" : "less") + " than " + k;
    writer.frame(tree, n);
    return name + k + ": none; no key is " + (next ? "greater" : "less") + " than " + k;
  }
  // Back up the way it came, to the answer.
  for (size_t i = passed.size(); i-- > 0;) {
    n.path.push_back(passed[i]);
    if (passed[i] == answer) {
      break;
    }
  }
  n.hit = answer;
  n.text = ended + "; the answer is the last node where it went " + (next ? "left" : "right") +
           ", the nearest one above the end that holds it in its " + (next ? "left" : "right") +
           " subtree: " + text_of(tree.key_of(answer));
  writer.frame(tree, n);
  return name + k + ": " + text_of(tree.key_of(answer));
}

std::string walk_frames(FrameWriter& writer, const TreeCopy& tree, Kind kind,
                        const std::vector<const nod*>& walked) {
  const int order = kind == Kind::preorder ? 0 : kind == Kind::inorder ? 1 : 2;
  const char* name[] = {"pre-order", "in-order", "post-order"};
  const char* why[] = {"on arrival, before its subtrees", "its left subtree is done",
                       "both its subtrees are done"};
  std::vector<std::pair<int, int>> order_so_far;
  for (size_t i = 0; i < walked.size(); ++i) {
    Note n;
    n.fn = walk_subtree;
    n.line = 1 + 2 * order;
    n.at = walked[i];
    for (const nod* up = tree.find(walked[i])->parent; up != nullptr; up = tree.find(up)->parent) {
      n.path.insert(n.path.begin(), up);
    }
    n.calls = lookup_calls(walk_subtree, tree, n.path);
    n.calls.push_back(call(walk_subtree, tree.key_of(walked[i])));
    n.quick = true;
    n.order = {{writer.id_of(walked[i]), static_cast<int>(i + 1)}};
    n.text = "visit " + text_of(tree.key_of(walked[i])) + ", the " + std::to_string(i + 1) +
             ordinal_suffix(i + 1) + " of " + std::to_string(walked.size()) + ": " + why[order];
    writer.frame(tree, n);
  }
  std::string caption = std::string(name[order]) + " walk: ";
  for (size_t i = 0; i < walked.size() && i < 24; ++i) {
    caption += (i == 0 ? "" : " ") + text_of(tree.key_of(walked[i]));
  }
  caption += walked.size() > 24 ? " \u2026 (" + std::to_string(walked.size()) + " keys)"
             : walked.empty()   ? "the tree is empty"
                                : "";
  return caption;
}

}  // namespace

bool takes_key(Kind kind) {
  return kind == Kind::insert || kind == Kind::remove || kind == Kind::search ||
         kind == Kind::successor || kind == Kind::predecessor;
}

bool changes_tree(Kind kind) {
  return kind == Kind::insert || kind == Kind::remove;
}

std::string op_name(const Op& op) {
  const std::string key = text_of(op.key);
  switch (op.kind) {
    case Kind::insert:
      return "insert " + key;
    case Kind::remove:
      return "delete " + key;
    case Kind::search:
      return "search " + key;
    case Kind::minimum:
      return "minimum";
    case Kind::maximum:
      return "maximum";
    case Kind::successor:
      return "successor of " + key;
    case Kind::predecessor:
      return "predecessor of " + key;
    case Kind::preorder:
      return "pre-order walk";
    case Kind::inorder:
      return "in-order walk";
    case Kind::postorder:
      return "post-order walk";
  }
  return key;
}

void quote(std::string& out, const std::string& text) {
  out += '"';
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      static const char hex[] = "0123456789abcdef";
      out += "\\u00";
      out += hex[(c >> 4) & 0xf];
      out += hex[c & 0xf];
    } else {
      out += c;
    }
  }
  out += '"';
}

void write_code(std::string& out) {
  out += '[';
  for (size_t i = 0; i < functions().size(); ++i) {
    out += i == 0 ? "[" : ",[";
    quote(out, functions()[i].name);
    out += ",[";
    for (size_t k = 0; k < functions()[i].lines.size(); ++k) {
      out += k == 0 ? "" : ",";
      quote(out, functions()[i].lines[k]);
    }
    out += "]]";
  }
  out += ']';
}

void write_record_fields(std::string& out) {
  out += '[';
  for (size_t i = 0; i < sizeof kFields / sizeof kFields[0]; ++i) {
    out += i == 0 ? "" : ",";
    quote(out, kFields[i]);
  }
  out += ']';
}

void write_step_frames(std::string& out, const Op& op, const StepTrace& step, TreeCopy& tree,
                       NodeIds& ids, const Layout& layout) {
  if (changes_tree(op.kind)) {
    FrameWriter writer(out, layout, ids);
    // The caption and marks of avl_dot --html, from the same reports, on a
    // copy: the frames play them on `tree` themselves.
    TreeCopy after = tree;
    const StepReport report =
        describe_step(Operation{op.kind == Kind::remove, op.key}, step.applied, step.trace, after);
    out += ",\"caption\":";
    quote(out, report.caption);
    writer.start(tree);
    Cutter(op, step, tree, ids, writer).play();
    Note last;
    last.text = report.caption;
    for (const auto& [node, mark] : report.marks) {
      last.marks.emplace_back(writer.id_of(node), static_cast<int>(mark));
    }
    std::sort(last.marks.begin(), last.marks.end());
    if (step.applied && tree.root() != nullptr) {
      last.asks.push_back(Ask{"root", "After " + op_name(op) + ", which key is the root?",
                              text_of(tree.key_of(tree.root()))});
    }
    writer.frame(tree, last);
    writer.finish();
    return;
  }
  // A query: the frames go to a buffer of their own, since the caption,
  // which comes first in the answer, is known only once they are cut.
  std::string body;
  FrameWriter queries(body, layout, ids);
  queries.start(tree);
  std::string caption;
  Note last;
  switch (op.kind) {
    case Kind::search:
      caption = search_frames(queries, tree, op.key, step.trace);
      last.hit = step.answer;
      break;
    case Kind::minimum:
    case Kind::maximum:
      caption = extreme_frames(queries, tree, op.kind == Kind::minimum, step.trace);
      last.hit = step.answer;
      break;
    case Kind::successor:
    case Kind::predecessor:
      caption = bound_frames(queries, tree, op, step.trace, step.answer);
      last.hit = step.answer;
      break;
    case Kind::preorder:
    case Kind::inorder:
    case Kind::postorder:
      caption = walk_frames(queries, tree, op.kind, step.walked);
      break;
    case Kind::insert:
    case Kind::remove:
      break;
  }
  last.text = caption;
  queries.frame(tree, last);
  queries.finish();
  out += ",\"caption\":";
  quote(out, caption);
  out += body;
}
