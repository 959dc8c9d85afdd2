// How one operation becomes frames (see frames.h).
//
// An insertion or a deletion is read from its trace twice. The first pass
// groups the reports by call level (a `visit` opens a level, the new leaf or
// the empty link at the bottom is one more, `done` closes the innermost) and
// words one line of the recursion panel per level, the levels that only
// stored their link again folded into one line per run. The second pass plays
// the reports on the shadow tree and writes a frame at each one a student
// would want to stop at: every comparison of the descent, the leaf linked or
// the node found, released or given its predecessor's key, each balance
// factor written on the way back, a node found two levels heavier on one
// side, the factors a rotation is about to leave, each single rotation (a
// double one is two), and one frame for each run of folded levels. The last
// frame is the tree after the operation with the marks of avl_dot --html.
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

// ------------------------------------------------------------- the shadow --
//
// The tree as the frames show it: every node by address with the key, balance
// factor and links it had at the last report, and a parent link, which the
// module's nodes lack. Addresses are only compared here, never followed. Where
// the module stores a link later than it reports the change, the shadow runs
// ahead of it: a rotated subtree hangs in its parent's link at once, and the
// new leaf hangs where the descent ended.
struct Shade {
  int id;
  int32_t key;
  int32_t balance;
  const nod* left;
  const nod* right;
  const nod* parent;
};

class Shadow {
 public:
  Shadow(const TreeCopy& tree, const NodeIds& ids) {
    for (const NodeCopy& node : tree.nodes) {
      const auto id = ids.find(as_node(node.address));
      nodes_.emplace(as_node(node.address),
                     Shade{id == ids.end() ? -1 : id->second, node.key, node.balance,
                           as_node(node.left), as_node(node.right), as_node(node.parent)});
    }
    root_ = tree.nodes.empty() ? nullptr : as_node(tree.nodes[0].address);
  }

  const nod* root() const { return root_; }

  const Shade* find(const nod* node) const {
    const auto found = nodes_.find(node);
    return found == nodes_.end() ? nullptr : &found->second;
  }
  Shade* find(const nod* node) {
    const auto found = nodes_.find(node);
    return found == nodes_.end() ? nullptr : &found->second;
  }

  int id_of(const nod* node) const {
    const Shade* shade = find(node);
    return shade == nullptr ? -1 : shade->id;
  }

  int32_t key_of(const nod* node) const {
    const Shade* shade = find(node);
    return shade == nullptr ? 0 : shade->key;
  }

  // A new leaf under `parent` on `side` (-1 left, +1 right), or the root.
  void hang(const nod* node, int id, int32_t key, const nod* parent, int side) {
    nodes_[node] = Shade{id, key, 0, nullptr, nullptr, parent};
    if (parent == nullptr) {
      root_ = node;
    } else if (side < 0) {
      find(parent)->left = node;
    } else {
      find(parent)->right = node;
    }
  }

  // Puts `replacement` (or nothing) where `node` hangs.
  void replace(const nod* node, const nod* replacement) {
    const nod* parent = find(node)->parent;
    if (parent == nullptr) {
      root_ = replacement;
    } else {
      Shade* up = find(parent);
      (up->left == node ? up->left : up->right) = replacement;
    }
    if (replacement != nullptr) {
      find(replacement)->parent = parent;
    }
  }

  // Gives `node` these links, as the module's node has them now.
  void relink(const nod* node, const nod* left, const nod* right) {
    Shade* shade = find(node);
    shade->left = left;
    shade->right = right;
    for (const nod* child : {left, right}) {
      if (Shade* below = find(child)) {
        below->parent = node;
      }
    }
  }

  void remove(const nod* node) { nodes_.erase(node); }

  // Whether the shadow holds exactly the tree of the copy: keys, balance
  // factors and links, node for node.
  bool matches(const TreeCopy& tree) const {
    if (tree.nodes.size() != nodes_.size() ||
        root_ != (tree.nodes.empty() ? nullptr : as_node(tree.nodes[0].address))) {
      return false;
    }
    for (const NodeCopy& node : tree.nodes) {
      const Shade* shade = find(as_node(node.address));
      if (shade == nullptr || shade->key != node.key || shade->balance != node.balance ||
          shade->left != as_node(node.left) || shade->right != as_node(node.right)) {
        return false;
      }
    }
    return true;
  }

  // The node found two levels heavier on one side, drawn with that factor
  // until its rotation is over: the module never stores it.
  const nod* heavy = nullptr;
  int32_t heavy_value = 0;

 private:
  static const nod* as_node(std::uintptr_t address) {
    return reinterpret_cast<const nod*>(address);
  }

  std::unordered_map<const nod*, Shade> nodes_;
  const nod* root_ = nullptr;
};

// ------------------------------------------------------------- the frames --

// A node as one frame draws it.
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

using Drawing = std::unordered_map<int, Drawn>;  // by id

// Lays the subtree out (column: place in key order, row: depth, as avl_dot
// draws it) and returns its height.
int lay_out(const Shadow& shadow, const nod* node, int depth, int parent, int& rank,
            const Layout& layout, Drawing& drawing) {
  const Shade* shade = shadow.find(node);
  if (shade == nullptr) {
    return 0;
  }
  const int left = lay_out(shadow, shade->left, depth + 1, shade->id, rank, layout, drawing);
  const int x = column_x(rank++, layout);
  const int right = lay_out(shadow, shade->right, depth + 1, shade->id, rank, layout, drawing);
  const int height = 1 + std::max(left, right);
  const int32_t balance = node == shadow.heavy ? shadow.heavy_value : shade->balance;
  drawing[shade->id] = Drawn{shade->key, balance, x, row_y(depth, layout), parent, height};
  return height;
}

