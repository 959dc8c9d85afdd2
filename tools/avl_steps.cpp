// How a step is read off the module's trace (see avl_steps.h).
#include "avl_steps.h"

#include <algorithm>
#include <new>

#include "avl/nod_policy.hpp"

namespace {

using avl::trace_event;

std::string key_text(int32_t key) {
  return std::to_string(key);
}

// ------------------------------------------------------------- recording --
//
// The C records' rules with a note() that records: the policy for insertion,
// and the one for deletion by key that the recursion asks for by searching().
struct recording_search;

struct recording_policy : avl::core::nod_policy {
  Trace* trace;
  void note(trace_event what, const nod* node, int32_t a, int32_t b) const {
    record(*trace, what, node, a, b);
  }
  recording_search searching(int32_t value) const;
};

struct recording_search : avl::core::nod_search {
  Trace* trace;
  void note(trace_event what, const nod* node, int32_t a, int32_t b) const {
    record(*trace, what, node, a, b);
  }
  recording_search searching(int32_t value) const {
    return recording_search{avl::core::nod_policy::searching(value), trace};
  }
};

recording_search recording_policy::searching(int32_t value) const {
  return recording_search{avl::core::nod_policy::searching(value), trace};
}

// Every node the reports name, with its parent before the step: the nodes
// that can have moved.
std::unordered_map<const nod*, const nod*> parents_of_named(const Trace& trace,
                                                            const TreeCopy& tree) {
  std::unordered_map<const nod*, const nod*> parents;
  const auto note = [&](const nod* node) {
    if (const NodeCopy* copy = tree.find(node)) {
      parents.emplace(node, copy->parent);
    }
  };
  for (const TraceEvent& e : trace) {
    for (const nod* node :
         {e.node, e.left, e.right, e.below[0], e.below[1], e.below[2], e.below[3]}) {
      note(node);
    }
  }
  return parents;
}

// What happened to the deleted key's node. A node with two children keeps its
// place and takes its in-order predecessor's key; with repeated keys the
// predecessor's key may sit in a node with two children as well, which passes
// the move on downwards.
std::string removal(int32_t key, const std::vector<Level>& levels, const TreeCopy& after) {
  std::string text;
  std::string held = key_text(key);
  for (const Level& level : levels) {
    if (level.rekeyed) {
      text += (text.empty() ? held + " had two children, so its in-order predecessor "
                            : "; the " + held +
                                  " below it had two children as well, so its in-order "
                                  "predecessor ") +
              key_text(level.rekey_to) + " takes its place";
      held = key_text(level.rekey_to);
    }
  }
  if (!text.empty()) {
    return text;
  }
  for (const Level& level : levels) {
    if (level.released) {
      if (level.kept == nullptr) {
        return held + (levels.size() == 1 ? " was the only node" : " was a leaf");
      }
      return held + " had one child, " + key_text(after.key_of(level.kept)) +
             ", which moves up into its place";
    }
  }
  return held + " is removed";  // not reached: a deletion releases one node
}

void place_subtree(const TreeCopy& tree, const nod* node, int depth, int& rank,
                   std::vector<Placed>& out) {
  const NodeCopy* copy = tree.find(node);
  if (copy == nullptr) {
    return;
  }
  const size_t at = out.size();
  out.push_back(Placed{node, copy, -1, depth, 1});
  place_subtree(tree, copy->left, depth + 1, rank, out);
  const size_t right = out.size();
  out[at].rank = rank++;
  place_subtree(tree, copy->right, depth + 1, rank, out);
  const int left_height = right > at + 1 ? out[at + 1].height : 0;
  const int right_height = out.size() > right ? out[right].height : 0;
  out[at].height = 1 + std::max(left_height, right_height);
}

}  // namespace

// ------------------------------------------------------------- the words --

