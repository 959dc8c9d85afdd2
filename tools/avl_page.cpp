// The SVG drawings and the step-by-step page (see avl_page.h).
//
// The page is one file with everything inline: the figures are plain HTML
// and SVG, written here, so it reads the same with scripts off, in a text
// search or in a browser's DOM dump. The script at the end only adds the
// stepping: it hides every figure but one and shows the buttons, which the
// HTML keeps hidden so that a page without scripts has no dead controls.
#include "avl_page.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "avl_look_css.h"  // AVL_LOOK_CSS: web/look.css, written into a header by CMake

namespace {

// The <svg> element: edges first, so that the nodes cover their ends, then
// the nodes in pre-order, each a <g class="node ..."> carrying its key and
// balance factor. `marks` holds the nodes the step touched, or is null.
// `style`, when not null, is put inside the element (a standalone picture
// has no page to take the look from).
void write_svg(FILE* out, const TreeCopy& tree, const std::unordered_map<const nod*, Mark>* marks,
               const Layout& layout, const char* label, const char* style) {
  const std::vector<Placed> placed = place(tree);
  const int width = drawing_width(placed.size(), layout);
  const int height = drawing_height(height_of(placed), layout);
  std::fprintf(out,
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
               "viewBox=\"0 0 %d %d\" role=\"img\" aria-label=\"%s\">\n",
               width, height, width, height, label);
  if (style != nullptr) {
    std::fprintf(out, "<style><![CDATA[\n%s]]></style>\n", style);
  }
  if (placed.empty()) {
    std::fprintf(out, "<text class=\"empty\" x=\"%d\" y=\"%d\">empty tree</text>\n", width / 2,
                 height / 2 + 5);
  }
  std::unordered_map<const nod*, const Placed*> at;
  for (const Placed& node : placed) {
    at.emplace(node.node, &node);
  }
  std::fputs("<g class=\"edges\">\n", out);
  for (const Placed& node : placed) {
    const auto parent = at.find(node.copy->parent);
    if (parent != at.end()) {
      std::fprintf(out, "<line class=\"edge\" x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\"/>\n",
                   column_x(parent->second->rank, layout), row_y(parent->second->depth, layout),
                   column_x(node.rank, layout), row_y(node.depth, layout));
    }
  }
  std::fputs("</g>\n<g class=\"nodes\">\n", out);
  for (const Placed& node : placed) {
    Mark mark = Mark::none;
    if (marks != nullptr) {
      const auto found = marks->find(node.node);
      mark = found == marks->end() ? Mark::none : found->second;
    }
    const int x = column_x(node.rank, layout);
    const int y = row_y(node.depth, layout);
    const int32_t key = node.copy->key;
    const std::string balance = balance_text(node.copy->balance);
    std::fprintf(out,
                 "<g class=\"node %s%s\" data-key=\"%d\" data-balance=\"%d\">"
                 "<title>%d, balance factor %s%s</title>"
                 "<ellipse cx=\"%d\" cy=\"%d\" rx=\"%d\" ry=\"%d\"/>"
                 "<text class=\"key\" x=\"%d\" y=\"%d\">%d</text>"
                 "<text class=\"balance\" x=\"%d\" y=\"%d\">%s</text></g>\n",
                 lean_class(node.copy->balance), mark_class(mark), key, node.copy->balance, key,
                 balance.c_str(), mark_note(mark), x, y, layout.rx, layout.ry, x, y - 1, key, x,
                 y + 13, balance.c_str());
  }
  std::fputs("</g>\n</svg>\n", out);
}

bool finish(FILE* out) {
  return std::fflush(out) == 0 && std::ferror(out) == 0;
}

// What only this page has; the rest of its look is the shared stylesheet.
const char* const STYLE =
    "nav { display: flex; gap: .7rem; align-items: center; margin: .6rem 0; }\n"
    "nav button { font: inherit; padding: .25rem .9rem; }\n"
    ".hint { color: var(--muted); font-size: .9rem; }\n"
    "figure.step { margin: 0 0 1rem; padding: .6rem .9rem; border: 1px solid var(--rule);"
    " border-radius: 6px; }\n"
    "figcaption { font-size: 1.05rem; }\n"
    ".number { font-weight: 600; margin-right: .4em; }\n"
    ".stats { margin: .15rem 0 .4rem; color: var(--muted); font-size: .9rem; }\n"
    ".drawing { overflow-x: auto; }\n"
    ".drawing svg { display: block; }\n"
    "details.command p { max-height: 8rem; overflow-y: auto; margin: .3rem 0; }\n"
    "details.command summary { cursor: pointer; }\n"
    "[hidden] { display: none !important; }\n";

const char* const LEGEND =
    "<li><span class=\"swatch lean-left\"></span>+1: leans left</li>\n"
    "<li><span class=\"swatch balanced\"></span>0: balanced</li>\n"
    "<li><span class=\"swatch lean-right\"></span>-1: leans right</li>\n"
    "<li><span class=\"swatch marked\"></span>added, moved or given a new key by the step</li>\n";

// Steps through the figures with the buttons and the arrow keys, and keeps
// the step's number in the address (page.html#4), from which it also starts.
// A bare number matches no element, so the browser does not jump down to a
// figure and out of sight of the buttons; #step-4, the figure's own id, is
// read too. A wide drawing is scrolled sideways to the nodes the step
// highlighted.
const char* const SCRIPT =
    "(function () {\n"
    "  var steps = document.querySelectorAll('figure.step');\n"
    "  var nav = document.getElementById('stepper');\n"
    "  var prev = document.getElementById('prev');\n"
    "  var next = document.getElementById('next');\n"
    "  var where = document.getElementById('where');\n"
    "  var current = 0;\n"
    "  if (steps.length === 0) return;\n"
    "  function show(i) {\n"
    "    current = Math.max(0, Math.min(steps.length - 1, i));\n"
    "    for (var k = 0; k < steps.length; k++) steps[k].hidden = k !== current;\n"
    "    where.textContent = 'Step ' + (current + 1) + ' of ' + steps.length;\n"
    "    prev.disabled = current === 0;\n"
    "    next.disabled = current === steps.length - 1;\n"
    "    try { history.replaceState(null, '', '#' + (current + 1)); } catch (e) {}\n"
    "    var drawing = steps[current].querySelector('.drawing');\n"
    "    var mark = steps[current].querySelector('.added, .moved, .rekeyed');\n"
    "    if (drawing && mark) {\n"
    "      var box = drawing.getBoundingClientRect(), at = mark.getBoundingClientRect();\n"
    "      drawing.scrollLeft += at.left + at.width / 2 - box.left - box.width / 2;\n"
    "    }\n"
    "  }\n"
    "  prev.addEventListener('click', function () { show(current - 1); });\n"
    "  next.addEventListener('click', function () { show(current + 1); });\n"
    "  document.addEventListener('keydown', function (e) {\n"
    "    if (e.altKey || e.ctrlKey || e.metaKey) return;\n"
    "    if (e.key === 'ArrowLeft') { show(current - 1); e.preventDefault(); }\n"
    "    if (e.key === 'ArrowRight') { show(current + 1); e.preventDefault(); }\n"
    "  });\n"
    "  var asked = /^#(step-)?([0-9]+)$/.exec(location.hash);\n"
    "  nav.hidden = false;\n"
    "  show(asked ? Number(asked[2]) - 1 : 0);\n"
    "})();\n";

}  // namespace