// What a frame says and highlights besides the tree.
struct Note {
  std::string text;
  int line = -1;                           // the recursion line it belongs to
  const nod* at = nullptr;                 // the node the call under way is at
  std::vector<const nod*> path;            // the nodes of the calls it runs below
  const nod* hit = nullptr;                // what a query reached
  bool quick = false;                      // one of many alike (a walk): played faster
  std::vector<std::pair<int, int>> marks;  // id, Mark: the last frame's
  std::vector<std::pair<int, int>> order;  // id, number: a walk's visit order so far
};

void put_number(std::string& out, long long value) {
  out += std::to_string(value);
}

void put_record(std::string& out, int id, const Drawn& d) {
  out += '[';
  for (const long long value :
       {static_cast<long long>(id), static_cast<long long>(d.key),
        static_cast<long long>(d.balance), static_cast<long long>(d.x), static_cast<long long>(d.y),
        static_cast<long long>(d.parent), static_cast<long long>(d.height)}) {
    if (out.back() != '[') {
      out += ',';
    }
    put_number(out, value);
  }
  out += ']';
}

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
  FrameWriter(std::string& out, const Layout& layout) : out_(out), layout_(layout) {}

  void start(const Shadow& shadow) {
    int tallest = 0;
    const Drawing drawing = draw(shadow, &tallest);
    out_ += ",\"start\":{";
    put_size(drawing.size(), tallest);
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

  void frame(const Shadow& shadow, const Note& note) {
    int tallest = 0;
    Drawing drawing = draw(shadow, &tallest);
    out_ += count_++ == 0 ? "{\"text\":" : ",{\"text\":";
    quote(out_, note.text);
    out_ += ",\"line\":" + std::to_string(note.line);
    out_ += ",\"at\":" + std::to_string(shadow.id_of(note.at));
    out_ += ",\"hit\":" + std::to_string(shadow.id_of(note.hit));
    out_ += ",\"heavy\":" + std::to_string(shadow.id_of(shadow.heavy));
    out_ += ",\"path\":[";
    bool first = true;
    for (const nod* node : note.path) {
      const int id = shadow.id_of(node);
      if (id >= 0) {
        out_ += (first ? "" : ",") + std::to_string(id);
        first = false;
      }
    }
    out_ += "],";
    put_size(drawing.size(), tallest);
    if (note.quick) {
      out_ += ",\"quick\":1";
    }
    put_pairs(out_, "marks", note.marks);
    put_pairs(out_, "order", note.order);
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
  Drawing draw(const Shadow& shadow, int* tallest) const {
    Drawing drawing;
    int rank = 0;
    *tallest = lay_out(shadow, shadow.root(), 0, -1, rank, layout_, drawing);
    return drawing;
  }

  void put_size(size_t nodes, int height) {
    out_ += "\"w\":" + std::to_string(drawing_width(nodes, layout_)) +
            ",\"h\":" + std::to_string(drawing_height(height, layout_));
  }

  std::string& out_;
  const Layout& layout_;
  Drawing shown_;
  int count_ = 0;
};

// One line of the recursion panel: plain words, and the functions as detail.
struct Line {
  std::string text;
  std::string detail;
};

void put_lines(std::string& out, const std::vector<Line>& lines) {
  out += ",\"lines\":[";
  for (size_t i = 0; i < lines.size(); ++i) {
    out += i == 0 ? "[" : ",[";
    quote(out, lines[i].text);
    out += ',';
    quote(out, lines[i].detail);
    out += ']';
  }
  out += ']';
}

// ------------------------------------------------ insertion and deletion --

// One call level, as the first pass reads it off the trace.
struct Level {
  const nod* node = nullptr;  // null for the bottom of the descent
  int32_t key = 0;            // the node's key when the descent reached it
  int dir = 0;                // the way the descent went: -1 left, +1 right, 0 found here
  bool leaf = false;          // the bottom of an insertion: the new leaf
  bool missing = false;       // the bottom of a failed deletion: an empty link
  int32_t leaf_key = 0;
  int children = -1;  // found here: how many
  bool released = false;
  bool kept = false;  // released, and a child took its place
  int32_t kept_key = 0;
  bool rekeyed = false;
  int32_t rekey_to = 0;
  int side = 0;  // the link its call stored: -1 left, +1 right
  struct Write {
    int32_t key;
    int32_t from;
    int32_t to;
  };
  std::vector<Write> writes;           // balance factors written outside a rotation
  std::vector<Write> rotation_writes;  // those written for the rotation that follows
  int heavy = 0;                       // +2 or -2 when it was found too heavy
  struct Turn {
    int32_t at;   // the key of the node turned
    int32_t top;  // the key of the node that came up
    int dir;      // +1 left, -1 right
  };
  std::vector<Turn> turns;
  int done = -1;  // 1 the height change went on up, 0 it stopped here
  int line = -1;
  size_t run_start = 0;  // for an idle level: the outermost level of its run

  bool is_bottom() const { return leaf || missing; }
  // A level that only stored its link again.
  bool idle() const {
    return !is_bottom() && dir != 0 && writes.empty() && heavy == 0 && turns.empty();
  }
};

// The first pass: the call levels, outermost first (the bottom last).
std::vector<Level> read_levels(const std::vector<TraceEvent>& events) {
  std::vector<Level> levels;
  std::vector<size_t> open;
  const auto top = [&]() -> Level* { return open.empty() ? nullptr : &levels[open.back()]; };
  for (const TraceEvent& e : events) {
    Level* level = top();
    switch (e.what) {
      case trace_event::visit:
        levels.push_back(Level{});
        levels.back().node = e.node;
        levels.back().key = e.key;
        levels.back().dir = e.a;
        open.push_back(levels.size() - 1);
        break;
      case trace_event::leaf:
      case trace_event::missing:
        levels.push_back(Level{});
        levels.back().leaf = e.what == trace_event::leaf;
        levels.back().missing = e.what == trace_event::missing;
        levels.back().leaf_key = e.key;
        open.push_back(levels.size() - 1);
        break;
      case trace_event::found:
        if (level != nullptr) {
          level->children = e.a;
        }
        break;
      case trace_event::release:
        if (level != nullptr) {
          level->released = true;
          level->kept = e.left != nullptr || e.right != nullptr;
          level->kept_key = e.other_key;
        }
        break;
      case trace_event::rekey:
        if (level != nullptr) {
          level->rekeyed = true;
          level->rekey_to = e.b;
        }
        break;
      case trace_event::link:
        // The failed deletion's empty link reports no `done`: its level ends
        // where the level above stores its link.
        while (!open.empty() && levels[open.back()].node != e.node) {
          open.pop_back();
        }
        if (Level* at = top()) {
          at->side = e.a;
        }
        break;
      case trace_event::balance:
        if (level != nullptr) {
          (level->heavy != 0 ? level->rotation_writes : level->writes)
              .push_back(Level::Write{e.key, e.a, e.b});
        }
        break;
      case trace_event::heavy:
        if (level != nullptr) {
          level->heavy = e.a;
        }
        break;
      case trace_event::rotate:
        if (level != nullptr) {
          level->turns.push_back(Level::Turn{e.key, 0, e.a});
        }
        break;
      case trace_event::rotated:
        if (level != nullptr && !level->turns.empty()) {
          level->turns.back().top = e.key;
        }
        break;
      case trace_event::done:
        if (level != nullptr) {
          level->done = e.a;
          open.pop_back();
        }
        break;
    }
  }
  return levels;
}

// The words of a rotation found at a level, as avl_dot --html names it.
std::string rotation_kind(const Level& level) {
  const bool left_heavy = level.heavy > 0;
  if (level.turns.size() >= 2) {
    return left_heavy ? "double rotation (left-right)" : "double rotation (right-left)";
  }
  return left_heavy ? "single rotation (left-left)" : "single rotation (right-right)";
}

std::string balance_words(int32_t balance) {
  return balance > 0 ? "leans left" : balance < 0 ? "leans right" : "is balanced";
}

// The function a level's fix-up runs in: insertion rebalances the heavy side,
// deletion the side opposite the one that shrank.
std::string fixup_name(bool remove, const Level& level) {
  if (!remove) {
    return level.heavy > 0 ? "balance_left" : "balance_right";
  }
  return level.side < 0 ? "del_balance_right" : "del_balance_left";
}

std::string turns_detail(const Level& level) {
  std::string text =
      level.turns.size() >= 2 ? "set_double_rotation_balances" : "set_single_rotation_balances";
  for (const Level::Turn& turn : level.turns) {
    text += std::string(turn.dir > 0 ? ", turn_left(" : ", turn_right(") + text_of(turn.at) + ")";
  }
  return text;
}

// What a level did on its way back, in words: "12 now leans left" or "12
// was already leaning left, now +2: single rotation (left-left), 10 on top".
std::string return_words(bool remove, const Level& level) {
  const std::string key = text_of(level.rekeyed ? level.rekey_to : level.key);
  if (!level.turns.empty()) {
    return key + " was already leaning " + side_name(level.heavy > 0 ? -1 : +1) + ", now " +
           (level.heavy > 0 ? "+2" : "-2") + ": " + rotation_kind(level) + ", " +
           text_of(level.turns.back().top) + " on top";
  }
  if (!level.writes.empty()) {
    const Level::Write& write = level.writes.back();
    return key + (write.to == 0 ? " is balanced again" : " now " + balance_words(write.to));
  }
  return remove ? key + " keeps its height" : key + " stores its link";
}

std::string verdict(bool remove, int done) {
  if (remove) {
    return done == 1 ? "shrinking goes on" : "shrinking stops";
  }
  return done == 1 ? "growth goes on" : "growth stops";
}

std::vector<Line> word_lines(bool remove, int32_t key, std::vector<Level>& levels) {
  const char* call = remove ? "delete_rotate(" : "insert_rotate(";
  std::vector<Line> lines;
  for (size_t i = 0; i < levels.size(); ++i) {
    Level& level = levels[i];
    if (level.idle()) {
      // A run of levels that only stored their links: one line.
      size_t end = i;
      while (end + 1 < levels.size() && levels[end + 1].idle()) {
        ++end;
      }
      Line line;
      line.text = "went ";
      for (size_t k = i; k <= end; ++k) {
        line.text += std::string(k == i ? "" : ", ") + side_name(levels[k].dir) + " at " +
                     text_of(levels[k].key);
        line.detail += std::string(k == i ? "" : ", ") + call + text_of(levels[k].key) + ")";
        levels[k].line = static_cast<int>(lines.size());
        levels[k].run_start = i;
      }
      line.text += end == i ? "; on the way back it only stores its link"
                            : "; on the way back each only stores its link";
      lines.push_back(line);
      i = end;
      continue;
    }
    level.line = static_cast<int>(lines.size());
    Line line;
    const std::string at = text_of(level.key);
    const Level* above = i == 0 ? nullptr : &levels[i - 1];
    const std::string place = above == nullptr || above->node == nullptr
                                  ? "at the empty root link"
                                  : "at the empty " + std::string(side_name(above->dir)) +
                                        " link of " +
                                        text_of(above->rekeyed ? above->rekey_to : above->key);
    if (level.leaf) {
      line.text = above == nullptr ? "the tree was empty: " + text_of(level.leaf_key) +
                                         " becomes its root; growth starts"
                                   : place + ": the new leaf " + text_of(level.leaf_key) +
                                         " is linked in; growth starts";
      line.detail = "insert_rotate(empty link) returns the new leaf";
    } else if (level.missing) {
      line.text = above == nullptr ? "the tree is empty: " + text_of(key) + " is not in it"
                                   : place + ": " + text_of(key) + " is not in the tree";
      line.detail = "delete_rotate(empty link): not found, nothing changes";
    } else if (level.dir == 0 && !level.rekeyed) {
      line.text = "found " + at + ": " +
                  (level.kept ? "one child, " + text_of(level.kept_key) +
                                    ", moves up into its place and " + at + " is released"
                              : "a leaf, released; its link is now empty") +
                  "; shrinking starts";
      line.detail = std::string(call) + at + ") \u2192 delete_at: unlinks and releases it";
    } else if (level.dir == 0) {
      const std::string taken = text_of(level.rekey_to);
      line.text = "found " + at + " with two children: it takes its in-order predecessor's key " +
                  taken + ", and the deletion goes on for " + taken + " on the left";
      line.detail = std::string(call) + at + ") \u2192 delete_at: takes the key, " + call +
                    "left, " + taken + ")";
      if (level.done >= 0) {
        line.text +=
            "; back here, " + return_words(remove, level) + "; " + verdict(remove, level.done);
      }
      if (!level.turns.empty() || !level.writes.empty()) {
        line.detail += " \u2192 " + fixup_name(remove, level);
        line.detail += level.turns.empty() ? ": set_balance" : ": " + turns_detail(level);
      }
    } else {
      line.text = "went " + std::string(side_name(level.dir)) + " at " + at + "; " +
                  (remove ? "the " + std::string(side_name(level.side)) + " side shrank: " : "") +
                  return_words(remove, level) + "; " + verdict(remove, level.done);
      line.detail = std::string(call) + at + ")";
      if (!level.turns.empty()) {
        line.detail += " \u2192 " + fixup_name(remove, level) + ": " + turns_detail(level);
      } else if (remove) {
        line.detail += " \u2192 " + fixup_name(remove, level) + ": set_balance";
      } else {
        line.detail += ": set_balance";
      }
    }
    lines.push_back(line);
  }
  return lines;
}

// The words of a descent's comparison at `at`, going `dir`.
std::string comparison(bool remove, int32_t sought, int32_t at, int dir) {
  const std::string what = remove ? "the deletion" : "the insertion";
  const std::string s = text_of(sought);
  const std::string a = text_of(at);
  if (sought == at && dir > 0) {
    return "at " + a + ": " + s + " equals " + a + ", and equal keys go right";
  }
  return "at " + a + ": " + s + (dir < 0 ? " is less than " : " is greater than ") + a + ", so " +
         what + " goes " + side_name(dir);
}

// The second pass: the frames.
void write_update(const Op& op, const std::vector<TraceEvent>& events, std::vector<Level>& levels,
                  Shadow& shadow, FrameWriter& writer, const std::string& caption,
                  const std::vector<std::pair<int, int>>& marks) {
  const bool remove = op.kind == Kind::remove;
  const std::string grows = remove ? "shrank" : "grew";
  int32_t sought = op.key;
  size_t next_level = 0;
  std::vector<size_t> open;
  const nod* rotating = nullptr;                  // the node a rotation under way turns
  std::vector<int> turns_seen(levels.size(), 0);  // per level
  const auto path = [&]() {
    std::vector<const nod*> nodes;
    for (const size_t i : open) {
      if (levels[i].node != nullptr) {
        nodes.push_back(levels[i].node);
      }
    }
    return nodes;
  };
  const auto note = [&](const std::string& text, const nod* at) {
    Note n;
    n.text = text;
    n.at = at;
    n.path = path();
    n.line = open.empty() ? -1 : levels[open.back()].line;
    return n;
  };

  for (const TraceEvent& e : events) {
    Level* level = open.empty() ? nullptr : &levels[open.back()];
    switch (e.what) {
      case trace_event::visit:
        open.push_back(next_level++);
        if (e.a != 0) {
          writer.frame(shadow, note(comparison(remove, sought, e.key, e.a), e.node));
        }
        break;
      case trace_event::leaf: {
        const Level* above = level;
        open.push_back(next_level++);
        shadow.hang(e.node, e.id, e.key, above == nullptr ? nullptr : above->node,
                    above == nullptr ? 0 : above->dir);
        writer.frame(
            shadow,
            note(above == nullptr ? "the tree was empty: " + text_of(e.key) + " becomes its root"
                                  : text_of(e.key) + " is linked in as a new leaf at the empty " +
                                        side_name(above->dir) + " link of " + text_of(above->key) +
                                        ": that side of " + text_of(above->key) + " has grown",
                 e.node));
        break;
      }
      case trace_event::missing: {
        const Level* above = level;
        open.push_back(next_level++);
        writer.frame(
            shadow,
            note(above == nullptr ? "the tree is empty: " + text_of(sought) + " is not in it"
                                  : "the empty " + std::string(side_name(above->dir)) +
                                        " link of " + text_of(above->key) + ": " + text_of(sought) +
                                        " is not in the tree, so nothing will change",
                 nullptr));
        break;
      }
      case trace_event::found: {
        const std::string key = text_of(e.key);
        writer.frame(shadow, note("at " + key + ": here is " + key + "; it has " +
                                      (e.a == 0   ? std::string("no children")
                                       : e.a == 1 ? std::string("one child")
                                                  : std::string("two children")),
                                  e.node));
        break;
      }
      case trace_event::release: {
        const nod* kept = e.left != nullptr ? e.left : e.right;
        const bool root = shadow.find(e.node) != nullptr && shadow.find(e.node)->parent == nullptr;
        if (root && kept == nullptr) {
          shadow.replace(e.node, kept);
          shadow.remove(e.node);
          writer.frame(shadow, note(text_of(e.key) + ", the only node, is released: the tree is "
                                                     "empty",
                                    nullptr));
          break;
        }
        shadow.replace(e.node, kept);
        shadow.remove(e.node);
        Note n = note(kept == nullptr ? text_of(e.key) +
                                            " is unlinked and released; the link that held it "
                                            "is now empty: that side has shrunk"
                                      : text_of(e.other_key) + " moves up into the place of " +
                                            text_of(e.key) + ", which is released",
                      kept);
        writer.frame(shadow, n);
        break;
      }
      case trace_event::rekey: {
        if (Shade* shade = shadow.find(e.node)) {
          shade->key = e.b;
        }
        sought = e.b;
        writer.frame(shadow,
                     note(text_of(e.a) +
                              " has two children, so it takes the key of its in-order "
                              "predecessor, " +
                              text_of(e.b) + " (the largest key on its left), and the deletion " +
                              "goes on for " + text_of(e.b) + " in the left subtree",
                          e.node));
        break;
      }
      case trace_event::link:
        while (!open.empty() && levels[open.back()].node != e.node) {
          open.pop_back();
        }
        if (Shade* shade = shadow.find(e.node)) {
          // The link stored now is the one the shadow already shows.
          (e.a < 0 ? shade->left : shade->right) = e.a < 0 ? e.left : e.right;
          if (Shade* child = shadow.find(e.a < 0 ? e.left : e.right)) {
            child->parent = e.node;
          }
        }
        break;
      case trace_event::balance: {
        if (Shade* shade = shadow.find(e.node)) {
          shade->balance = e.b;
        }
        if (level == nullptr || level->heavy != 0) {
          break;  // shown with the rotation it prepares
        }
        const std::string key = text_of(e.key);
        std::string text = "back at " + key + ": its " + side_name(level->side) + " side " + grows +
                           "; " + key +
                           (e.a == 0 ? " was balanced and now " + balance_words(e.b)
                                     : " " + std::string(e.a > 0 ? "leaned left" : "leaned right") +
                                           " and is now balanced");
        text += (e.b == 0) == remove
                    ? "; it is one level " + std::string(remove ? "lower" : "higher")
                    : "; its height is unchanged";
        text += ": " + verdict(remove, level->done);
        writer.frame(shadow, note(text, e.node));
        break;
      }
      case trace_event::heavy: {
        shadow.heavy = e.node;
        shadow.heavy_value = e.a;
        if (level == nullptr) {
          break;
        }
        const std::string key = text_of(e.key);
        const char* heavy_side = e.a > 0 ? "left" : "right";
        writer.frame(shadow,
                     note("back at " + key + ": its " + side_name(level->side) + " side " + grows +
                              ", and " + key + " already leaned " + heavy_side + ": it is now " +
                              (e.a > 0 ? "+2" : "-2") + ", two levels taller on the " + heavy_side +
                              "; " + fixup_name(remove, *level) + " rotates it",
                          e.node));
        break;
      }
      case trace_event::rotate: {
        rotating = e.node;
        if (level == nullptr || turns_seen[open.back()]++ != 0) {
          break;
        }
        // Before the first turn: the fix-up's case, and the factors it wrote.
        const Level::Turn& last = level->turns.back();
        const bool twice = level->turns.size() >= 2;
        const int32_t child = twice ? level->turns.front().at : last.top;
        int32_t child_was = twice ? -level->heavy / 2 : 0;
        for (const Level::Write& write : level->rotation_writes) {
          if (!twice && write.key == child) {
            child_was = write.from;
          }
        }
        std::string text = fixup_name(remove, *level) + ": the " +
                           (level->heavy > 0 ? "left" : "right") + " child " + text_of(child) +
                           " " + balance_words(child_was) + ", so a " + rotation_kind(*level) +
                           " follows";
        if (!level->rotation_writes.empty()) {
          text += "; the balance factors it will leave are written first:";
          for (size_t i = 0; i < level->rotation_writes.size(); ++i) {
            const Level::Write& write = level->rotation_writes[i];
            text += std::string(i == 0 ? " " : ", ") + text_of(write.key) + " " +
                    balance_text(write.to);
          }
        }
        writer.frame(shadow, note(text, shadow.heavy));
        break;
      }
      case trace_event::rotated: {
        // The node turned goes down on the side the rotation turns to; its
        // child comes up into its place.
        const nod* turned = rotating;
        shadow.replace(turned, e.node);
        shadow.relink(e.node, e.left, e.right);
        for (int i = 0; i < 2; ++i) {
          const nod* child = i == 0 ? e.left : e.right;
          if (shadow.find(child) != nullptr) {
            shadow.relink(child, e.below[2 * i], e.below[2 * i + 1]);
          }
        }
        const bool last = turned == shadow.heavy;
        if (last) {
          shadow.heavy = nullptr;
        }
        const std::string down = text_of(shadow.key_of(turned));
        std::string text = std::string("rotate ") + (e.a > 0 ? "left" : "right") + " at " + down +
                           ": " + text_of(e.key) + " moves up into its place and " + down +
                           " goes down to its " + (e.a > 0 ? "left" : "right");
        if (last && level != nullptr) {
          text += remove ? (level->done == 1 ? "; the subtree is one level lower: "
                                             : "; the subtree keeps its height: ")
                         : "; the subtree is as tall as before the insertion: ";
          text += verdict(remove, level->done);
        }
        writer.frame(shadow, note(text, e.node));
        rotating = nullptr;
        break;
      }
      case trace_event::done: {
        if (level == nullptr) {
          break;
        }
        const size_t index = open.back();
        if (level->idle() && level->run_start == index) {
          // The outermost level of a run that only stored links: one frame.
          std::vector<int32_t> keys;
          std::vector<const nod*> nodes;
          for (size_t k = index;
               k < levels.size() && levels[k].idle() && levels[k].run_start == index; ++k) {
            keys.push_back(levels[k].key);
            nodes.push_back(levels[k].node);
          }
          std::reverse(keys.begin(), keys.end());
          Note n =
              note(std::string(keys.size() == 1 ? "the call at " : "the calls at ") + listed(keys) +
                       (keys.size() == 1 ? " stores the link it got back"
                                         : " each store the link they got back") +
                       "; nothing else changes",
                   level->node);
          n.path.insert(n.path.end(), nodes.begin(), nodes.end());
          writer.frame(shadow, n);
        } else if (level->rekeyed && level->writes.empty() && level->turns.empty()) {
          writer.frame(shadow, note("back at " + text_of(level->rekey_to) + " (which held " +
                                        text_of(level->key) + "): its left side kept its " +
                                        "height; it stores its link, nothing else to do",
                                    level->node));
        }
        open.pop_back();
        break;
      }
    }
  }
  Note last;
  last.text = caption;
  last.marks = marks;
  writer.frame(shadow, last);
}

// ------------------------------------------------------------- queries --

// The route from the root to `target` in `tree`, by its parent links.
std::vector<const nod*> route_to(const TreeCopy& tree, const nod* target) {
  std::vector<const nod*> route;
  for (const NodeCopy* node = tree.find(reinterpret_cast<std::uintptr_t>(target)); node != nullptr;
       node = tree.find(node->parent)) {
    route.push_back(reinterpret_cast<const nod*>(node->address));
  }
  std::reverse(route.begin(), route.end());
  return route;
}

int depth_of(const TreeCopy& tree, const nod* node) {
  const NodeCopy* copy = tree.find(reinterpret_cast<std::uintptr_t>(node));
  return copy == nullptr ? -1 : copy->depth;
}

// Where a search for `key` ends: the node holding it that search_avl returns,
// or, when there is none, the node whose empty link the key would hang from.
// That is the deeper of the two neighbours of the gap in key order (the last
// node below `key` and the first above it), one of which is always an
// ancestor of the other. `*left` says which link of it: the empty one.
const nod* search_end(const AVL_TREE* tree, const TreeCopy& copy, int32_t key, bool* found,
                      bool* left) {
  const nod* node = search_avl(tree->root, key);
  *found = node != nullptr;
  *left = false;
  if (node != nullptr) {
    return node;
  }
  AVL_CURSOR cursor;
  const nod* above = AVL_cursor_lower_bound(&cursor, tree, key);
  const nod* below = AVL_cursor_prev(&cursor);
  if (above == nullptr || (below != nullptr && depth_of(copy, below) > depth_of(copy, above))) {
    return below;
  }
  *left = true;
  return above;
}

int visit_into(const nod* node, void* context) {
  static_cast<std::vector<const nod*>*>(context)->push_back(node);
  return 1;
}

const char* ordinal_suffix(size_t n) {
  if (n % 100 >= 11 && n % 100 <= 13) {
    return "th";
  }
  return n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
}

// Writes the frames of the descent along `route` looking for `key`; the last
// node on it is where the search stopped.
void search_frames(FrameWriter& writer, const Shadow& shadow, const std::vector<const nod*>& route,
                   int32_t key, bool found, bool left, int line) {
  for (size_t i = 0; i < route.size(); ++i) {
    const int32_t at = shadow.key_of(route[i]);
    Note n;
    n.at = route[i];
    n.path.assign(route.begin(), route.begin() + static_cast<long>(i));
    n.line = line;
    if (i + 1 == route.size() && found) {
      n.text = "at " + text_of(at) + ": here is " + text_of(key);
      n.hit = route[i];
    } else {
      const bool goes_left =
          i + 1 < route.size() ? shadow.find(route[i])->left == route[i + 1] : left;
      n.text = "at " + text_of(at) + ": " + text_of(key) +
               (goes_left ? " is less than " : " is greater than ") + text_of(at) +
               ", so the search goes " + (goes_left ? "left" : "right");
      if (i + 1 == route.size()) {
        n.text += ", to an empty link: " + text_of(key) + " is not in the tree";
      }
    }
    writer.frame(shadow, n);
  }
  if (route.empty()) {
    Note n;
    n.text = "the tree is empty: " + text_of(key) + " is not in it";
    n.line = line;
    writer.frame(shadow, n);
  }
}

void write_query(std::string& out, const Op& op, const AVL_TREE* tree, const TreeCopy& copy,
                 const Shadow& shadow, const Layout& layout) {
  std::vector<Line> lines;
  std::string caption;
  const std::string key = text_of(op.key);
  // The words are worked out first (the caption and lines come before the
  // frames in the answer); the frames are written after.
  bool found = false;
  bool left = false;
  const nod* end = nullptr;
  const nod* result = nullptr;
  std::vector<const nod*> visits;
  switch (op.kind) {
    case Kind::search: {
      end = search_end(tree, copy, op.key, &found, &left);
      const size_t compared = route_to(copy, end).size();
      caption = "search " + key + ": " +
                (found ? "found after " + std::to_string(compared) +
                             (compared == 1 ? " comparison" : " comparisons")
                 : end == nullptr ? "the tree is empty"
                                  : "not in the tree; the search ends at the empty " +
                                        std::string(left ? "left" : "right") + " link of " +
                                        text_of(shadow.key_of(end)));
      lines.push_back(
          {"compare with each node from the root down: smaller keys go left, larger "
           "go right, until " +
               key + " or an empty link",
           "search_avl(node, " + key + "), one call per node"});
      break;
    }
    case Kind::minimum:
    case Kind::maximum: {
      const bool least = op.kind == Kind::minimum;
      result = least ? find_smallest_node(tree->root) : find_largest_node(tree->root);
      caption = std::string(least ? "minimum: " : "maximum: ") +
                (result == nullptr ? "the tree is empty"
                                   : text_of(shadow.key_of(result)) + ", the " +
                                         (least ? "leftmost" : "rightmost") + " node");
      lines.push_back({std::string("from the root, go ") + (least ? "left" : "right") +
                           " while there is a " + (least ? "left" : "right") + " child",
                       least ? "find_smallest_node(root)" : "find_largest_node(root)"});
      break;
    }
    case Kind::successor:
    case Kind::predecessor: {
      const bool next = op.kind == Kind::successor;
      end = search_end(tree, copy, op.key, &found, &left);
      if (next) {
        result = AVL_upper_bound(tree, op.key);
      } else {
        // The node before the first one holding `key` or more.
        AVL_CURSOR cursor;
        AVL_cursor_lower_bound(&cursor, tree, op.key);
        result = AVL_cursor_prev(&cursor);
      }
      caption = std::string(next ? "successor of " : "predecessor of ") + key + ": " +
                (result == nullptr
                     ? (tree->root == nullptr ? "the tree is empty"
                                              : std::string("none; no key is ") +
                                                    (next ? "greater" : "less") + " than " + key)
                     : text_of(shadow.key_of(result)));
      lines.push_back({"search for " + key + " from the root",
                       "search_avl(root, " + key + "), one call per node"});
      lines.push_back({std::string("from there, the ") + (next ? "next key up" : "next key down") +
                           ": " +
                           (next ? "the leftmost node of the right subtree, or else the nearest "
                                   "ancestor it is left of"
                                 : "the rightmost node of the left subtree, or else the nearest "
                                   "ancestor it is right of"),
                       next ? "AVL_upper_bound(tree, " + key + ")"
                            : "AVL_lower_bound(tree, " + key + "), then one step back"});
      break;
    }
    case Kind::preorder:
    case Kind::inorder:
    case Kind::postorder: {
      const int order = op.kind == Kind::preorder ? 0 : op.kind == Kind::inorder ? 1 : 2;
      AVL_walk(tree, order, visit_into, &visits);
      const char* name[] = {"pre-order", "in-order", "post-order"};
      const char* rule[] = {"each node, then its left subtree, then its right",
                            "the left subtree, then the node, then the right: keys in order",
                            "the left subtree, then the right, then the node"};
      caption = std::string(name[order]) + " walk: ";
      for (size_t i = 0; i < visits.size() && i < 24; ++i) {
        caption += (i == 0 ? "" : " ") + text_of(shadow.key_of(visits[i]));
      }
      caption += visits.size() > 24 ? " \u2026 (" + std::to_string(visits.size()) + " keys)"
                 : visits.empty()   ? "the tree is empty"
                                    : "";
      lines.push_back({std::string(rule[order]) + ", the recursion going down each subtree in turn",
                       "AVL_walk(tree, " + std::to_string(order) + ", visit), one call per node"});
      break;
    }
    case Kind::insert:
    case Kind::remove:
      break;
  }

  out += ",\"caption\":";
  quote(out, caption);
  put_lines(out, lines);
  FrameWriter writer(out, layout);
  writer.start(shadow);
  switch (op.kind) {
    case Kind::search:
      search_frames(writer, shadow, route_to(copy, end), op.key, found, left, 0);
      break;
    case Kind::minimum:
    case Kind::maximum: {
      const std::vector<const nod*> route = route_to(copy, result);
      const bool least = op.kind == Kind::minimum;
      for (size_t i = 0; i < route.size(); ++i) {
        Note n;
        n.at = route[i];
        n.path.assign(route.begin(), route.begin() + static_cast<long>(i));
        n.line = 0;
        const std::string at = text_of(shadow.key_of(route[i]));
        if (i + 1 < route.size()) {
          n.text = "at " + at + ": it has a " + (least ? "left" : "right") + " child, so go " +
                   (least ? "left" : "right");
        } else {
          n.text = at + " has no " + (least ? "left" : "right") + " child: it is the " +
                   (least ? "minimum" : "maximum");
          n.hit = route[i];
        }
        writer.frame(shadow, n);
      }
      break;
    }
    case Kind::successor:
    case Kind::predecessor: {
      const std::vector<const nod*> route = route_to(copy, end);
      search_frames(writer, shadow, route, op.key, found, left, 0);
      if (result != nullptr) {
        // From where the search stopped to the answer: up to the nearest
        // common ancestor, then down.
        const std::vector<const nod*> to = route_to(copy, result);
        size_t common = 0;
        while (common < route.size() && common < to.size() && route[common] == to[common]) {
          ++common;
        }
        std::vector<const nod*> steps;
        for (size_t i = route.size() - 1; i >= common && i > 0; --i) {
          steps.push_back(route[i - 1]);
        }
        for (size_t i = common; i < to.size(); ++i) {
          steps.push_back(to[i]);
        }
        std::vector<const nod*> walked;
        for (const nod* node : steps) {
          walked.push_back(node);
          Note n;
          n.at = node;
          n.line = 1;
          n.path = walked;
          if (node == result) {
            n.hit = node;
            n.text = text_of(shadow.key_of(node)) + " is the " +
                     (op.kind == Kind::successor ? "successor" : "predecessor") + " of " + key;
          } else {
            n.text = "on to " + text_of(shadow.key_of(node));
          }
          writer.frame(shadow, n);
        }
      }
      break;
    }
    case Kind::preorder:
    case Kind::inorder:
    case Kind::postorder: {
      std::vector<std::pair<int, int>> order;
      for (size_t i = 0; i < visits.size(); ++i) {
        Note n;
        n.at = visits[i];
        n.path = route_to(copy, visits[i]);
        n.path.pop_back();
        n.line = 0;
        n.quick = true;
        order.emplace_back(shadow.id_of(visits[i]), static_cast<int>(i + 1));
        n.order = {order.back()};
        n.text = "visit " + text_of(shadow.key_of(visits[i])) + ", the " + std::to_string(i + 1) +
                 ordinal_suffix(i + 1) + " of " + std::to_string(visits.size());
        writer.frame(shadow, n);
      }
      break;
    }
    case Kind::insert:
    case Kind::remove:
      break;
  }
  Note last;
  last.text = caption;
  last.hit = op.kind == Kind::search && found ? end : result;
  writer.frame(shadow, last);
  writer.finish();
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
      out += ' ';
    } else {
      out += c;
    }
  }
  out += '"';
}

