// The step-by-step page and the SVG layout of avl_dot, end to end: the page's
// figures against the same operations replayed here, what each caption names,
// the geometry of a large drawing, and the page as a real browser builds and
// draws it (skipped where no headless Chromium was found at configure time).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "avl_check.h"
#include "avl_steps.h"

namespace {

// One command-line operation, as the tool and the replay here both read it.
struct Op {
  bool remove;
  int32_t key;
};

std::string arguments_of(const std::vector<Op>& ops) {
  std::string text;
  for (const Op& op : ops) {
    text += (op.remove ? " -d " : " ") + std::to_string(op.key);
  }
  return text;
}

ProcessResult run_tool(const std::string& mode, const std::vector<Op>& ops) {
  return run_command(std::string(AVL_DOT_TOOL_PATH) + " " + mode + arguments_of(ops));
}

// A node as the tree here holds it, in pre-order, with its children's
// positions in that order (-1 for none).
struct RefNode {
  int32_t key;
  int32_t balance;
  int left;
  int right;
};

int collect(const nod* node, std::vector<RefNode>& out) {
  if (node == nullptr) {
    return -1;
  }
  const int at = static_cast<int>(out.size());
  out.push_back({node->data, node->balance, -1, -1});
  const int left = collect(node->left, out);
  const int right = collect(node->right, out);
  out[at].left = left;
  out[at].right = right;
  return at;
}

// A node as a drawing shows it.
struct Drawn {
  std::string classes;
  int32_t key;
  int32_t balance;
  int x, y, rx, ry;
};

std::string attribute(const std::string& fragment, const std::string& name) {
  const std::regex pattern(" " + name + "=\"([^\"]*)\"");
  std::smatch m;
  return std::regex_search(fragment, m, pattern) ? m[1].str() : std::string("<none>");
}

int number(const std::string& fragment, const std::string& name) {
  return std::atoi(attribute(fragment, name).c_str());
}

// Every `<tag ... class="kind ...` element of `text`, from its start to the
// end of its first child element (enough for the attributes read here).
std::vector<std::string> elements(const std::string& text, const std::string& start) {
  std::vector<std::string> found;
  for (size_t at = text.find(start); at != std::string::npos; at = text.find(start, at + 1)) {
    const size_t end = text.find("/>", at);
    found.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
  }
  return found;
}

std::vector<Drawn> drawn_nodes(const std::string& svg) {
  std::vector<Drawn> nodes;
  for (const std::string& g : elements(svg, "<g class=\"node ")) {
    nodes.push_back({attribute(g, "class"), number(g, "data-key"), number(g, "data-balance"),
                     number(g, "cx"), number(g, "cy"), number(g, "rx"), number(g, "ry")});
  }
  return nodes;
}

bool marked(const Drawn& node) {
  const std::string& c = node.classes;
  return c.find("added") != std::string::npos || c.find("moved") != std::string::npos ||
         c.find("rekeyed") != std::string::npos;
}

// The text of the first <tag>...</tag> in `html`, markup removed.
std::string text_of(const std::string& html, const std::string& tag) {
  const size_t start = html.find("<" + tag);
  const size_t end = html.find("</" + tag + ">", start);
  if (start == std::string::npos || end == std::string::npos) {
    return "<no " + tag + ">";
  }
  const size_t open_end = html.find('>', start) + 1;
  return std::regex_replace(html.substr(open_end, end - open_end), std::regex("<[^>]*>"), "");
}

std::vector<std::string> split_figures(const std::string& html) {
  std::vector<std::string> figures;
  const std::string open = "<figure class=\"step\"";
  for (size_t at = html.find(open); at != std::string::npos;) {
    const size_t next = html.find(open, at + 1);
    figures.push_back(html.substr(at, next == std::string::npos ? next : next - at));
    at = next;
  }
  return figures;
}

// ------------------------------------------------------ the script --

struct ScriptStep {
  Op op;
  std::vector<const char*> phrases;  // each must appear in the caption
};

// Every kind of step: the four insertion cases, deletions that rotate once,
// twice at two levels or not at all, from a leaf, a one-child node and a
// two-children node, and an absent key.
const std::vector<ScriptStep>& script() {
  static const std::vector<ScriptStep> steps = {
      {{false, 11}, {"insert 11: ", "11 is its root"}},
      {{false, 12}, {"11 now leans right", "no rotation", "one level higher"}},
      {{false, 13}, {"single rotation (right-right) at 11", "12 is the tree's new root"}},
      {{false, 10}, {"11 now leans left, 12 now leans left", "no rotation", "one level higher"}},
      {{false, 9}, {"single rotation (left-left) at 11", "10 is the subtree's new root"}},
      {{false, 15}, {"13 now leans right, 12 is now balanced", "no rotation"}},
      {{false, 14}, {"double rotation (right-left) at 13", "14 is the subtree's new root"}},
      {{false, 7}, {"no rotation", "one level higher"}},
      {{false, 8}, {"double rotation (left-right) at 9", "8 is the subtree's new root"}},
      {{false, 2}, {"single rotation (left-left) at 10", "8 is the subtree's new root"}},
      {{false, 4}, {"double rotation (left-right) at 7", "4 is the subtree's new root"}},
      {{false, 21}, {"no rotation"}},
      {{false, 3}, {"no rotation", "one level higher"}},
      {{false, 17}, {"double rotation (right-left) at 15", "17 is the subtree's new root"}},
      {{true, 14},
       {"delete 14: ", "its in-order predecessor 13 takes its place",
        "single rotation (right-right) at 13", "17 is the subtree's new root"}},
      {{true, 10},
       {"its in-order predecessor 9 takes its place", "9 now leans right", "no rotation"}},
      {{true, 21},
       {"21 was a leaf", "double rotation (left-right) at 17; 15 is the subtree's new root",
        "then single rotation (left-left) at 12; 8 is the tree's new root", "one level lower"}},
      {{true, 8},
       {"its in-order predecessor 7 takes its place", "double rotation (left-right) at 4",
        "3 is the subtree's new root"}},
      {{true, 9}, {"9 had one child, 11,", "12 now leans right", "no rotation"}},
      {{true, 99}, {"delete 99: 99 is not in the tree; nothing changes"}},
  };
  return steps;
}

std::vector<Op> script_ops() {
  std::vector<Op> ops;
  for (const ScriptStep& step : script()) {
    ops.push_back(step.op);
  }
  return ops;
}

// Phrases that a caption carries exactly when its expectations name them, so
// a rotation or a height change is never claimed where none happened.
const char* const KINDS[] = {"single rotation", "double rotation", "then ",
                             "no rotation",     "one level",       "in-order predecessor",
                             "not in the tree"};

TEST(PageTest, EveryStepIsDrawnAndNamed) {
  const ProcessResult r = run_tool("--html", script_ops());
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> figures = split_figures(r.out);
  ASSERT_EQ(figures.size(), script().size());

  AVL_TREE* tree = create_avl_tree();
  for (size_t i = 0; i < figures.size(); ++i) {
    const ScriptStep& step = script()[i];
    const bool applied =
        step.op.remove ? AVL_delete(tree, step.op.key) == 1 : AVL_insert(tree, step.op.key) == 1;
    std::vector<RefNode> ref;
    collect(tree->root, ref);
    const std::string caption = text_of(figures[i], "figcaption");
    SCOPED_TRACE("step " + std::to_string(i + 1) + ": " + caption);

    // The drawing is the tree after the step, node for node.
    const std::vector<Drawn> nodes = drawn_nodes(figures[i]);
    ASSERT_EQ(nodes.size(), ref.size());
    for (size_t k = 0; k < ref.size(); ++k) {
      EXPECT_EQ(std::make_pair(nodes[k].key, nodes[k].balance),
                std::make_pair(ref[k].key, ref[k].balance));
    }
    EXPECT_EQ(elements(figures[i], "<line class=\"edge\"").size(),
              ref.empty() ? 0 : ref.size() - 1);
    EXPECT_EQ(text_of(figures[i], "p"), "height " + std::to_string(subtree_height(tree->root)) +
                                            ", size " + std::to_string(tree->size));

    // The caption names what happened, and nothing else of note.
    const std::string op = (step.op.remove ? "delete " : "insert ") + std::to_string(step.op.key);
    EXPECT_NE(caption.find(op + ": "), std::string::npos);
    for (const char* phrase : step.phrases) {
      EXPECT_NE(caption.find(phrase), std::string::npos) << "missing: " << phrase;
    }
    for (const char* kind : KINDS) {
      const bool expected =
          std::any_of(step.phrases.begin(), step.phrases.end(),
                      [&](const char* p) { return std::strstr(p, kind) != nullptr; });
      EXPECT_EQ(caption.find(kind) != std::string::npos, expected) << kind;
    }

    // Highlighted: the inserted node, and each new subtree root the caption
    // names; nothing when nothing changed.
    const auto is_marked_key = [&](int32_t key) {
      return std::any_of(nodes.begin(), nodes.end(),
                         [&](const Drawn& n) { return n.key == key && marked(n); });
    };
    if (!step.op.remove) {
      EXPECT_TRUE(is_marked_key(step.op.key));
    }
    if (!applied) {
      EXPECT_TRUE(std::none_of(nodes.begin(), nodes.end(), marked));
    }
    const std::regex root_named(R"((-?\d+) is the (sub)?tree's new root)");
    for (std::sregex_iterator m(caption.begin(), caption.end(), root_named), end; m != end; ++m) {
      EXPECT_TRUE(is_marked_key(std::stoi((*m)[1]))) << (*m)[0];
    }
  }
  AVL_destroy(tree);
}

// ------------------------------------------------------ the trace --

// The step reader runs each operation through the module's recursion with a
// recording policy and reads the step off the reports alone. Over random
// insertions and deletions among repeated keys: the tree it leaves is the one
// AVL_insert and AVL_delete build, node for node; the copy that follows the
// reports is that tree; the nodes it marks moved are exactly those whose
// parent changed, and a caption's new root is where it says.
TEST(PageTest, TheTraceAloneTellsTheStep) {
  std::mt19937 random(31);
  std::uniform_int_distribution<int32_t> draw(0, 60);
  AVL_TREE* traced = create_avl_tree();
  AVL_TREE* plain = create_avl_tree();
  TreeCopy copy(traced);
  const std::regex root_named(R"((-?\d+) is the tree's new root)");
  int rotations = 0;
  for (int i = 0; i < 3000; ++i) {
    const Operation op{i % 3 == 2, draw(random)};
    SCOPED_TRACE("operation " + std::to_string(i) + ": " + operation_words(op));
    const TreeCopy before(traced);
    Trace trace;
    const bool applied = run_traced(traced, op, &trace);
    ASSERT_EQ(applied, op.remove ? AVL_delete(plain, op.key) == 1 : AVL_insert(plain, op.key) == 1);
    const StepReport step = describe_step(op, applied, trace, copy);
    ASSERT_TRUE(copy.same_as(traced)) << step.caption;
    std::vector<RefNode> a;
    std::vector<RefNode> b;
    collect(traced->root, a);
    collect(plain->root, b);
    ASSERT_EQ(a.size(), b.size());
    for (size_t k = 0; k < a.size(); ++k) {
      ASSERT_EQ(std::tie(a[k].key, a[k].balance, a[k].left, a[k].right),
                std::tie(b[k].key, b[k].balance, b[k].left, b[k].right));
    }
    const TreeCopy after(traced);
    for (const Placed& node : place(after)) {
      const NodeCopy* old = before.find(node.node);
      const auto mark = step.marks.find(node.node);
      const Mark marked = mark == step.marks.end() ? Mark::none : mark->second;
      if (old == nullptr) {
        EXPECT_EQ(marked, Mark::added) << node.copy->key;
      } else if (old->key != node.copy->key) {
        EXPECT_EQ(marked, Mark::rekeyed) << node.copy->key;
      } else if (marked != Mark::rekeyed) {
        EXPECT_EQ(marked == Mark::moved, old->parent != node.copy->parent) << node.copy->key;
      }
    }
    std::smatch m;
    if (std::regex_search(step.caption, m, root_named)) {
      EXPECT_EQ(traced->root->data, std::stoi(m[1]));
    }
    rotations += step.caption.find("rotation (") != std::string::npos;
  }
  EXPECT_GT(rotations, 300);
  AVL_destroy(traced);
  AVL_destroy(plain);
}

// ------------------------------------------------------ the layout --

// A large tree drawn by --svg: each child on its own side of its parent and a
// level below it, the edges exactly the tree's links, and no two nodes
// overlapping, all inside the picture.
TEST(PageTest, LargeTreeLayoutKeepsEveryChildOnItsSide) {
  std::mt19937 random(23);
  std::uniform_int_distribution<int32_t> draw(-100000, 100000);
  std::vector<Op> ops;
  for (int i = 0; i < 400; ++i) {
    ops.push_back({false, draw(random)});
    if (i % 4 == 3) {
      ops.push_back({true, ops[ops.size() - 3].key});
    }
  }
  ops.push_back({false, ops[5].key});  // a repeated key
  AVL_TREE* tree = create_avl_tree();
  for (const Op& op : ops) {
    ASSERT_EQ(op.remove ? AVL_delete(tree, op.key) : AVL_insert(tree, op.key), 1);
  }
  std::vector<RefNode> ref;
  collect(tree->root, ref);

  const ProcessResult r = run_tool("--svg", ops);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.out.rfind("<?xml", 0), 0u);
  const std::string svg_tag = r.out.substr(r.out.find("<svg"), r.out.find('>', r.out.find("<svg")));
  const int width = number(svg_tag, "width");
  const int height = number(svg_tag, "height");
  const std::vector<Drawn> nodes = drawn_nodes(r.out);
  ASSERT_EQ(nodes.size(), ref.size());

