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

namespace {

// Fill colours by balance factor, and the outline of the nodes a step added
// or moved. The legend uses the same values.
const char* const FILL_LEFT = "#cfe3ff";
const char* const FILL_BALANCED = "#ffffff";
const char* const FILL_RIGHT = "#ffdfb8";
const char* const STROKE = "#444444";
const char* const STROKE_MARKED = "#d1242f";

const char* fill_for(int32_t balance) {
  return balance > 0 ? FILL_LEFT : balance < 0 ? FILL_RIGHT : FILL_BALANCED;
}

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

// "+1", "0", "-1": the sign always shows which side is taller.
std::string balance_text(int32_t balance) {
  return (balance > 0 ? "+" : "") + std::to_string(balance);
}

// The <svg> element: edges first, so that the nodes cover their ends, then
// the nodes in pre-order, each a <g class="node ..."> carrying its key and
// balance factor. `marks` holds one entry per node, or is null.
void write_svg(FILE* out, const TreeCopy& tree, const Mark* marks, const Layout& layout,
               const char* label) {
  const int width = drawing_width(tree, layout);
  const int height = drawing_height(tree, layout);
  std::fprintf(out,
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
               "viewBox=\"0 0 %d %d\" role=\"img\" aria-label=\"%s\">\n",
               width, height, width, height, label);
  if (tree.nodes.empty()) {
    std::fprintf(out,
                 "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\" font-family=\"sans-serif\" "
                 "font-size=\"14\" fill=\"#666666\">empty tree</text>\n",
                 width / 2, height / 2 + 5);
  }
  std::fputs("<g class=\"edges\" stroke=\"#8a8a8a\" stroke-width=\"1.5\">\n", out);
  for (const NodeCopy& node : tree.nodes) {
    const NodeCopy* parent = tree.find(node.parent);
    if (parent != nullptr) {
      std::fprintf(out, "<line class=\"edge\" x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\"/>\n",
                   centre_x(*parent, layout), centre_y(*parent, layout), centre_x(node, layout),
                   centre_y(node, layout));
    }
  }
  std::fputs(
      "</g>\n<g class=\"nodes\" font-family=\"sans-serif\" text-anchor=\"middle\" "
      "fill=\"#111111\">\n",
      out);
  for (size_t i = 0; i < tree.nodes.size(); ++i) {
    const NodeCopy& node = tree.nodes[i];
    const Mark mark = marks == nullptr ? Mark::none : marks[i];
    const int x = centre_x(node, layout);
    const int y = centre_y(node, layout);
    const std::string balance = balance_text(node.balance);
    std::fprintf(out,
                 "<g class=\"node %s%s\" data-key=\"%d\" data-balance=\"%d\">"
                 "<title>%d, balance factor %s%s</title>"
                 "<ellipse cx=\"%d\" cy=\"%d\" rx=\"%d\" ry=\"%d\" fill=\"%s\" stroke=\"%s\" "
                 "stroke-width=\"%s\"/>"
                 "<text x=\"%d\" y=\"%d\" font-size=\"14\" font-weight=\"bold\">%d</text>"
                 "<text x=\"%d\" y=\"%d\" font-size=\"11\" fill=\"#555555\">%s</text></g>\n",
                 lean_class(node.balance), mark_class(mark), node.key, node.balance, node.key,
                 balance.c_str(), mark_note(mark), x, y, layout.rx, layout.ry,
                 fill_for(node.balance), mark == Mark::none ? STROKE : STROKE_MARKED,
                 mark == Mark::none ? "1.5" : "3.5", x, y - 1, node.key, x, y + 13,
                 balance.c_str());
  }
  std::fputs("</g>\n</svg>\n", out);
}

bool finish(FILE* out) {
  return std::fflush(out) == 0 && std::ferror(out) == 0;
}

const char* const STYLE =
    "body { font: 16px/1.45 system-ui, sans-serif; margin: 1.2rem 1.5rem; color: #1b1b1b;"
    " background: #ffffff; }\n"
    "h1 { font-size: 1.35rem; margin: 0 0 .3rem; }\n"
    "code { font-size: .95rem; background: #f3f3f3; padding: .1rem .3rem; border-radius: 3px; }\n"
    ".legend { display: flex; flex-wrap: wrap; gap: .3rem 1.4rem; list-style: none;"
    " padding: 0; margin: .6rem 0 .2rem; font-size: .92rem; }\n"
    ".swatch { display: inline-block; width: 1.3em; height: .9em; border: 1.5px solid #444444;"
    " border-radius: 50%; vertical-align: -.1em; margin-right: .35em; }\n"
    ".note { font-size: .92rem; color: #444444; margin: .2rem 0 .6rem; }\n"
    "nav { display: flex; gap: .7rem; align-items: center; margin: .6rem 0; }\n"
    "nav button { font: inherit; padding: .25rem .9rem; }\n"
    ".hint { color: #666666; font-size: .9rem; }\n"
    "figure.step { margin: 0 0 1rem; padding: .6rem .9rem; border: 1px solid #d8d8d8;"
    " border-radius: 6px; }\n"
    "figcaption { font-size: 1.05rem; }\n"
    ".number { font-weight: 600; margin-right: .4em; }\n"
    ".stats { margin: .15rem 0 .4rem; color: #555555; font-size: .9rem; }\n"
    ".drawing { overflow-x: auto; }\n"
    ".drawing svg { display: block; }\n"
    "details.command p { max-height: 8rem; overflow-y: auto; margin: .3rem 0; }\n"
    "details.command summary { cursor: pointer; }\n"
    "[hidden] { display: none !important; }\n";

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

int centre_x(const NodeCopy& node, const Layout& layout) {
  return layout.margin + node.rank * layout.pitch + layout.pitch / 2;
}

int centre_y(const NodeCopy& node, const Layout& layout) {
  return layout.margin + layout.ry + node.depth * layout.level;
}

int drawing_width(const TreeCopy& tree, const Layout& layout) {
  const int columns = std::max(static_cast<int>(tree.nodes.size()), 3);
  return 2 * layout.margin + columns * layout.pitch;
}

int drawing_height(const TreeCopy& tree, const Layout& layout) {
  return 2 * layout.margin + 2 * layout.ry + std::max(tree.height - 1, 0) * layout.level;
}

Layout layout_for(const std::vector<Operation>& operations) {
  size_t widest = 1;
  for (const Operation& op : operations) {
    widest = std::max(widest, std::to_string(op.key).size());
  }
  // Bold digits at size 14 are 8 to 9 units wide; the ellipse leaves some air
  // on either side of the widest key.
  Layout layout{};
  layout.rx = std::max(19, static_cast<int>(widest * 37) / 8 + 8);
  layout.ry = 21;
  layout.pitch = 2 * layout.rx + 8;
  layout.level = 2 * layout.ry + 26;
  layout.margin = 8;
  return layout;
}

bool write_svg_document(FILE* out, const TreeCopy& tree, const Layout& layout) {
  std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", out);
  const std::string label = "an AVL tree of " + std::to_string(tree.nodes.size()) + " nodes";
  write_svg(out, tree, nullptr, layout, label.c_str());
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
    command += (op.remove ? " -d " : " ") + std::to_string(op.key);
  }
  std::fprintf(out,
               "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
               "<title>AVL tree, step by step</title>\n<style>\n%s</style>\n</head>\n<body>\n"
               "<header>\n<h1>AVL tree, step by step</h1>\n",
               STYLE);
  write_command(out, operations.size(), command);
  std::fprintf(out,
               "<ul class=\"legend\">\n"
               "<li><span class=\"swatch\" style=\"background: %s\"></span>+1: leans left</li>\n"
               "<li><span class=\"swatch\" style=\"background: %s\"></span>0: balanced</li>\n"
               "<li><span class=\"swatch\" style=\"background: %s\"></span>-1: leans right</li>\n"
               "<li><span class=\"swatch\" style=\"border: 3px solid %s\"></span>"
               "added, moved or given a new key by the step</li>\n</ul>\n"
               "<p class=\"note\">Each node shows its key above its balance factor, "
               "height(left) &minus; height(right). A node's column is its place in key order, "
               "its row its depth.</p>\n"
               "<nav id=\"stepper\" hidden><button id=\"prev\" type=\"button\">&larr; "
               "Previous</button><span id=\"where\"></span><button id=\"next\" "
               "type=\"button\">Next &rarr;</button><span class=\"hint\">or the arrow "
               "keys</span></nav>\n</header>\n<main>\n",
               FILL_LEFT, FILL_BALANCED, FILL_RIGHT, STROKE_MARKED);
  return std::ferror(out) == 0;
}

bool write_page_step(FILE* out, int number, int count, const StepReport& step,
                     const TreeCopy& after, const Layout& layout) {
  std::fprintf(out,
               "<figure class=\"step\" id=\"step-%d\">\n<figcaption><span class=\"number\">Step "
               "%d of %d.</span> %s</figcaption>\n<p class=\"stats\">height %d, size %zu</p>\n"
               "<div class=\"drawing\">\n",
               number, number, count, step.caption.c_str(), after.height, after.nodes.size());
  const std::string label = "the tree after step " + std::to_string(number);
  write_svg(out, after, step.marks.data(), layout, label.c_str());
  std::fputs("</div>\n</figure>\n", out);
  return std::ferror(out) == 0;
}

bool write_page_end(FILE* out) {
  std::fprintf(out, "</main>\n<script>\n%s</script>\n</body>\n</html>\n", SCRIPT);
  return finish(out);
}
