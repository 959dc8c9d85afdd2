// How a step is read off two copies of the tree (see avl_steps.h).
//
// A rotation shows as a node whose new parent used to be its child (a single
// rotation) or its grandchild (a double rotation): nothing else the module
// does moves a node under one of its former descendants. A child that moves
// up into a released node's place gets its former grandparent as parent, so it
// is never taken for a rotation. A double rotation at A through B and C also
// puts B under its former child C; B is passed over once A has been seen,
// which the pre-order walk guarantees, since A is B's parent.
//
// Insertion is read against the tree as it stood after the new leaf was
// linked in and before any rebalancing: the leaf's parent then is the node at
// the end of the search path (equal keys go right, as in the module). That
// lets the leaf itself be the new root of a double rotation.
#include "avl_steps.h"

#include <algorithm>
#include <unordered_set>

namespace {

std::uintptr_t address_of(const nod* node) {
  return reinterpret_cast<std::uintptr_t>(node);
}

// Copies the subtree in pre-order; `rank` counts the nodes already placed in
// key order. The recursion is as deep as the tree, under 50 levels for any
// tree that fits in memory.
void copy_subtree(const nod* node, std::uintptr_t parent, int depth, int& rank, TreeCopy& copy) {
  const int at = static_cast<int>(copy.nodes.size());
  copy.nodes.push_back(NodeCopy{address_of(node), node->data, node->balance, address_of(node->left),
                                address_of(node->right), parent, depth, -1});
  copy.index.emplace(address_of(node), at);
  copy.height = std::max(copy.height, depth + 1);
  if (node->left != nullptr) {
    copy_subtree(node->left, address_of(node), depth + 1, rank, copy);
  }
  copy.nodes[at].rank = rank++;
  if (node->right != nullptr) {
    copy_subtree(node->right, address_of(node), depth + 1, rank, copy);
  }
}

std::string key_text(int32_t key) {
  return std::to_string(key);
}

// The tree before the step, seen as the rebalancing saw it: for an insertion,
// with the new leaf already hanging from the end of its search path.
struct Before {
  const TreeCopy& tree;
  std::uintptr_t leaf = 0;         // the inserted node, or 0
  std::uintptr_t leaf_parent = 0;  // where it was linked in
  bool leaf_is_left = false;

  std::uintptr_t parent(std::uintptr_t address) const {
    if (address == leaf) {
      return leaf_parent;
    }
    const NodeCopy* node = tree.find(address);
    return node == nullptr ? 0 : node->parent;
  }