  std::multiset<std::tuple<int, int, int, int>> links;
  for (size_t i = 0; i < ref.size(); ++i) {
    const Drawn& p = nodes[i];
    ASSERT_EQ(p.key, ref[i].key) << "node " << i;
    EXPECT_TRUE(p.x - p.rx >= 0 && p.x + p.rx <= width && p.y - p.ry >= 0 && p.y + p.ry <= height)
        << p.key << " lies outside the picture";
    for (int side = 0; side < 2; ++side) {
      const int child = side == 0 ? ref[i].left : ref[i].right;
      if (child < 0) {
        continue;
      }
      const Drawn& c = nodes[static_cast<size_t>(child)];
      EXPECT_TRUE(side == 0 ? c.x < p.x : c.x > p.x)
          << c.key << " is drawn on the wrong side of its parent " << p.key;
      EXPECT_GT(c.y, p.y) << c.key << " is not below its parent " << p.key;
      links.insert({p.x, p.y, c.x, c.y});
    }
  }
  std::multiset<std::tuple<int, int, int, int>> edges;
  for (const std::string& line : elements(r.out, "<line class=\"edge\"")) {
    edges.insert({number(line, "x1"), number(line, "y1"), number(line, "x2"), number(line, "y2")});
  }
  EXPECT_EQ(edges, links);