KeyVerdict read_key(const std::string& text, int32_t* key) {
  const size_t digits = text.empty() || (text[0] != '-' && text[0] != '+') ? 0 : 1;
  if (digits == text.size() || text.find_first_not_of("0123456789", digits) != std::string::npos) {
    return KeyVerdict::malformed;
  }
  // Leading zeros say nothing; eleven significant digits are out of range.
  const size_t first = std::min(text.find_first_not_of('0', digits), text.size());
  if (text.size() - first > 10) {
    return KeyVerdict::out_of_range;
  }
  const long long value = first == text.size() ? 0 : std::stoll(text.substr(first));
  const long long signed_value = text[0] == '-' ? -value : value;
  if (signed_value < INT32_MIN || signed_value > INT32_MAX) {
    return KeyVerdict::out_of_range;
  }
  *key = static_cast<int32_t>(signed_value);
  return KeyVerdict::ok;
}

bool is_option_word(const std::string& word) {
  return !word.empty() && word[0] == '-' && !(word.size() > 1 && word[1] >= '0' && word[1] <= '9');
}

std::string quote_word(const std::string& word, size_t shown) {
  const auto plain = [](unsigned char byte) {
    return byte > ' ' && byte < 0x7f && byte != '"' && byte != '\\';
  };
  if (!word.empty() && word.size() <= shown && std::all_of(word.begin(), word.end(), plain)) {
    return word;
  }
  const auto spell = [](unsigned char byte) -> std::string {
    switch (byte) {
      case '\0':
        return "\\0";
      case '\t':
        return "\\t";
      case '\n':
        return "\\n";
      case '\r':
        return "\\r";
      case '"':
        return "\\\"";
      case '\\':
        return "\\\\";
      default:
        break;
    }
    if (byte >= ' ' && byte < 0x7f) {
      return std::string(1, static_cast<char>(byte));
    }
    static const char hex[] = "0123456789abcdef";
    return {'\\', 'x', hex[byte >> 4], hex[byte & 0xf]};
  };
  std::string quoted = "\"";
  for (const unsigned char byte : word) {
    const std::string spelled = spell(byte);
    if (quoted.size() - 1 + spelled.size() > shown) {
      return quoted + "\"...";
    }
    quoted += spelled;
  }
  return quoted + '"';
}

std::string operation_words(const Operation& op) {
  return (op.remove ? "-d " : "") + key_text(op.key);
}

// ------------------------------------------------------------- the trace --

void record(Trace& trace, trace_event what, const nod* node, int32_t a, int32_t b) {
  TraceEvent e{what, node, a, b, 0, nullptr, nullptr, {nullptr, nullptr, nullptr, nullptr}};
  if (node != nullptr) {
    e.key = node->data;
    e.left = node->left;
    e.right = node->right;
    if (what == trace_event::rotated) {
      for (int i = 0; i < 2; ++i) {
        const nod* child = i == 0 ? node->left : node->right;
        if (child != nullptr) {
          e.below[2 * i] = child->left;
          e.below[2 * i + 1] = child->right;
        }
      }
    }
  }
  trace.push_back(e);
}

// AVL_insert and AVL_delete, with the recording policy in place of the C
// records' own.
bool run_traced(AVL_TREE* tree, const Operation& op, Trace* trace) {
  const recording_policy ops{{}, trace};
  if (op.remove) {
    bool shrank = false;
    bool found = false;
    nod* root = avl::core::erase(tree->root, &shrank, &found, ops.searching(op.key));
    if (!found) {
      return false;
    }
    tree->root = root;
    tree->size -= 1;
    return true;
  }
  if (tree->size == INT32_MAX) {
    return false;
  }
  nod* leaf = new (std::nothrow) nod;
  if (leaf == nullptr) {
    return false;
  }
  leaf->data = op.key;
  leaf->left = nullptr;
  leaf->right = nullptr;
  leaf->balance = 0;
  bool grew = false;
  tree->root = avl::core::insert(tree->root, leaf, &grew, ops);
  tree->size += 1;
  return true;
}

// ---------------------------------------------------------- the tree copy --

TreeCopy::TreeCopy(const AVL_TREE* tree) : root_(tree->root) {
  std::vector<const nod*> pending;
  if (tree->root != nullptr) {
    pending.push_back(tree->root);
    nodes_.emplace(tree->root, NodeCopy{tree->root->data, tree->root->balance, tree->root->left,
                                        tree->root->right, nullptr});
  }
  while (!pending.empty()) {
    const nod* node = pending.back();
    pending.pop_back();
    for (const nod* child : {node->left, node->right}) {
      if (child != nullptr) {
        nodes_.emplace(child,
                       NodeCopy{child->data, child->balance, child->left, child->right, node});
        pending.push_back(child);
      }
    }
  }
}