const char* lean_class(int32_t balance) {
  return balance > 0 ? "lean-left" : balance < 0 ? "lean-right" : "balanced";
}

const char* mark_class(Mark mark) {
  switch (mark) {
    case Mark::added:
      return " added";
    case Mark::moved:
      return " moved";
    case Mark::rekeyed:
      return " rekeyed";
    case Mark::none:
      break;
  }
  return "";
}

const char* mark_note(Mark mark) {
  switch (mark) {
    case Mark::added:
      return "; added by this step";
    case Mark::moved:
      return "; moved by this step";
    case Mark::rekeyed:
      return "; took its in-order predecessor's key in this step";
    case Mark::none:
      break;
  }
  return "";
}

std::string balance_text(int32_t balance) {
  return (balance > 0 ? "+" : "") + std::to_string(balance);
}

const char* legend_items() {
  return LEGEND;
}

const char* look_stylesheet() {
  return AVL_LOOK_CSS;
}

int column_x(int rank, const Layout& layout) {
  return layout.margin + rank * layout.pitch + layout.pitch / 2;
}

int row_y(int depth, const Layout& layout) {
  return layout.margin + layout.ry + depth * layout.level;
}

int drawing_width(size_t nodes, const Layout& layout) {
  const int columns = std::max(static_cast<int>(nodes), 3);
  return 2 * layout.margin + columns * layout.pitch;
}