  std::vector<Drawn> by_place = nodes;
  std::sort(by_place.begin(), by_place.end(),
            [](const Drawn& a, const Drawn& b) { return std::tie(a.y, a.x) < std::tie(b.y, b.x); });
  for (size_t i = 1; i < by_place.size(); ++i) {
    const Drawn& a = by_place[i - 1];
    const Drawn& b = by_place[i];
    EXPECT_TRUE(a.y == b.y ? b.x - a.x >= a.rx + b.rx : b.y - a.y >= a.ry + b.ry)
        << a.key << " and " << b.key << " overlap";
  }
  AVL_destroy(tree);
}

// ------------------------------------------------------ the browser --

#if defined(AVL_BROWSER)
const char* const BROWSER = AVL_BROWSER;
#else
const char* const BROWSER = nullptr;
#endif

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

uint32_t big_endian(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  }
  return value;
}

// Loads the page from a file in headless Chromium, which has no network here
// and must not look for one. The DOM it dumps shows that the figures and
// captions were parsed and that the stepping script ran (the buttons shown,
// every figure but the one the address names hidden); the screenshot that it
// drew the page at the size asked for.
TEST(PageBrowserTest, ChromiumBuildsAndDrawsThePage) {
  if (BROWSER == nullptr) {
    GTEST_SKIP() << "no headless Chromium was found at configure time "
                    "(apt-get install chromium-headless-shell)";
  }
  const std::string dir = ::testing::TempDir() + "avl_page_test." + std::to_string(getpid());
  std::filesystem::create_directories(dir + "/profile");
  const std::string page = dir + "/steps.html";
  const std::vector<Op> ops = script_ops();
  const ProcessResult made = run_command(std::string(AVL_DOT_TOOL_PATH) + " --html" +
                                         arguments_of(ops) + " >'" + page + "'");
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string html = read_file(page);

  // A browser that hangs fails the case within a minute (timeout exits 124)
  // instead of holding the suite; /dev/shm is small in many containers.
  const std::string browser =
      std::string("timeout 60 '") + BROWSER +
      "' --headless --no-sandbox --disable-gpu --disable-dev-shm-usage "
      "--disable-background-networking --disable-component-update --disable-sync "
      "--no-first-run --hide-scrollbars --user-data-dir='" +
      dir + "/profile' ";
  const std::string url = "'file://" + page + "#17'";
  const ProcessResult dom = run_command(browser + "--dump-dom " + url);
  ASSERT_EQ(dom.status, 0) << dom.err;
  EXPECT_EQ(count_of(dom.out, "<figure class=\"step\""), ops.size());
  EXPECT_EQ(count_of(dom.out, "<figcaption>"), ops.size());
  EXPECT_EQ(count_of(dom.out, "<g class=\"node "), count_of(html, "<g class=\"node "));
  EXPECT_NE(dom.out.find("then single rotation (left-left) at 12"), std::string::npos);
  EXPECT_NE(dom.out.find("<nav id=\"stepper\">"), std::string::npos) << "the buttons stay hidden";
  EXPECT_EQ(count_of(dom.out, "\" hidden=\"\">"), ops.size() - 1);
  EXPECT_NE(dom.out.find("id=\"step-17\">"), std::string::npos) << "step 17 is not the one shown";

  const std::string shot = dir + "/page.png";
  const ProcessResult drawn =
      run_command(browser + "--screenshot='" + shot + "' --window-size=900,620 " + url);
  ASSERT_EQ(drawn.status, 0) << drawn.err;
  const std::string png = read_file(shot);
  ASSERT_GT(png.size(), 33u);
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  EXPECT_EQ(big_endian(png, 16), 900u);
  EXPECT_EQ(big_endian(png, 20), 620u);
  // A blank page compresses to a few hundred bytes; this one has text and trees.
  EXPECT_GT(png.size(), 10000u);
  std::filesystem::remove_all(dir);
}

}  // namespace