const NodeCopy* TreeCopy::find(const nod* node) const {
  const auto found = nodes_.find(node);
  return found == nodes_.end() ? nullptr : &found->second;
}

NodeCopy* TreeCopy::find(const nod* node) {
  const auto found = nodes_.find(node);
  return found == nodes_.end() ? nullptr : &found->second;
}

int32_t TreeCopy::key_of(const nod* node) const {
  const NodeCopy* copy = find(node);
  return copy == nullptr ? 0 : copy->key;
}

void TreeCopy::hang(const nod* node, int32_t key, const nod* parent, int side) {
  nodes_[node] = NodeCopy{key, 0, nullptr, nullptr, parent};
  if (parent == nullptr) {
    root_ = node;
  } else if (side < 0) {
    find(parent)->left = node;
  } else {
    find(parent)->right = node;
  }
}

void TreeCopy::replace(const nod* node, const nod* replacement) {
  const nod* parent = find(node)->parent;
  if (parent == nullptr) {
    root_ = replacement;
  } else {
    NodeCopy* up = find(parent);
    (up->left == node ? up->left : up->right) = replacement;
  }
  if (replacement != nullptr) {
    find(replacement)->parent = parent;
  }
}

void TreeCopy::relink(const nod* node, const nod* left, const nod* right) {
  NodeCopy* copy = find(node);
  copy->left = left;
  copy->right = right;
  for (const nod* child : {left, right}) {
    if (NodeCopy* below = find(child)) {
      below->parent = node;
    }
  }
}

void TreeCopy::follow(const TraceEvent& e) {
  switch (e.what) {
    case trace_event::visit:
      last_visit_ = e.node;
      last_side_ = e.a;
      break;
    case trace_event::leaf:
      // Into an empty tree no descent came first.
      hang(e.node, e.key, root_ == nullptr ? nullptr : last_visit_, last_side_);
      break;
    case trace_event::link:
      // The link stored now is the one the copy already shows.
      if (find(e.node) != nullptr) {
        const NodeCopy* node = find(e.node);
        relink(e.node, e.a < 0 ? e.left : node->left, e.a < 0 ? node->right : e.right);
      }
      break;
    case trace_event::balance:
      find(e.node)->balance = e.b;
      break;
    case trace_event::rekey:
      find(e.node)->key = e.b;
      break;
    case trace_event::release:
      replace(e.node, e.left != nullptr ? e.left : e.right);
      nodes_.erase(e.node);
      break;
    case trace_event::rotate:
      turning_ = e.node;
      break;
    case trace_event::rotated:
      // The node turned goes down; its child comes up into its place.
      replace(turning_, e.node);
      relink(e.node, e.left, e.right);
      for (int i = 0; i < 2; ++i) {
        const nod* child = i == 0 ? e.left : e.right;
        if (find(child) != nullptr) {
          relink(child, e.below[2 * i], e.below[2 * i + 1]);
        }
      }
      turning_ = nullptr;
      break;
    default:
      break;
  }
}

bool TreeCopy::same_as(const AVL_TREE* tree) const {
  if (root_ != tree->root) {
    return false;
  }
  size_t count = 0;
  std::vector<const nod*> pending;
  if (tree->root != nullptr) {
    pending.push_back(tree->root);
  }
  while (!pending.empty()) {
    const nod* node = pending.back();
    pending.pop_back();
    const NodeCopy* copy = find(node);
    if (copy == nullptr || copy->key != node->data || copy->balance != node->balance ||
        copy->left != node->left || copy->right != node->right) {
      return false;
    }
    ++count;
    for (const nod* child : {node->left, node->right}) {
      if (child != nullptr) {
        pending.push_back(child);
      }
    }
  }
  return count == nodes_.size();
}

std::vector<Placed> place(const TreeCopy& tree) {
  std::vector<Placed> placed;
  placed.reserve(tree.size());
  int rank = 0;
  place_subtree(tree, tree.root(), 0, rank, placed);
  return placed;
}

int height_of(const std::vector<Placed>& placed) {
  return placed.empty() ? 0 : placed[0].height;
}