void write_step_frames(std::string& out, const Op& op, bool applied, const AVL_TREE* tree,
                       const TreeCopy& before, const std::vector<TraceEvent>& events,
                       const NodeIds& ids, const Layout& layout) {
  Shadow shadow(before, ids);
  if (!changes_tree(op.kind)) {
    write_query(out, op, tree, before, shadow, layout);
    return;
  }
  std::vector<Level> levels = read_levels(events);
  const std::vector<Line> lines = word_lines(op.kind == Kind::remove, op.key, levels);

  // The caption and marks of avl_dot --html, from the copies around the step;
  // the trace says where the leaf went, which the copies alone cannot.
  const TreeCopy after = copy_tree(tree);
  LeafLink linked{0, false};
  const nod* last_visit = nullptr;
  int last_dir = 0;
  for (const TraceEvent& e : events) {
    if (e.what == trace_event::visit) {
      last_visit = e.node;
      last_dir = e.a;
    } else if (e.what == trace_event::leaf) {
      linked = LeafLink{reinterpret_cast<std::uintptr_t>(last_visit), last_dir < 0};
    }
  }
  const StepReport report =
      describe_step(Operation{op.kind == Kind::remove, op.key}, applied, before, after, &linked);
  NodeIds ids_after = ids;
  for (const TraceEvent& e : events) {
    if (e.what == trace_event::leaf) {
      ids_after[e.node] = e.id;
    }
  }
  std::vector<std::pair<int, int>> marks;
  for (size_t i = 0; i < after.nodes.size(); ++i) {
    if (report.marks[i] != Mark::none) {
      const auto id = ids_after.find(reinterpret_cast<const nod*>(after.nodes[i].address));
      marks.emplace_back(id == ids_after.end() ? -1 : id->second,
                         static_cast<int>(report.marks[i]));
    }
  }

  out += ",\"caption\":";
  quote(out, report.caption);
  put_lines(out, lines);
  FrameWriter writer(out, layout);
  writer.start(shadow);
  write_update(op, events, levels, shadow, writer, report.caption, marks);
  writer.finish();
  if (!shadow.matches(after) || shadow.heavy != nullptr) {
    out += ",\"check\":\"the frames of this step disagree with the module's tree\"";
  }
}