int drawing_height(int height, const Layout& layout) {
  return 2 * layout.margin + 2 * layout.ry + std::max(height - 1, 0) * layout.level;
}

Layout layout_for(const std::vector<Operation>& operations) {
  size_t widest = 1;
  for (const Operation& op : operations) {
    widest = std::max(widest, std::to_string(op.key).size());
  }
  return layout_for_digits(widest);
}

Layout layout_for_digits(size_t digits) {
  // Bold digits at size 14 are 8 to 9 units wide; the ellipse leaves some air
  // on either side of the widest key.
  Layout layout{};
  layout.rx = std::max(19, static_cast<int>(digits * 37) / 8 + 8);
  layout.ry = 21;
  layout.pitch = 2 * layout.rx + 8;
  layout.level = 2 * layout.ry + 26;
  layout.margin = 8;
  return layout;
}

bool write_svg_document(FILE* out, const TreeCopy& tree, const Layout& layout) {
  std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", out);
  const std::string label = "an AVL tree of " + std::to_string(tree.size()) + " nodes";
  write_svg(out, tree, nullptr, layout, label.c_str(), AVL_LOOK_CSS);
  return finish(out);
}

namespace {

// The command line that made the page. A long one is folded to its start, so
// that it cannot push the first figure out of the window; the whole of it
// opens below the start on a click.
void write_command(FILE* out, size_t count, const std::string& command) {
  const size_t kShown = 100;
  if (command.size() <= kShown) {
    std::fprintf(out, "<p>%zu operations: <code>%s</code></p>\n", count, command.c_str());
    return;
  }
  size_t cut = command.rfind(' ', kShown);
  std::fprintf(out,
               "<details class=\"command\"><summary>%zu operations: <code>%s &hellip;</code> "
               "(the whole command)</summary>\n<p><code>%s</code></p></details>\n",
               count, command.substr(0, cut).c_str(), command.c_str());
}

}  // namespace

bool write_page_start(FILE* out, const std::vector<Operation>& operations) {
  std::string command = "avl_dot --html";
  for (const Operation& op : operations) {
    command += " " + operation_words(op);
  }
  std::fprintf(out,
               "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
               "<title>AVL tree, step by step</title>\n<style>\n%s%s</style>\n</head>\n<body>\n"
               "<header>\n<h1>AVL tree, step by step</h1>\n",
               AVL_LOOK_CSS, STYLE);
  write_command(out, operations.size(), command);
  std::fprintf(out,
               "<ul class=\"legend\">\n%s</ul>\n"
               "<p class=\"note\">Each node shows its key above its balance factor, "
               "height(left) &minus; height(right). A node's column is its place in key order, "
               "its row its depth.</p>\n"
               "<nav id=\"stepper\" hidden><button id=\"prev\" type=\"button\">&larr; "
               "Previous</button><span id=\"where\"></span><button id=\"next\" "
               "type=\"button\">Next &rarr;</button><span class=\"hint\">or the arrow "
               "keys</span></nav>\n</header>\n<main>\n",
               LEGEND);
  return std::ferror(out) == 0;
}

bool write_page_step(FILE* out, int number, int count, const StepReport& step,
                     const TreeCopy& after, const Layout& layout) {
  std::fprintf(out,
               "<figure class=\"step\" id=\"step-%d\">\n<figcaption><span class=\"number\">Step "
               "%d of %d.</span> %s</figcaption>\n<p class=\"stats\">height %d, size %zu</p>\n"
               "<div class=\"drawing\">\n",
               number, number, count, step.caption.c_str(), height_of(place(after)), after.size());
  const std::string label = "the tree after step " + std::to_string(number);
  write_svg(out, after, &step.marks, layout, label.c_str(), nullptr);
  std::fputs("</div>\n</figure>\n", out);
  return std::ferror(out) == 0;
}

bool write_page_end(FILE* out) {
  std::fprintf(out, "</main>\n<script>\n%s</script>\n</body>\n</html>\n", SCRIPT);
  return finish(out);
}