// ------------------------------------------------------------- the levels --

std::vector<Level> read_levels(const Trace& trace) {
  std::vector<Level> levels;
  std::vector<size_t> open;
  const auto top = [&]() -> Level* { return open.empty() ? nullptr : &levels[open.back()]; };
  for (const TraceEvent& e : trace) {
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
          level->kept = e.left != nullptr ? e.left : e.right;
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
              .push_back(Level::Write{e.node, e.key, e.a, e.b});
        }
        break;
      case trace_event::heavy:
        if (level != nullptr) {
          level->heavy = e.a;
          level->heavy_key = e.key;
        }
        break;
      case trace_event::rotate:
        if (level != nullptr) {
          level->turns.push_back(Level::Turn{e.node, e.key, 0, e.a});
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

std::string rotation_kind(const Level& level) {
  const bool left_heavy = level.heavy > 0;
  if (level.turns.size() >= 2) {
    return left_heavy ? "double rotation (left-right)" : "double rotation (right-left)";
  }
  return left_heavy ? "single rotation (left-left)" : "single rotation (right-right)";
}

const char* rotation_case(const Level& level) {
  if (level.turns.empty()) {
    return "none";
  }
  if (level.turns.size() >= 2) {
    return level.heavy > 0 ? "LR" : "RL";
  }
  return level.heavy > 0 ? "LL" : "RR";
}

// ------------------------------------------------------ the step's words --

StepReport describe_step(const Operation& op, bool applied, const Trace& trace, TreeCopy& tree) {
  StepReport report;
  const std::string key = key_text(op.key);
  const std::string text = (op.remove ? "delete " : "insert ") + key + ": ";
  if (!applied) {
    report.caption = text + key + " is not in the tree; nothing changes";
    return report;
  }
  const bool was_empty = tree.size() == 0;
  const std::unordered_map<const nod*, const nod*> parents = parents_of_named(trace, tree);
  for (const TraceEvent& e : trace) {
    tree.follow(e);
    if (e.what == trace_event::leaf) {
      report.marks[e.node] = Mark::added;
    } else if (e.what == trace_event::rekey) {
      report.marks[e.node] = Mark::rekeyed;
    }
  }
  for (const auto& [node, parent] : parents) {
    const NodeCopy* now = tree.find(node);
    if (now != nullptr && now->parent != parent && report.marks.count(node) == 0) {
      report.marks[node] = Mark::moved;
    }
  }

  const std::vector<Level> levels = read_levels(trace);
  std::vector<std::string> parts;
  if (op.remove) {
    parts.push_back(removal(op.key, levels, tree));
  } else if (was_empty) {
    parts.push_back("the tree was empty; " + key + " is its root");
  }
  // The rotations, from the bottom up, as they happened.
  int rotations = 0;
  for (size_t i = levels.size(); i-- > 0;) {
    const Level& level = levels[i];
    if (!level.turns.empty()) {
      parts.push_back((rotations++ == 0 ? "" : "then ") + rotation_kind(level) + " at " +
                      key_text(level.heavy_key) + "; " + key_text(level.turns.back().top) +
                      " is the " + (i == 0 ? "tree" : "subtree") + "'s new root");
    }
  }
  if (rotations == 0 && tree.size() != 0 && !was_empty) {
    // Every factor written, deepest first, as the climb back reached them.
    std::string changes;
    for (const TraceEvent& e : trace) {
      if (e.what == trace_event::balance) {
        changes += (changes.empty() ? "" : ", ") + key_text(e.key) +
                   (e.b > 0   ? " now leans left"
                    : e.b < 0 ? " now leans right"
                              : " is now balanced");
      }
    }
    parts.push_back(changes.empty() ? "no rotation" : changes + "; no rotation");
  }
  if (tree.size() == 0) {
    parts.push_back("the tree is now empty");
  } else if (!was_empty && !levels.empty() && levels[0].done == 1) {
    parts.push_back(op.remove ? "the tree is one level lower" : "the tree is one level higher");
  }
  report.caption = text;
  for (size_t i = 0; i < parts.size(); ++i) {
    report.caption += (i == 0 ? "" : "; ") + parts[i];
  }
  return report;
}