  // Whether `child` hung on the left of its parent.
  bool is_left(std::uintptr_t child) const {
    if (child == leaf) {
      return leaf_is_left;
    }
    const NodeCopy* node = tree.find(child);
    const NodeCopy* up = node == nullptr ? nullptr : tree.find(node->parent);
    return up != nullptr && up->left == child;
  }
};

// What the rebalancing started from: for an insertion, the tree before with
// the new leaf (the one node of `after` that `before` lacks) hanging from the
// end of its search path, where `linked` says when it is given.
Before as_rebalancing_saw_it(const TreeCopy& before, const TreeCopy& after,
                             const LeafLink* linked = nullptr) {
  Before seen{before};
  for (const NodeCopy& node : after.nodes) {
    if (before.find(node.address) == nullptr) {
      seen.leaf = node.address;
    }
  }
  if (seen.leaf != 0 && linked != nullptr) {
    seen.leaf_parent = linked->parent;
    seen.leaf_is_left = linked->left;
  } else if (seen.leaf != 0) {
    const int32_t key = after.find(seen.leaf)->key;
    // Follow the search path of the new key down to its empty link.
    for (std::uintptr_t at = before.nodes.empty() ? 0 : before.nodes[0].address; at != 0;) {
      const NodeCopy* node = before.find(at);
      seen.leaf_parent = at;
      seen.leaf_is_left = key < node->key;
      at = seen.leaf_is_left ? node->left : node->right;
    }
  }
  return seen;
}

struct Rotation {
  int depth;          // of the node it turned at, before the step
  std::uintptr_t at;  // that node
  std::string kind;   // "single rotation (left-left)"
  std::string text;
};

std::vector<Rotation> find_rotations(const Before& before, const TreeCopy& after) {
  std::vector<Rotation> rotations;
  std::unordered_set<std::uintptr_t> inner;  // the middle nodes of double rotations seen
  for (const NodeCopy& node : before.tree.nodes) {
    const NodeCopy* now = after.find(node.address);
    if (now == nullptr || now->parent == 0 || inner.count(node.address) != 0) {
      continue;
    }
    const std::uintptr_t lifted = now->parent;
    const std::uintptr_t lifted_parent = before.parent(lifted);
    std::string kind;
    if (lifted_parent == node.address) {
      kind =
          before.is_left(lifted) ? "single rotation (left-left)" : "single rotation (right-right)";
    } else if (lifted_parent != 0 && before.parent(lifted_parent) == node.address) {
      inner.insert(lifted_parent);
      kind = before.is_left(lifted_parent) ? "double rotation (left-right)"
                                           : "double rotation (right-left)";
    } else {
      continue;
    }
    // Named by the key the node holds now: a deletion may have given it its
    // in-order predecessor's.
    const NodeCopy* top = after.find(lifted);
    rotations.push_back(Rotation{node.depth, node.address, kind,
                                 kind + " at " + key_text(now->key) + "; " + key_text(top->key) +
                                     " is the " + (top->parent == 0 ? "tree" : "subtree") +
                                     "'s new root"});
  }
  // They happened from the bottom up.
  std::stable_sort(rotations.begin(), rotations.end(),
                   [](const Rotation& a, const Rotation& b) { return a.depth > b.depth; });
  return rotations;
}

// "4 now leans right, 2 is now balanced", deepest node first (the order in
// which the climb back from the changed leaf reached them); empty when no
// balance factor changed.
std::string balance_changes(const TreeCopy& before, const TreeCopy& after) {
  std::vector<const NodeCopy*> changed;
  for (const NodeCopy& node : after.nodes) {
    const NodeCopy* old = before.find(node.address);
    if (old != nullptr && old->balance != node.balance) {
      changed.push_back(&node);
    }
  }
  std::stable_sort(changed.begin(), changed.end(),
                   [](const NodeCopy* a, const NodeCopy* b) { return a->depth > b->depth; });
  std::string text;
  for (const NodeCopy* node : changed) {
    text += (text.empty() ? "" : ", ") + key_text(node->key) +
            (node->balance > 0   ? " now leans left"
             : node->balance < 0 ? " now leans right"
                                 : " is now balanced");
  }
  return text;
}

// What happened to the deleted key's node.
std::string removal(int32_t key, const TreeCopy& before, const TreeCopy& after) {
  // A node with two children keeps its place and takes its in-order
  // predecessor's key; with repeated keys the predecessor's key may sit in a
  // node with two children as well, which passes the move on downwards.
  std::string text;
  std::string held = key_text(key);
  for (const NodeCopy& node : after.nodes) {
    const NodeCopy* old = before.find(node.address);
    if (old != nullptr && old->key != node.key) {
      text += (text.empty() ? held + " had two children, so its in-order predecessor "
                            : "; the " + held +
                                  " below it had two children as well, so its "
                                  "in-order predecessor ") +
              key_text(node.key) + " takes its place";
      held = key_text(node.key);
    }
  }
  if (!text.empty()) {
    return text;
  }
  for (const NodeCopy& node : before.nodes) {
    if (after.find(node.address) != nullptr) {
      continue;
    }
    const std::uintptr_t child = node.left != 0 ? node.left : node.right;
    if (child == 0) {
      return held + (before.nodes.size() == 1 ? " was the only node" : " was a leaf");
    }
    return held + " had one child, " + key_text(before.find(child)->key) +
           ", which moves up into its place";
  }
  return held + " is removed";  // not reached: a deletion releases one node
}

}  // namespace

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

const NodeCopy* TreeCopy::find(std::uintptr_t address) const {
  const auto found = index.find(address);
  return found == index.end() ? nullptr : &nodes[found->second];
}

TreeCopy copy_tree(const AVL_TREE* tree) {
  TreeCopy copy;
  copy.nodes.reserve(static_cast<size_t>(tree->size));
  int rank = 0;
  if (tree->root != nullptr) {
    copy_subtree(tree->root, 0, 0, rank, copy);
  }
  return copy;
}

StepReport describe_step(const Operation& op, bool applied, const TreeCopy& before,
                         const TreeCopy& after, const LeafLink* linked) {
  StepReport report;
  const std::string key = key_text(op.key);
  std::string text = (op.remove ? "delete " : "insert ") + key + ": ";
  report.marks.assign(after.nodes.size(), Mark::none);
  if (!applied) {
    report.caption = text + key + " is not in the tree; nothing changes";
    return report;
  }

  for (size_t i = 0; i < after.nodes.size(); ++i) {
    const NodeCopy& node = after.nodes[i];
    const NodeCopy* old = before.find(node.address);
    if (old == nullptr) {
      report.marks[i] = Mark::added;
    } else if (old->key != node.key) {
      report.marks[i] = Mark::rekeyed;
    } else if (old->parent != node.parent) {
      report.marks[i] = Mark::moved;
    }
  }
  const Before seen = as_rebalancing_saw_it(before, after, linked);

  std::vector<std::string> parts;
  if (op.remove) {
    parts.push_back(removal(op.key, before, after));
  } else if (before.nodes.empty()) {
    parts.push_back("the tree was empty; " + key + " is its root");
  }
  const std::vector<Rotation> rotations = find_rotations(seen, after);
  for (size_t i = 0; i < rotations.size(); ++i) {
    parts.push_back((i == 0 ? "" : "then ") + rotations[i].text);
  }
  if (rotations.empty() && !after.nodes.empty() && !before.nodes.empty()) {
    const std::string changes = balance_changes(before, after);
    parts.push_back(changes.empty() ? "no rotation" : changes + "; no rotation");
  }
  if (after.nodes.empty()) {
    parts.push_back("the tree is now empty");
  } else if (!before.nodes.empty() && after.height != before.height) {
    parts.push_back(after.height > before.height ? "the tree is one level higher"
                                                 : "the tree is one level lower");
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    text += (i == 0 ? "" : "; ") + parts[i];
  }
  report.caption = text;
  return report;
}

