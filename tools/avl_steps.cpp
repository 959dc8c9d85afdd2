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

struct Rotation {
  int depth;  // of the node it turned at, before the step
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
    rotations.push_back(Rotation{
        node.depth, kind + " at " + key_text(now->key) + "; " + key_text(top->key) + " is the " +
                        (top->parent == 0 ? "tree" : "subtree") + "'s new root"});
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
                         const TreeCopy& after) {
  StepReport report;
  const std::string key = key_text(op.key);
  std::string text = (op.remove ? "delete " : "insert ") + key + ": ";
  report.marks.assign(after.nodes.size(), Mark::none);
  if (!applied) {
    report.caption = text + key + " is not in the tree; nothing changes";
    return report;
  }

  Before seen{before};
  for (size_t i = 0; i < after.nodes.size(); ++i) {
    const NodeCopy& node = after.nodes[i];
    const NodeCopy* old = before.find(node.address);
    if (old == nullptr) {
      report.marks[i] = Mark::added;
      seen.leaf = node.address;
    } else if (old->key != node.key) {
      report.marks[i] = Mark::rekeyed;
    } else if (old->parent != node.parent) {
      report.marks[i] = Mark::moved;
    }
  }
  if (seen.leaf != 0) {
    // Follow the search path of the new key down to its empty link.
    for (std::uintptr_t at = before.nodes.empty() ? 0 : before.nodes[0].address; at != 0;) {
      const NodeCopy* node = before.find(at);
      seen.leaf_parent = at;
      seen.leaf_is_left = op.key < node->key;
      at = seen.leaf_is_left ? node->left : node->right;
    }
  }

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
