// avl_steps: what one insertion or deletion did to a tree, found by comparing
// copies of the tree taken before and after it.
//
// A native build of the module reports nothing about its rebalancing, and
// should not: insertion is the demo's hot path (its trace points, in
// avl/trace.hpp, are empty there; the live page's build records them and cuts
// its sub-steps from them). So the tool copies every node (its address, key,
// links and balance factor) before an operation and again after it, and reads
// the step off the difference: the node that is new or gone, the nodes whose
// parent changed (a rotation, or a child moving up into a released node's
// place), the node whose key changed (a deletion that copied the in-order
// predecessor's key), how the balance factors moved and how the height did.
//
// Addresses are kept as integers and only compared, never followed: after a
// deletion the node behind one of them has been released.
#ifndef AVL_TOOLS_AVL_STEPS_H
#define AVL_TOOLS_AVL_STEPS_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "avl/ADT_avl_tree.h"

// One node as it was when the copy was taken.
struct NodeCopy {
  std::uintptr_t address;
  int32_t key;
  int32_t balance;
  std::uintptr_t left;    // 0 for none
  std::uintptr_t right;   // 0 for none
  std::uintptr_t parent;  // 0 for the root
  int depth;              // the root is at depth 0
  int rank;               // position in key order, 0 .. size - 1
};

// A whole tree as it was: its nodes in pre-order (the root first).
struct TreeCopy {
  std::vector<NodeCopy> nodes;
  std::unordered_map<std::uintptr_t, int> index;  // address -> position in nodes
  int height = 0;                                 // levels; 0 when empty

  // The node copied from `address`, or null when the tree held none there.
  const NodeCopy* find(std::uintptr_t address) const;
};

TreeCopy copy_tree(const AVL_TREE* tree);

// One operation from the command line.
struct Operation {
  bool remove;  // -d KEY
  int32_t key;
};

// The words of avl_dot's command line, which the live page reads too: a key
// is a whole decimal 32-bit integer (an optional sign and at least one digit,
// nothing else: "", "12x", "0x10" and " 5" are malformed).
enum class KeyVerdict { ok, malformed, out_of_range };
KeyVerdict read_key(const std::string& text, int32_t* key);

// A word as a message should echo it: as it is when it is plain (at most
// `shown` bytes, all printable ASCII other than space, '"' and '\'), else
// between double quotes, with '"', '\' and every byte outside printable
// ASCII written as an escape (\0 \t \n \r \" \\ \xHH), and cut after `shown`
// characters of the quoted text, with "..." after the closing quote to say
// so. A word of any size then makes a short message, no control byte or
// escape sequence reaches a terminal, and an empty word or one with spaces
// shows: "", " 5", "5\0junk", "\x1b[2J". The live page may echo words so too.
std::string quote_word(const std::string& word, size_t shown = 40);

// An operation as avl_dot's command line writes it: "5", "-d 5".
std::string operation_words(const Operation& op);

// How a node of the tree after a step took part in it.
enum class Mark : uint8_t {
  none,
  added,    // the node the insertion allocated
  moved,    // its parent changed: rotated, or moved up into a released node's place
  rekeyed,  // it took its in-order predecessor's key
};

// Where an insertion hung its new leaf: the node at the end of the search
// path and the side. A caller that watched the module work (the live page
// reads it off the trace, avl/trace.hpp) passes it to describe_step; without
// it the search path is followed on the copy taken before the step.
struct LeafLink {
  std::uintptr_t parent;  // 0 when the tree was empty
  bool left;
};

struct StepReport {
  std::string caption;      // "insert 2: double rotation (right-left) at 1; ..."
  std::vector<Mark> marks;  // one per node of the tree after the step, in its order
};

// Describes `op`, which turned `before` into `after`. `applied` is false for a
// deletion of an absent key (the trees are then the same). `linked`, when not
// null, says where an insertion's leaf was hung.
StepReport describe_step(const Operation& op, bool applied, const TreeCopy& before,
                         const TreeCopy& after, const LeafLink* linked = nullptr);

// The recursion of the same step on its way back up: one line per call level
// of insert_rotate or delete_rotate, the deepest first, saying what that level
// found (which subtree grew or shrank), what it did about it (a balance factor
// that tilted or came back to 0, a rotation) and whether the change in height
// went on upwards:
//
//   at 12: right subtree grew; 12 was balanced, now leans right; growth goes on
//   at 11: right subtree grew; 11 leaned right, so balance_right: single
//          rotation (right-right); growth stops
//
// Read off the same two copies as describe_step, with no help from the module.
std::vector<std::string> describe_recursion(const Operation& op, bool applied,
                                            const TreeCopy& before, const TreeCopy& after);

#endif  // AVL_TOOLS_AVL_STEPS_H
