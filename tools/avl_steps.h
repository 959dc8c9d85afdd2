// avl_steps: what one insertion or deletion did to a tree, read off the
// module's own trace (avl/trace.hpp).
//
// A native build of the module reports nothing, and should not: insertion is
// the demo's hot path, and its trace points are empty there. So the step
// reader runs an operation through the module's recursion (avl/core.hpp)
// under a policy of its own: the C records' rules (avl/nod_policy.hpp) with
// a note() that records each report, with what its node held at that moment.
// The tree is the module's, node for node; only the reports are kept.
//
// Everything a step is said to have done comes from those reports: where the
// new leaf hung, which levels wrote a balance factor, which rotated and how,
// the node found, given its predecessor's key or released, and whether the
// whole tree changed height. A copy of the tree (TreeCopy), kept by node
// address, follows the reports one by one, so it is the tree at every point
// of the recursion: the live page draws its sub-steps from it, and avl_dot's
// page draws each step's result.
//
// Addresses are only compared, never followed: after a deletion the node
// behind one of them has been released.
#ifndef AVL_TOOLS_AVL_STEPS_H
#define AVL_TOOLS_AVL_STEPS_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "avl/ADT_avl_tree.h"
#include "avl/trace.hpp"

// ------------------------------------------------------------ the words --

// One operation of avl_dot's command line.
struct Operation {
  bool remove;  // -d KEY
  int32_t key;
};

// The words of avl_dot's command line, which the live page reads too: a key
// is a whole decimal 32-bit integer (an optional sign and at least one digit,
// nothing else: "", "12x", "0x10" and " 5" are malformed); any other word
// that starts with '-' not followed by a digit is an option.
enum class KeyVerdict { ok, malformed, out_of_range };
KeyVerdict read_key(const std::string& text, int32_t* key);
bool is_option_word(const std::string& word);

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

// -------------------------------------------------------------- the trace --

// One report, with what its node held when it came.
struct TraceEvent {
  avl::trace_event what;
  const nod* node;
  int32_t a;
  int32_t b;
  int32_t key;  // node's key then (0 without a node)
  const nod* left;
  const nod* right;
  const nod* below[4];  // rotated: the links of the new root's children (left's, right's)
};

using Trace = std::vector<TraceEvent>;

// Appends one report to `trace`.
void record(Trace& trace, avl::trace_event what, const nod* node, int32_t a, int32_t b);

// Runs `op` on `tree` as AVL_insert or AVL_delete would, recording the
// module's reports in `trace`. Returns whether the tree changed: false for a
// deletion of an absent key, or an insertion that found no memory or a full
// count.
bool run_traced(AVL_TREE* tree, const Operation& op, Trace* trace);

// ---------------------------------------------------------- the tree copy --

// One node as the copy holds it.
struct NodeCopy {
  int32_t key;
  int32_t balance;
  const nod* left;  // null for none
  const nod* right;
  const nod* parent;  // null for the root
};

// A tree by node address. Made from the module's tree, then kept in step
// with it by following the reports of its operations (follow()), in which
// the copy runs just ahead of the module where the module stores a link
// later than it reports the change: a rotated subtree hangs in its parent's
// link at once, and a new leaf hangs where the descent ended.
class TreeCopy {
 public:
  TreeCopy() = default;
  explicit TreeCopy(const AVL_TREE* tree);

  const nod* root() const { return root_; }
  size_t size() const { return nodes_.size(); }
  const NodeCopy* find(const nod* node) const;
  NodeCopy* find(const nod* node);
  int32_t key_of(const nod* node) const;

  // Applies one report of an operation on the module's tree, in the order
  // they came.
  void follow(const TraceEvent& e);
  // Whether it holds exactly the module's tree: keys, factors and links.
  bool same_as(const AVL_TREE* tree) const;

 private:
  void hang(const nod* node, int32_t key, const nod* parent, int side);
  void replace(const nod* node, const nod* replacement);
  void relink(const nod* node, const nod* left, const nod* right);

  std::unordered_map<const nod*, NodeCopy> nodes_;
  const nod* root_ = nullptr;
  const nod* last_visit_ = nullptr;  // where the descent was last
  int last_side_ = 0;
  const nod* turning_ = nullptr;  // the node a rotation under way turns
};

// A node as a drawing places it: its column is its place in key order (rank)
// and its row its depth.
struct Placed {
  const nod* node;
  const NodeCopy* copy;
  int rank;
  int depth;
  int height;  // of its subtree
};

// Every node of `tree` in pre-order (the root first), placed.
std::vector<Placed> place(const TreeCopy& tree);
int height_of(const std::vector<Placed>& placed);

// -------------------------------------------------------------- the levels --

// One call level of insert_rotate or delete_rotate, read off a trace: a
// `visit` opens one, the new leaf or the empty link at the bottom is one
// more, `done` closes the innermost.
struct Level {
  const nod* node = nullptr;  // null for the bottom of the descent
  int32_t key = 0;            // the node's key when the descent reached it
  int dir = 0;                // the way the descent went: -1 left, +1 right, 0 found here
  bool leaf = false;          // the bottom of an insertion: the new leaf
  bool missing = false;       // the bottom of a failed deletion: an empty link
  int32_t leaf_key = 0;
  int children = -1;  // found here: how many
  bool released = false;
  const nod* kept = nullptr;  // released: the child that took its place
  bool rekeyed = false;
  int32_t rekey_to = 0;
  int side = 0;  // the link its call stored: -1 left, +1 right
  struct Write {
    const nod* node;
    int32_t key;
    int32_t from;
    int32_t to;
  };
  std::vector<Write> writes;           // balance factors written outside a rotation
  std::vector<Write> rotation_writes;  // those written for the rotation that follows
  int heavy = 0;                       // +2 or -2 when it was found too heavy
  int32_t heavy_key = 0;
  struct Turn {
    const nod* node;  // the node turned
    int32_t at;       // its key
    int32_t top;      // the key of the node that came up
    int dir;          // +1 left, -1 right
  };
  std::vector<Turn> turns;
  int done = -1;  // 1 the height change went on up, 0 it stopped here

  bool is_bottom() const { return leaf || missing; }
  // The key the node holds after the level's work.
  int32_t key_now() const { return rekeyed ? rekey_to : key; }
  // A level that only stored its link again.
  bool idle() const {
    return !is_bottom() && dir != 0 && writes.empty() && heavy == 0 && turns.empty();
  }
};

// The levels of one insertion or deletion, outermost first (the bottom last).
std::vector<Level> read_levels(const Trace& trace);

// "single rotation (left-left)", ... for a level that rotated.
std::string rotation_kind(const Level& level);
// "LL", "RR", "LR", "RL", or "none" for a level that did not rotate.
const char* rotation_case(const Level& level);

// ---------------------------------------------------------- the step's words --

// How a node of the tree after a step took part in it.
enum class Mark : uint8_t {
  none,
  added,    // the node the insertion allocated
  moved,    // its parent changed: rotated, or moved up into a released node's place
  rekeyed,  // it took its in-order predecessor's key
};

struct StepReport {
  std::string caption;                         // "insert 2: double rotation (right-left) at 1; ..."
  std::unordered_map<const nod*, Mark> marks;  // the nodes the step touched
};

// Describes `op` from its trace and brings `tree`, the copy from before the
// step, to the tree after it. `applied` is false for a deletion of an absent
// key (the trace then ends at an empty link and nothing changes).
StepReport describe_step(const Operation& op, bool applied, const Trace& trace, TreeCopy& tree);

#endif  // AVL_TOOLS_AVL_STEPS_H
