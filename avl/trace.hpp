// trace.hpp: what the recursion reports as it works, for a program that shows
// it (the live page, built with Emscripten, draws each report as a frame).
//
// The recursion reports through its policy's note(): a policy that records
// nothing (the C records' natively, the containers') makes every trace point
// compile to nothing; the live page's build records them.
//
// Each report names the event, the node it happened at and two numbers:
//
//   visit    the descent compares with `node`; a: -1 it goes left, +1 right,
//            0 the node holds the key being deleted
//   leaf     insertion reached an empty link and hangs the new leaf `node` there
//   missing  deletion reached an empty link: the key is not in the tree
//   link     the level at `node` stores the subtree its call returned;
//            a: -1 into its left link, +1 into its right link
//   balance  `node`'s balance factor is written: a the old value, b the new
//   heavy    `node` is two levels heavier on one side (a: +2 left, -2 right)
//            and is about to be rotated; the value is never stored
//   rotate   a single rotation at `node` begins; a: +1 left, -1 right;
//            b: 1 when it is the first half of a double rotation, which
//            turns at the child of the level's node, else 0
//   rotated  it ended, and `node` (the pivot) is the subtree's new root;
//            a and b as for rotate
//   found    deletion found the key at `node`; a: its number of children
//   rekey    `node`, which has two children, takes its in-order predecessor's
//            key: a the key it held, b the key it takes
//   release  `node` is unlinked and released; its only child, or nothing,
//            takes its place
//   done     a level returns `node` as its subtree's root; a: 1 when the
//            subtree's height changed (grew on insertion, shrank on deletion)
//            and the change goes on up, 0 when it stops here
//
// A double rotation is reported as its two single rotations, lower first.
#ifndef AVL_TRACE_HPP
#define AVL_TRACE_HPP

namespace avl {

enum class trace_event : int {
  visit,
  leaf,
  missing,
  link,
  balance,
  heavy,
  rotate,
  rotated,
  found,
  rekey,
  release,
  done,
};

}  // namespace avl

#endif  // AVL_TRACE_HPP
