// avl_page: drawings of the tree as SVG, and the step-by-step HTML page.
//
// The layout is the tool's own: a node's x comes from its position in key
// order and its y from its depth, so a left child is always left of its
// parent and a right child right of it, at any size, and no two nodes share
// a column. Every node gets the same width (enough for the widest key of the
// whole run), so a figure never overlaps itself and successive figures of
// one page line up.
//
// The look (colours, outlines, type, the legend's swatches, dark mode) is one
// stylesheet, web/look.css, shared with the live page: the drawings written
// here carry only their structure and classes.
//
// Everything is written through C stdio. The writers return false when the
// stream reports an error; the last one flushes, so a failure still in the
// buffer is caught too.
#ifndef AVL_TOOLS_AVL_PAGE_H
#define AVL_TOOLS_AVL_PAGE_H

#include <cstdio>
#include <string>
#include <vector>

#include "avl_steps.h"

// Sizes of a drawing, in SVG user units (pixels).
struct Layout {
  int rx;      // half the width of a node
  int ry;      // half its height
  int pitch;   // between the centres of neighbours in key order
  int level;   // between the centres of a parent and its child
  int margin;  // around the tree
};

// A layout wide enough for every key the operations mention, or for keys of
// up to `digits` characters (a sign counts).
Layout layout_for(const std::vector<Operation>& operations);
Layout layout_for_digits(size_t digits);

// Where a node's centre is drawn, from its place in key order (rank) and its
// depth, and the size of the drawing of a tree of `nodes` nodes and `height`
// levels (at least three columns wide, so that a tiny tree keeps some room
// around it).
int column_x(int rank, const Layout& layout);
int row_y(int depth, const Layout& layout);
int drawing_width(size_t nodes, const Layout& layout);
int drawing_height(int height, const Layout& layout);

// The pieces of the look that are words rather than style, for the live page
// to draw its nodes as these pages do: a node's class by balance factor
// ("lean-left", "balanced", "lean-right") and by mark (" added", ...; "" for
// none), the note its tooltip adds for a mark, a balance factor as text (the
// sign always shown: "+1", "0", "-1"), the legend's items (<li> elements) and
// the shared stylesheet.
const char* lean_class(int32_t balance);
const char* mark_class(Mark mark);
const char* mark_note(Mark mark);
std::string balance_text(int32_t balance);
const char* legend_items();
const char* look_stylesheet();

// The tree alone as a standalone SVG document.
bool write_svg_document(FILE* out, const TreeCopy& tree, const Layout& layout);

// The page: the start (title, command, legend, the step buttons), one figure
// per step and the end (the stepping script). `count` is the number of steps.
bool write_page_start(FILE* out, const std::vector<Operation>& operations);
bool write_page_step(FILE* out, int number, int count, const StepReport& step,
                     const TreeCopy& after, const Layout& layout);
bool write_page_end(FILE* out);

#endif  // AVL_TOOLS_AVL_PAGE_H