// ------------------------------------------------------ the recursion --
//
// The descent is replayed on the copy taken before the step: the search path
// of the key (of the in-order predecessor's key below a node with two
// children, as delete_at continues), one call level per node on it, and one
// more where the descent ends. The way back up is then read level by level,
// deepest first.
//
// Insertion: growth reaches every level from the new leaf up to the first
// node that leaned before (a balanced node tilts towards the grown side and
// passes the growth on); there it stops, by a rotation found at that node or
// by the node coming back to balance. Above it every level only stores its
// link again. The balances after the step cannot show the tilts below a
// rotation (it rebalanced those nodes), which is why the lines below the stop
// are read from the balances before it.
//
// Deletion: a rotation turns a level's node with the child on the side the
// descent did not take, so the subtree each deeper level returned is still
// whole in the copy after the step, hanging from the path-side link of the
// node above. Whether a level's subtree shrank is then a comparison of
// heights: the subtree returned against the one the call was given.
namespace {

// Heights of every node's subtree, by position in `tree.nodes` (pre-order, so
// walking backwards meets children before their parents).
std::vector<int> subtree_heights(const TreeCopy& tree) {
  std::vector<int> heights(tree.nodes.size(), 0);
  const auto height_at = [&](std::uintptr_t address) {
    const auto found = tree.index.find(address);
    return found == tree.index.end() ? 0 : heights[static_cast<size_t>(found->second)];
  };
  for (size_t i = tree.nodes.size(); i-- > 0;) {
    heights[i] = 1 + std::max(height_at(tree.nodes[i].left), height_at(tree.nodes[i].right));
  }
  return heights;
}

// One call level of the descent: the node it was given and the side it took.
struct Level {
  const NodeCopy* node;
  bool went_left;
  bool rekeyed;  // a node with two children that took its predecessor's key
};

const char* side_name(bool left) {
  return left ? "left" : "right";
}

// "was balanced", "leaned left" / "is balanced", "leans left".
std::string lean_before(int32_t balance) {
  return balance > 0 ? "leaned left" : balance < 0 ? "leaned right" : "was balanced";
}

std::string lean_after(int32_t balance) {
  return balance > 0 ? "now leans left" : balance < 0 ? "now leans right" : "now balanced";
}

std::string empty_link(const std::vector<Level>& path) {
  if (path.empty()) {
    return "at the empty root link";
  }
  const Level& last = path.back();
  return "at the empty " + std::string(side_name(last.went_left)) + " link of " +
         key_text(last.node->key);
}

std::vector<std::string> insertion_lines(const TreeCopy& before, const TreeCopy& after) {
  const Before seen = as_rebalancing_saw_it(before, after);
  const NodeCopy* leaf = after.find(seen.leaf);
  std::vector<Level> path;
  for (std::uintptr_t at = before.nodes.empty() ? 0 : before.nodes[0].address; at != 0;) {
    const NodeCopy* node = before.find(at);
    const bool left = leaf->key < node->key;
    path.push_back(Level{node, left, false});
    at = left ? node->left : node->right;
  }
  std::unordered_map<std::uintptr_t, std::string> rotated;
  for (const Rotation& rotation : find_rotations(seen, after)) {
    rotated.emplace(rotation.at, rotation.kind);
  }

  std::vector<std::string> lines;
  lines.push_back(empty_link(path) + ": the new leaf " + key_text(leaf->key) +
                  " is linked in; growth starts");
  bool grew = true;
  for (size_t i = path.size(); i-- > 0;) {
    const Level& level = path[i];
    const std::string at = "at " + key_text(level.node->key) + ": ";
    if (!grew) {
      lines.push_back(at + "stores its link; nothing else to do");
      continue;
    }
    const char* side = side_name(level.went_left);
    const std::string grown = at + side + " subtree grew; ";
    const auto rotation = rotated.find(level.node->address);
    if (rotation != rotated.end()) {
      lines.push_back(grown + key_text(level.node->key) + " leaned " + side + ", so balance_" +
                      side + ": " + rotation->second + "; growth stops");
      grew = false;
    } else if (level.node->balance == 0) {
      lines.push_back(grown + key_text(level.node->key) + " was balanced, now leans " + side +
                      "; growth goes on");
    } else {
      lines.push_back(grown + key_text(level.node->key) + " " + lean_before(level.node->balance) +
                      ", now balanced; growth stops");
      grew = false;
    }
  }
  return lines;
}

std::vector<std::string> deletion_lines(int32_t key, bool applied, const TreeCopy& before,
                                        const TreeCopy& after) {
  std::vector<Level> path;
  const NodeCopy* released = nullptr;
  int32_t sought = key;
  for (std::uintptr_t at = before.nodes.empty() ? 0 : before.nodes[0].address; at != 0;) {
    const NodeCopy* node = before.find(at);
    if (node->key == sought) {
      if (node->left == 0 || node->right == 0) {
        released = node;
        break;
      }
      // delete_at: the predecessor's key moves up, and the descent goes on
      // for it in the left subtree.
      const NodeCopy* predecessor = before.find(node->left);
      while (predecessor->right != 0) {
        predecessor = before.find(predecessor->right);
      }
      sought = predecessor->key;
      path.push_back(Level{node, true, true});
      at = node->left;
      continue;
    }
    const bool left = node->key > sought;
    path.push_back(Level{node, left, false});
    at = left ? node->left : node->right;
  }

  std::vector<std::string> lines;
  if (!applied || released == nullptr) {
    lines.push_back(empty_link(path) + ": " + key_text(key) + " is not in the tree; not found");
    for (size_t i = path.size(); i-- > 0;) {
      lines.push_back("at " + key_text(path[i].node->key) +
                      ": stores its link; nothing else to do");
    }
    return lines;
  }

  const std::vector<int> before_heights = subtree_heights(before);
  const std::vector<int> after_heights = subtree_heights(after);
  const auto height = [](const TreeCopy& tree, const std::vector<int>& heights,
                         std::uintptr_t address) {
    const auto found = tree.index.find(address);
    return found == tree.index.end() ? 0 : heights[static_cast<size_t>(found->second)];
  };
  std::unordered_map<std::uintptr_t, std::string> rotated;
  for (const Rotation& rotation : find_rotations(Before{before}, after)) {
    rotated.emplace(rotation.at, rotation.kind);
  }

  const std::uintptr_t kept = released->left != 0 ? released->left : released->right;
  lines.push_back("at " + key_text(released->key) + ": found; " +
                  (kept == 0 ? "a leaf, released; its link is now empty"
                             : "one child, " + key_text(before.find(kept)->key) +
                                   ", moves up into its place; " + key_text(released->key) +
                                   " released") +
                  "; shrinking starts");
  bool shrank = true;
  for (size_t i = path.size(); i-- > 0;) {
    const Level& level = path[i];
    const NodeCopy* now = after.find(level.node->address);
    std::string at = "at " + key_text(now->key) + ": ";
    if (level.rekeyed) {
      at = "at " + key_text(now->key) + ", which held " + key_text(level.node->key) +
           ": took its in-order predecessor's key; ";
    }
    if (!shrank) {
      lines.push_back(at + "stores its link; nothing else to do");
      continue;
    }
    // The subtree this level returned, against the one it was given.
    const std::uintptr_t returned =
        i == 0 ? (after.nodes.empty() ? 0 : after.nodes[0].address)
               : (path[i - 1].went_left ? after.find(path[i - 1].node->address)->left
                                        : after.find(path[i - 1].node->address)->right);
    shrank = height(after, after_heights, returned) <
             height(before, before_heights, level.node->address);
    const char* side = side_name(level.went_left);
    std::string line = at + side + " subtree shrank, so del_balance_" +
                       side_name(!level.went_left) + ": " + key_text(now->key) + " ";
    const auto rotation = rotated.find(level.node->address);
    if (rotation != rotated.end()) {
      line += lean_before(level.node->balance) + ", " + rotation->second;
    } else {
      line += lean_before(level.node->balance) + ", " + lean_after(now->balance);
    }
    lines.push_back(line + (shrank ? "; shrinking goes on" : "; shrinking stops"));
  }
  return lines;
}

}  // namespace

std::vector<std::string> describe_recursion(const Operation& op, bool applied,
                                            const TreeCopy& before, const TreeCopy& after) {
  if (op.remove) {
    return deletion_lines(op.key, applied, before, after);
  }
  return insertion_lines(before, after);
}
