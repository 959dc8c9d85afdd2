// The live page's script. The C++ (live.cpp and frames.cpp, compiled to
// WebAssembly and inlined above this script) keeps the operations and the
// trees and answers, for any step, the tree the step started from and its
// sub-steps (frames), cut from the module's own trace. This script reads the
// box and the address through it, keeps the list of steps, and plays the
// frames: each one is drawn from the one before by moving the nodes whose
// place changed (a node keeps its column, its place in key order, so nodes
// move within their own column and never pass over one another), fading in
// the new and out the released. The view (a camera over the drawing) follows
// the nodes a frame touches, and can be zoomed, panned and fitted by hand.
//
// The page keeps at most NODE_LIMIT nodes and STEP_LIMIT steps: describing a
// step after the last one described costs that step alone, going back costs a
// replay of the steps before it, which the bound keeps to a few milliseconds.
(function () {
  'use strict';

  var NODE_LIMIT = 500;
  var STEP_LIMIT = 2000;
  // A batch of operations (typed at once, built, loaded) plays every sub-step
  // of each of up to PLAY_ALL steps; up to GLIDE_EACH steps, all but the last
  // glide once each; a longer one goes straight to its last step. The last
  // step always plays its sub-steps.
  var PLAY_ALL = 10;
  var GLIDE_EACH = 60;
  var MOVE_MS = 650;   // at speed 1
  var HOLD_MS = 750;
  var GLIDE_MS = 420;
  var CAMERA_MS = 380;
  var LEGIBLE = 0.75;  // the smallest zoom at which keys read well
  var SVG = 'http://www.w3.org/2000/svg';
  // The words the buttons put in the box's grammar (live.cpp reads them).
  var WORDS = { minimum: 'min', maximum: 'max', preorder: 'pre', inorder: 'in', postorder: 'post' };
  var MODES = { insert: 0, remove: 1, search: 3, successor: 4, predecessor: 5 };
  var KIND_INSERT = 0;
  var KIND_REMOVE = 1;

  function $(id) { return document.getElementById(id); }
  var box = $('ops');
  var message = $('message');
  var caption = $('caption');
  var frameText = $('frame');
  var stats = $('stats');
  var where = $('where');
  var svg = $('tree');
  var camera = svg.querySelector('.camera');
  var edgeLayer = svg.querySelector('.edges');
  var nodeLayer = svg.querySelector('.nodes');
  var recursion = $('recursion');
  var recursionTitle = $('recursion-title');
  var list = $('steps');
  var outline = $('outline');
  var speed = $('speed');
  var still = $('still');
  var heights = $('heights');
  var follow = $('follow');
  var playButton = $('play');
  var controls = document.querySelectorAll('button, input');

  var live = null;     // the C++ functions, once the WebAssembly is ready
  var look = null;     // the words of the look, from the C++ (avl_page.cpp)
  var steps = [];      // {kind, key, word, item, name, applied}
  var current = -1;    // the step shown; -1 is the empty tree before the first
  var frameAt = -1;    // its frame shown
  var view = null;     // live.view(current)
  var described = null;  // the step whose words are shown (null: none yet)
  var paused = false;  // the user paused: new steps wait for Play
  var until = -1;      // the step whose last frame playing stops at
  var glideOnly = {};  // steps of a long batch that glide once, by index
  var timer = 0;       // the pause between two frames while playing
  var phases = [];     // the animation under way: [{ms, step(t)}], the first running
  var phaseStart = 0;
  var savedReset = null;  // the steps a Reset cleared, for Undo
  var written = null;  // the address this page last wrote
  // The camera: screen x = world x * s + x, screen y = world y * rise(s) + y.
  var cam = { s: 1, x: 0, y: 0 };
  var grow = [1, 1];   // the nodes' own scale: round under the camera's, and never too small to see
  var drawn = { w: 200, h: 60 };   // the size of the tree drawn
  var nodeEls = {};    // id -> the node's elements and what they show
  var edgeEls = {};    // child id -> its line

  // ------------------------------------------------------------ module --

  function connect(module) {
    var read = module.cwrap('live_read', 'string', ['number', 'number']);
    var describe = module.cwrap('live_view', 'string', ['number']);
    return {
      // The box's text (mode 0 as typed, others read its keys as MODES says)
      // or the address's (2).
      read: function (text, mode) {
        var size = module.lengthBytesUTF8(text) + 1;
        var at = module._malloc(size);
        module.stringToUTF8(text, at, size);
        try { return JSON.parse(read(at, mode)); } finally { module._free(at); }
      },
      append: module.cwrap('live_append', 'number', ['number', 'number']),
      size: module.cwrap('live_size', 'number', []),
      count: module.cwrap('live_count', 'number', ['number']),
      largest: module.cwrap('live_largest', 'number', []),
      view: function (index) { return JSON.parse(describe(index)); },
      keep: module.cwrap('live_keep', 'number', ['number']),
      look: function () { return JSON.parse(module.cwrap('live_look', 'string', [])()); }
    };
  }

  function say(text, isInfo) {
    message.textContent = text;
    message.className = isInfo ? 'info' : '';
  }

  // ------------------------------------------------------------ frames --

  // The tree of frame `f` of the step described: the tree it started from
  // with the changes of frames 0 to f applied.
  function stateAt(f) {
    var state = { nodes: {}, w: 200, h: 60, order: {}, frame: null };
    if (!view) return state;
    var i, k, nodes = view.start.nodes;
    for (i = 0; i < nodes.length; i++) state.nodes[nodes[i][0]] = nodes[i];
    state.w = view.start.w;
    state.h = view.start.h;
    for (i = 0; i <= f; i++) {
      var fr = view.frames[i];
      for (k = 0; k < fr.nodes.length; k++) state.nodes[fr.nodes[k][0]] = fr.nodes[k];
      for (k = 0; k < fr.gone.length; k++) delete state.nodes[fr.gone[k]];
      if (fr.order) for (k = 0; k < fr.order.length; k++) state.order[fr.order[k][0]] = fr.order[k][1];
      state.w = fr.w;
      state.h = fr.h;
    }
    state.frame = f >= 0 ? view.frames[f] : null;
    return state;
  }

  function lastFrame() { return view ? view.frames.length - 1 : -1; }

  // ----------------------------------------------------------- drawing --

  function element(name, attributes, parent) {
    var e = document.createElementNS(SVG, name);
    for (var a in attributes) e.setAttribute(a, attributes[a]);
    if (parent) parent.appendChild(e);
    return e;
  }

  function balanceText(b) { return (b > 0 ? '+' : '') + b; }
  function escapeText(text) {
    return text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
  }
  function leanClass(b) { return look.leans[b > 0 ? 2 : b < 0 ? 0 : 1]; }

  function nodeElement(id) {
    var el = nodeEls[id];
    if (el) return el;
    var g = element('g', { 'data-id': id }, nodeLayer);
    el = nodeEls[id] = {
      g: g,
      title: element('title', {}, g),
      ellipse: element('ellipse', { cx: 0, cy: 0 }, g),
      key: element('text', { 'class': 'key', x: 0, y: -1 }, g),
      balance: element('text', { 'class': 'balance', x: 0, y: 13 }, g),
      height: element('text', { 'class': 'height', x: 0 }, g),
      badge: null, x: null, y: null, look: '', fresh: true
    };
    return el;
  }

  function put(el, x, y) {
    el.x = x;
    el.y = y;
    el.g.setAttribute('transform', 'translate(' + x.toFixed(1) + ' ' + y.toFixed(1) + ')' +
      (grow[0] !== 1 || grow[1] !== 1 ? ' scale(' + grow[0].toFixed(3) + ' ' + grow[1].toFixed(4) + ')' : ''));
  }

  // Sets what a node shows: its class (balance, mark, the frame's states),
  // key, balance factor, height and a walk's visit number. Most nodes do not
  // change from one frame to the next: only what did is touched.
  function dress(el, rec, fr, marks, path, order) {
    var id = rec[0];
    var mark = marks[id] || 0;
    var states = (fr && fr.at === id ? ' at' : '') + (path[id] ? ' path' : '') +
      (fr && fr.heavy === id ? ' heavy' : '') + (fr && fr.hit === id ? ' hit' : '');
    var cls = 'node ' + leanClass(rec[2]) + look.marks[mark] + states;
    var signature = cls + '|' + rec[1] + '|' + rec[2] + '|' + rec[6] + '|' + view.rx + '|' + (order[id] || '');
    if (el.look === signature) return;
    el.look = signature;
    el.g.setAttribute('class', cls);
    el.g.setAttribute('data-key', rec[1]);
    el.g.setAttribute('data-balance', rec[2]);
    el.g.setAttribute('data-height', rec[6]);
    el.title.textContent = rec[1] + ', balance factor ' + balanceText(rec[2]) + ', height ' + rec[6] +
      look.notes[mark];
    el.ellipse.setAttribute('rx', view.rx);
    el.ellipse.setAttribute('ry', view.ry);
    el.key.textContent = rec[1];
    el.balance.textContent = balanceText(rec[2]);
    el.height.setAttribute('y', view.ry + 11);
    el.height.textContent = 'h' + rec[6];
    if (order[id]) {
      if (!el.badge) {
        el.badge = element('g', { 'class': 'order', transform: 'translate(' + (view.rx - 3) + ' ' + (3 - view.ry) + ')' }, el.g);
        element('circle', { r: 9 }, el.badge);
        element('text', { y: 3.5 }, el.badge);
      }
      el.badge.lastChild.textContent = order[id];
    } else if (el.badge) {
      el.g.removeChild(el.badge);
      el.badge = null;
    }
  }

  // Draws an edge between two nodes where they are, touching only the ends
  // that moved.
  function edgeTo(line, parent, child) {
    if (line.ax !== parent.x || line.ay !== parent.y) {
      line.ax = parent.x;
      line.ay = parent.y;
      line.setAttribute('x1', parent.x.toFixed(1));
      line.setAttribute('y1', parent.y.toFixed(1));
    }
    if (line.bx !== child.x || line.by !== child.y) {
      line.bx = child.x;
      line.by = child.y;
      line.setAttribute('x2', child.x.toFixed(1));
      line.setAttribute('y2', child.y.toFixed(1));
    }
  }

  function ease(t) { return t < 0.5 ? 2 * t * t : 1 - 2 * (1 - t) * (1 - t); }
  function pace() { return Number(speed.value); }
  function animated() { return !still.checked; }

  // Draws `state`: gliding there when `glide` (the camera first, when the
  // nodes to watch are out of sight, then the nodes), at once otherwise.
  function draw(state, glide) {
    var fr = state.frame;
    var marks = {}, path = {}, i, id;
    if (fr && fr.marks) for (i = 0; i < fr.marks.length; i++) marks[fr.marks[i][0]] = fr.marks[i][1];
    if (fr) for (i = 0; i < fr.path.length; i++) path[fr.path[i]] = true;
    var moves = [], appear = [], leave = [], focus = [], news = [];
    for (id in state.nodes) {
      var rec = state.nodes[id];
      var el = nodeElement(id);
      dress(el, rec, fr, marks, path, state.order);
      if (el.fresh) {
        el.fresh = false;
        put(el, rec[3], rec[4]);
        appear.push(el);
        news.push(rec);
      } else if (el.x !== rec[3] || el.y !== rec[4]) {
        moves.push({ el: el, x0: el.x, y0: el.y, x1: rec[3], y1: rec[4] });
        if (moves.length <= 12) focus.push(rec);
      }
      if (fr && (fr.at === rec[0] || fr.hit === rec[0] || fr.heavy === rec[0] || marks[rec[0]])) {
        focus.unshift(rec);
      }
    }
    for (id in nodeEls) {
      if (!state.nodes[id]) {
        var gone = nodeEls[id];
        delete nodeEls[id];
        gone.g.setAttribute('class', 'node gone');
        leave.push(gone);
      }
    }
    // The edges: one line per node with a parent, drawn from the parent.
    var lines = [];
    for (id in state.nodes) {
      var parent = state.nodes[id][5];
      if (parent < 0) continue;
      var line = edgeEls[id] || (edgeEls[id] = element('line', { 'class': 'edge' }, edgeLayer));
      lines.push({ line: line, parent: nodeEls[parent], child: nodeEls[id] });
    }
    for (id in edgeEls) {
      if (!state.nodes[id] || state.nodes[id][5] < 0) {
        edgeLayer.removeChild(edgeEls[id]);
        delete edgeEls[id];
      }
    }
    // A new node is worth watching, unless the whole tree is new (a fresh
    // drawing): then only what the frame points at is.
    if (news.length <= 3) focus = news.concat(focus);
    var grown = drawn.h !== state.h;
    drawn = { w: state.w, h: state.h };
    if (grown) showCamera();  // the stretch upwards follows the tree's height
    var toward = follow.checked ? followed(state, focus.slice(0, 12)) : null;

    var settle = function () {
      for (var k = 0; k < moves.length; k++) put(moves[k].el, moves[k].x1, moves[k].y1);
      for (k = 0; k < appear.length; k++) appear[k].g.removeAttribute('opacity');
      for (k = 0; k < leave.length; k++) {
        if (leave[k].g.parentNode) nodeLayer.removeChild(leave[k].g);
      }
      for (k = 0; k < lines.length; k++) edgeTo(lines[k].line, lines[k].parent, lines[k].child);
    };
    if (!glide || !animated()) {
      if (toward) { cam = toward; showCamera(); }
      settle();
      return [];
    }
    var plan = [];
    if (toward) {
      var from = { s: cam.s, x: cam.x, y: cam.y };
      plan.push({ ms: CAMERA_MS / pace(), step: function (t) {
        var e = ease(t);
        cam = { s: from.s + (toward.s - from.s) * e, x: from.x + (toward.x - from.x) * e,
          y: from.y + (toward.y - from.y) * e };
        showCamera();
      } });
    }
    if (moves.length || appear.length || leave.length) {
      // Only the lines that touch a moving node change while it moves.
      var moving = [];
      for (i = 0; i < moves.length; i++) moves[i].el.moving = true;
      for (i = 0; i < appear.length; i++) appear[i].g.setAttribute('opacity', '0');
      for (i = 0; i < lines.length; i++) {
        if (lines[i].parent.moving || lines[i].child.moving) moving.push(lines[i]);
        else edgeTo(lines[i].line, lines[i].parent, lines[i].child);
      }
      for (i = 0; i < moves.length; i++) moves[i].el.moving = false;
      plan.push({ ms: (glide === 'step' ? GLIDE_MS : MOVE_MS) / pace(), step: function (t) {
        var e = ease(t), k;
        if (t >= 1) { settle(); return; }
        for (k = 0; k < moves.length; k++) {
          var m = moves[k];
          put(m.el, m.x0 + (m.x1 - m.x0) * e, m.y0 + (m.y1 - m.y0) * e);
        }
        for (k = 0; k < appear.length; k++) appear[k].g.setAttribute('opacity', e.toFixed(2));
        for (k = 0; k < leave.length; k++) leave[k].g.setAttribute('opacity', (1 - e).toFixed(2));
        for (k = 0; k < moving.length; k++) edgeTo(moving[k].line, moving[k].parent, moving[k].child);
      } });
    } else {
      settle();
    }
    return plan;
  }

  // Plays the phases of a drawing, one animation frame loop at a time.
  var ticking = false;
  function run(plan) {
    phases = plan;
    if (phases.length === 0) { settled(); return; }
    svg.setAttribute('data-state', 'moving');
    phaseStart = performance.now();
    if (!ticking) {
      ticking = true;
      requestAnimationFrame(tick);
    }
  }

  function tick(now) {
    if (phases.length === 0) { ticking = false; return; }
    var phase = phases[0];
    var t = Math.min(1, Math.max(0, (now - phaseStart) / phase.ms));
    phase.step(t);
    if (t >= 1) {
      phases.shift();
      phaseStart = now;
      if (phases.length === 0) {
        ticking = false;
        settled();
        return;
      }
    }
    requestAnimationFrame(tick);
  }

  // Ends the animation under way at once, where it was going.
  function finishMotion() {
    if (phases.length === 0) return;
    var rest = phases;
    phases = [];
    for (var i = 0; i < rest.length; i++) rest[i].step(1);
  }

  // ------------------------------------------------------------ camera --

  // The panel's size, measured when it changes rather than at every frame
  // (a measurement right after the drawing changed would lay the page out).
  var panel = null;
  function viewport() {
    if (!panel) {
      var r = svg.getBoundingClientRect();
      panel = { w: Math.max(r.width, 1), h: Math.max(r.height, 1) };
    }
    return panel;
  }

  // A tree drawn in key order is many times wider than it is tall: zoomed
  // out to see much of it, it is stretched upwards to fill the panel's
  // height (never beyond its own size), so that its shape still shows. The
  // nodes keep their round shape at the horizontal scale.
  var PAD = 6;  // pixels kept clear around a fitted tree
  function rise(s, h) {
    return Math.max(s, Math.min(1, (viewport().h - 2 * PAD) / (h || drawn.h)));
  }

  function showCamera() {
    var v = rise(cam.s);
    camera.setAttribute('transform', 'translate(' + cam.x.toFixed(1) + ' ' + cam.y.toFixed(1) +
      ') scale(' + cam.s.toFixed(4) + ' ' + v.toFixed(4) + ')');
    var small = cam.s < 0.35;
    if (small !== svg.classList.contains('small')) svg.classList.toggle('small', small);
    // Zoomed far out, a node is drawn at least a few pixels wide, so that
    // the colours of the balance factors and the marks still show.
    var rx = view ? view.rx : 19;
    var m = Math.max(1, 3.5 / (rx * cam.s));
    var want = [m, m * cam.s / v];
    if (Math.abs(want[0] - grow[0]) > 1e-3 * want[0] || Math.abs(want[1] - grow[1]) > 1e-3 * want[1]) {
      grow = Math.abs(want[0] - 1) < 1e-3 && Math.abs(want[1] - 1) < 1e-3 ? [1, 1] : want;
      for (var id in nodeEls) put(nodeEls[id], nodeEls[id].x, nodeEls[id].y);
    }
  }

  // The camera that shows the whole tree (w by h), a few pixels clear of the
  // panel's edges, where the smallest nodes may stand out of the drawing.
  function fitted(w, h) {
    var v = viewport();
    var s = Math.min((v.w - 2 * PAD) / w, (v.h - 2 * PAD) / h, 1);
    var up = rise(s, h);
    return { s: s, x: (v.w - w * s) / 2, y: (v.h - h * up) / 2 };
  }

  // Where the camera should go so that the nodes to watch are in sight at a
  // legible size (null: where it is will do). A tree that fits legibly is
  // shown whole.
  function followed(state, focus) {
    var whole = fitted(state.w, state.h);
    if (whole.s >= LEGIBLE) return same(whole) ? null : whole;
    if (focus.length === 0) return null;
    var v = viewport();
    var rx = view ? view.rx : 19, ry = view ? view.ry : 21;
    var x0 = Infinity, x1 = -Infinity, y0 = Infinity, y1 = -Infinity;
    for (var i = 0; i < focus.length; i++) {
      x0 = Math.min(x0, focus[i][3] - rx - 30);
      x1 = Math.max(x1, focus[i][3] + rx + 30);
      y0 = Math.min(y0, focus[i][4] - ry - 30);
      y1 = Math.max(y1, focus[i][4] + ry + 40);
    }
    var s = cam.s >= LEGIBLE ? cam.s : 1;
    var up = rise(s), was = rise(cam.s);
    var to = { s: s, x: cam.x, y: cam.y };
    if (s !== cam.s) {
      // Zooming in: keep the first node to watch where it is on screen.
      var fx = focus[0][3], fy = focus[0][4];
      to.x = fx * cam.s + cam.x - fx * s;
      to.y = fy * was + cam.y - fy * up;
    }
    if ((x1 - x0) * s > v.w) {
      to.x = v.w / 2 - focus[0][3] * s;
    } else if (x0 * s + to.x < 0) {
      to.x = -x0 * s;
    } else if (x1 * s + to.x > v.w) {
      to.x = v.w - x1 * s;
    }
    if ((y1 - y0) * up > v.h) {
      to.y = v.h / 2 - focus[0][4] * up;
    } else if (y0 * up + to.y < 0) {
      to.y = -y0 * up;
    } else if (y1 * up + to.y > v.h) {
      to.y = v.h - y1 * up;
    }
    return same(to) ? null : to;
  }

  function same(to) {
    return Math.abs(to.s - cam.s) < 1e-3 && Math.abs(to.x - cam.x) < 1 && Math.abs(to.y - cam.y) < 1;
  }

  // A camera moved by hand stays where it was put: the view stops following
  // until the next operation, or until Follow is ticked again.
  function byHand() {
    if (follow.checked) follow.checked = false;
  }

  function zoomAt(px, py, factor) {
    var s = Math.min(3, Math.max(0.005, cam.s * factor));
    cam = { s: s, x: px - (px - cam.x) * s / cam.s, y: py - (py - cam.y) * rise(s) / rise(cam.s) };
    showCamera();
  }

  function fit() {
    finishMotion();
    byHand();
    cam = fitted(drawn.w, drawn.h);
    showCamera();
  }

  // ------------------------------------------------------------ words --

  // The words around the drawing that belong to the step: caption, the
  // recursion's lines, the list's mark.
  function describeStep() {
    caption.textContent = current < 0 ? 'The tree is empty.' : view.caption;
    recursion.textContent = '';
    recursionTitle.textContent = current < 0 ? 'The recursion'
      : 'The recursion of ' + view.name + ', one call per line, outermost first';
    if (view) {
      for (var i = 0; i < view.lines.length; i++) {
        var li = document.createElement('li');
        li.appendChild(document.createTextNode(view.lines[i][0]));
        var detail = document.createElement('span');
        detail.className = 'detail';
        detail.textContent = view.lines[i][1];
        li.appendChild(detail);
        recursion.appendChild(li);
      }
      if (view.check) say(view.check);
    }
    markList();
  }

  // The words that belong to the frame: what it shows, where it is, the
  // recursion's current line and the outline.
  function describeFrame(state) {
    var last = lastFrame();
    var fr = state.frame;
    // The last frame's words are the caption above; a screen reader hears
    // them once more as the step ends.
    if (!fr) frameText.textContent = '';
    else if (frameAt < last) frameText.textContent = fr.text;
    else frameText.innerHTML = 'Done.<span class="sr-only"> ' + escapeText(fr.text) + '</span>';
    where.textContent = current < 0 ? (steps.length ? 'Before step 1 of ' + steps.length : '')
      : 'Step ' + (current + 1) + ' of ' + steps.length + ', sub-step ' + (frameAt + 1) + ' of ' +
        (last + 1);
    stats.textContent = current < 0 ? '' : 'After the step: height ' + view.height + ', size ' + view.size;
    var lines = recursion.children;
    for (var i = 0; i < lines.length; i++) {
      if (fr && fr.line === i) lines[i].setAttribute('aria-current', 'true');
      else if (lines[i].hasAttribute('aria-current')) lines[i].removeAttribute('aria-current');
    }
    svg.setAttribute('data-frame', String(frameAt));
    svg.setAttribute('data-frames', String(last + 1));
    var size = Object.keys(state.nodes).length;
    svg.setAttribute('aria-label', size === 0 ? 'the empty tree'
      : 'the tree, ' + size + ' nodes; the tree as text follows the steps');
    writeOutline(state);
    $('sub-prev').disabled = current < 0 && frameAt < 0;
    $('prev-step').disabled = current < 0;
    $('next-step').disabled = current >= steps.length - 1;
    $('sub-next').disabled = current >= steps.length - 1 && frameAt >= last;
  }

  // The tree as nested lists: each node with its balance factor, then its
  // left and right subtrees. The lists are kept from frame to frame and only
  // what changed is touched: rewriting a few hundred items at every frame
  // would cost more than drawing the tree.
  var outlineEls = {};  // id -> {li, text, ul, label, side}
  var outlineRoot = null;
  function writeOutline(state) {
    var fr = state.frame, id, rec, el;
    if (!outlineRoot) {
      outline.textContent = '';
      outlineRoot = outline.appendChild(document.createElement('ul'));
    }
    for (id in state.nodes) {
      rec = state.nodes[id];
      el = outlineEls[id];
      if (!el) {
        el = outlineEls[id] = { li: document.createElement('li'), text: document.createTextNode(''),
          ul: null, label: '', side: '' };
        el.li.appendChild(el.text);
      }
      var parent = rec[5] >= 0 ? state.nodes[rec[5]] : null;
      var side = !parent ? '' : rec[3] < parent[3] ? 'left' : 'right';
      var label = (side ? side + ': ' : '') + rec[1] + ', balance factor ' + balanceText(rec[2]) +
        (heights.checked ? ', height ' + rec[6] : '') +
        (fr && fr.heavy === rec[0] ? ', too heavy' : '') +
        (fr && fr.at === rec[0] ? ', the call under way' : '') +
        (fr && fr.hit === rec[0] ? ', reached' : '') +
        (state.order[rec[0]] ? ', visited as number ' + state.order[rec[0]] : '');
      if (el.label !== label) { el.label = label; el.text.data = label; }
    }
    for (id in outlineEls) {
      if (!state.nodes[id]) {
        el = outlineEls[id];
        if (el.li.parentNode) el.li.parentNode.removeChild(el.li);
        delete outlineEls[id];
      }
    }
    // Each item under its parent's list, a left child before a right one.
    // The items out of place are all taken out first: after a rotation a
    // node's new parent may still hang below it.
    var moving = [];
    for (id in state.nodes) {
      rec = state.nodes[id];
      el = outlineEls[id];
      var into = outlineRoot;
      if (rec[5] >= 0) {
        var up = outlineEls[rec[5]];
        if (!up.ul) up.ul = up.li.appendChild(document.createElement('ul'));
        into = up.ul;
      }
      var left = rec[5] >= 0 && rec[3] < state.nodes[rec[5]][3];
      if (el.li.parentNode !== into || (left ? el.li !== into.firstChild : el.li !== into.lastChild)) {
        if (el.li.parentNode) el.li.parentNode.removeChild(el.li);
        moving.push({ li: el.li, into: into, left: left });
      }
    }
    for (var m = 0; m < moving.length; m++) {
      if (moving[m].left) moving[m].into.insertBefore(moving[m].li, moving[m].into.firstChild);
      else moving[m].into.appendChild(moving[m].li);
    }
    for (id in outlineEls) {
      el = outlineEls[id];
      if (el.ul && !el.ul.firstChild) { el.li.removeChild(el.ul); el.ul = null; }
    }
    var empty = outline.lastChild !== outlineRoot ? outline.lastChild : null;
    if (outlineRoot.firstChild && empty) outline.removeChild(empty);
    if (!outlineRoot.firstChild && !empty) {
      outline.appendChild(document.createElement('p')).textContent = 'The tree is empty.';
    }
  }

  // ------------------------------------------------------------ playing --

  // Shows frame `f` (a number, or 'last') of step `s`, gliding there when
  // `glide` ('frame' or 'step'), at once otherwise.
  function show(s, f, glide) {
    finishMotion();
    clearTimeout(timer);
    if (described !== s) {
      view = s < 0 ? null : live.view(s);
      if (view && view.error) {
        say('The module could not describe step ' + (s + 1) + ': ' + view.error);
        view = null;
        s = -1;
      }
      current = s;
      described = s;
      describeStep();
    }
    var last = lastFrame();
    frameAt = f === 'last' ? last : Math.max(Math.min(f, last), s < 0 ? -1 : 0);
    var state = stateAt(frameAt);
    describeFrame(state);
    run(draw(state, glide));
    showPlaying();
  }

  function playing() {
    if (paused || !animated() || current > until) return false;
    return current < until || frameAt < lastFrame();
  }

  function showPlaying() {
    var on = playing();
    playButton.textContent = on ? 'Pause' : 'Play';
    playButton.setAttribute('data-playing', on ? 'yes' : 'no');
  }

  // A frame has been drawn: wait, then go on while playing.
  function settled() {
    showPlaying();
    if (!playing()) {
      svg.setAttribute('data-state', 'still');
      return;
    }
    svg.setAttribute('data-state', 'playing');
    var fr = view && view.frames[frameAt];
    var ms = (glideOnly[current] ? GLIDE_MS / 2 : HOLD_MS) / pace();
    if (fr && fr.quick) ms /= 4;
    timer = setTimeout(advance, ms);
  }

  function advance() {
    if (!playing()) { settled(); return; }
    if (frameAt < lastFrame()) show(current, frameAt + 1, 'frame');
    else if (glideOnly[current + 1]) show(current + 1, 'last', 'step');
    else show(current + 1, 0, 'frame');
  }

  // Plays steps `first` to `last`, just made (see PLAY_ALL).
  function playBatch(first, last) {
    glideOnly = {};
    until = last;
    if (!animated()) { show(last, 'last', false); return; }
    var count = last - first + 1;
    if (count > GLIDE_EACH) first = last;
    for (var i = first; i < last && count > PLAY_ALL; i++) glideOnly[i] = true;
    if (paused) { show(first, glideOnly[first] ? 'last' : 0, 'frame'); return; }
    show(first, glideOnly[first] ? 'last' : 0, glideOnly[first] ? 'step' : 'frame');
  }

  // Stops playing where it is (the user took over).
  function stop() {
    until = -1;
    glideOnly = {};
  }

  function togglePlay() {
    if (!live) return;
    if (playing()) {
      paused = true;
      stop();
      finishMotion();
      clearTimeout(timer);
      settled();
      return;
    }
    paused = false;
    if (current < 0 && steps.length === 0) { showPlaying(); return; }
    if (current >= steps.length - 1 && frameAt >= lastFrame()) {
      until = current;  // the end: play the step shown again
      show(current, 0, 'frame');
      return;
    }
    until = steps.length - 1;
    advance();
  }

  function subStep(by) {
    if (!live) return;
    stop();
    if (by < 0) {
      if (frameAt > 0) show(current, frameAt - 1, 'frame');
      else if (current >= 0) show(current - 1, 'last', 'frame');
    } else if (frameAt < lastFrame()) {
      show(current, frameAt + 1, 'frame');
    } else if (current < steps.length - 1) {
      show(current + 1, 0, 'frame');
    }
  }

  function wholeStep(by) {
    if (!live) return;
    stop();
    var to = Math.max(-1, Math.min(steps.length - 1, current + by));
    if (to !== current || frameAt !== lastFrame()) show(to, 'last', 'step');
  }

  // ------------------------------------------------------------ steps --

  function listItem(i) {
    var li = document.createElement('li');
    var button = document.createElement('button');
    button.type = 'button';
    button.textContent = (i + 1) + '. ' + steps[i].name;
    button.setAttribute('data-step', i);
    li.appendChild(button);
    return li;
  }

  // Marks the step shown and greys the ones after it. Only the items from
  // the step marked before on can change, so a long list costs nothing per
  // step added.
  var marked = -1;
  function markList() {
    var items = list.children;
    var low = marked < 0 || marked >= items.length ? 0 : Math.max(0, Math.min(marked, current));
    for (var i = low; i < items.length; i++) {
      var button = items[i].firstChild;
      if (i === current) button.setAttribute('aria-current', 'step');
      else if (button.hasAttribute('aria-current')) button.removeAttribute('aria-current');
      var later = i > current ? 'later' : '';
      if (items[i].className !== later) items[i].className = later;
      if (i > current && i > marked) break;
    }
    marked = current;
    // Scrolled into sight once the page has been laid out anyway.
    if (!scrollPending) {
      scrollPending = true;
      requestAnimationFrame(scrollList);
    }
  }

  var scrollPending = false;
  function scrollList() {
    scrollPending = false;
    var item = list.children[current];
    if (!item) return;
    var at = item.getBoundingClientRect(), shelf = list.getBoundingClientRect();
    if (at.top < shelf.top || at.bottom > shelf.bottom) {
      list.scrollTop += at.top - shelf.top - shelf.height / 2 + at.height / 2;
    }
  }

  // Drops the steps from `count` on, in the C++ and in the list.
  function keep(count) {
    live.keep(count);
    steps.length = count;
    while (list.children.length > count) list.removeChild(list.lastChild);
    if (marked >= count) marked = -1;
    if (current >= count) described = null;
  }

  function writeAddress() {
    written = steps.length ? '#ops=' + steps.map(function (s) { return s.item; }).join(',') : '';
    try {
      history.replaceState(null, '', written || location.pathname + location.search);
    } catch (e) {
      location.replace(written || '#');
    }
    written = location.hash;
  }

  // Appends the operations after the step shown (dropping the steps after
  // it), within the page's bounds; returns how many it applied and the notes
  // for the message line.
  function perform(ops) {
    var notes = [];
    savedReset = null;
    if (current < steps.length - 1) {
      notes.push('Steps ' + (current + 2) + ' to ' + steps.length + ' were dropped: the new ' +
        'steps follow step ' + (current + 1) + '.');
      keep(current + 1);
    }
    var first = steps.length, absent = [], i;
    for (i = 0; i < ops.length; i++) {
      var op = ops[i];
      var left = ops.length - i;
      if (steps.length >= STEP_LIMIT) {
        notes.push('The page keeps at most ' + STEP_LIMIT.toLocaleString('en') + ' steps, so that ' +
          'every step stays quick; the other ' + left.toLocaleString('en') + ' operations are left in the box.');
        break;
      }
      if (op[0] === KIND_INSERT && live.size() >= NODE_LIMIT) {
        notes.push('The tree holds ' + NODE_LIMIT + ' nodes, the most this page keeps so that ' +
          'every step stays quick; the other ' + left.toLocaleString('en') + ' operations are left in the box.');
        break;
      }
      var result = live.append(op[0], op[1]);
      if (result < 0) {
        notes.push('The module ran out of memory; the other ' + left.toLocaleString('en') + ' operations are left in the box.');
        break;
      }
      steps.push({ kind: op[0], key: op[1], word: op[2], item: op[3], name: op[4], applied: result === 1 });
      if (op[0] === KIND_REMOVE && result === 0) absent.push(op[1]);
    }
    if (absent.length === 1) {
      notes.push(absent[0] + ' is not in the tree: that step says so and changes nothing.');
    } else if (absent.length > 1) {
      notes.push(absent.length + ' keys were not in the tree (' + absent.slice(0, 5).join(', ') +
        (absent.length > 5 ? ', \u2026' : '') + '): those steps change nothing.');
    }
    var items = document.createDocumentFragment();
    for (var s = first; s < steps.length; s++) items.appendChild(listItem(s));
    list.appendChild(items);
    writeAddress();
    return { first: first, last: steps.length - 1, notes: notes, rest: ops.slice(i) };
  }

  // The introduction makes room for the tree once there is one to watch (the
  // first time only: opened again, it stays open).
  var introduced = false;
  function makeRoom() {
    if (introduced || steps.length === 0) return;
    introduced = true;
    $('intro').open = false;
  }

  // Runs operations the user asked for and plays them.
  function operate(ops, announce) {
    if (playing()) show(steps.length - 1, 'last', false);  // a batch under way ends first
    finishMotion();
    var result = perform(ops);
    follow.checked = true;
    box.value = result.rest.map(function (op) { return op[2]; }).join(' ');
    makeRoom();
    if (result.last >= result.first) playBatch(result.first, result.last);
    say((announce ? [announce] : []).concat(result.notes).join(' '), true);
    return result;
  }

  // The box's words, read as the button pressed says.
  function submit(kind) {
    if (!live) return;
    var read = live.read(box.value, MODES[kind]);
    if (!read.error && read.ops.length === 0) read.error = 'Type a key to insert, or -d and a key to delete.';
    if (read.error) {
      say(read.error + (read.error.slice(-1) === '.' ? '' : '; nothing was changed.'));
      return;
    }
    operate(read.ops);
  }

  function query(kind) {
    if (!live) return;
    operate(live.read(WORDS[kind], 0).ops);
  }

  function buildCount() {
    var n = Math.floor(Number($('count').value));
    return n >= 1 ? Math.min(n, NODE_LIMIT) : 1;
  }

  // n keys, each one more than the largest in the tree.
  function sortedRun() {
    if (!live) return;
    var n = buildCount(), from = live.size() ? live.largest() + 1 : 1, keys = [];
    for (var k = 0; k < n && from + k <= 2147483647; k++) keys.push(from + k);
    operate(live.read(keys.join(' '), 0).ops, keys.length ? 'A sorted run: ' + keys[0] +
      (keys.length > 1 ? ' to ' + keys[keys.length - 1] : '') + '.' : '');
  }

  // n random keys; none of them already in the tree, nor twice, unless
  // repeats are allowed.
  function randomKeys() {
    if (!live) return;
    var n = buildCount(), repeats = $('repeats').checked;
    var range = Math.max(99, 3 * (n + live.size())), keys = [], taken = {};
    for (var tries = 0; keys.length < n && tries < 100 * n; tries++) {
      var key = 1 + Math.floor(Math.random() * range);
      if (!repeats && (taken[key] || live.count(key) > 0)) continue;
      taken[key] = true;
      keys.push(key);
    }
    operate(live.read(keys.join(' '), 0).ops, 'Inserting ' +
      (keys.length > 12 ? keys.length + ' random keys' : keys.join(' ')) + '.');
  }

  // Undoes the step shown; the steps after it, made on top of it, go with it.
  // Right after a Reset, brings back what it cleared.
  function undo() {
    if (!live) return;
    stop();
    finishMotion();
    if (steps.length === 0 && savedReset) {
      var saved = savedReset;
      perform(saved.ops);
      show(Math.min(saved.current, steps.length - 1), 'last', 'step');
      say('The ' + steps.length + ' steps the reset cleared are back.', true);
      return;
    }
    if (current < 0) {
      say(steps.length ? 'This is the tree before step 1: nothing to undo.' : 'Nothing to undo.', true);
      return;
    }
    var undone = current, name = steps[current].name, after = steps.length - current - 1;
    keep(undone);
    show(undone - 1, 'last', 'step');
    writeAddress();
    say('Undid step ' + (undone + 1) + ' (' + name + ')' + (after ? '; the ' + after +
      (after === 1 ? ' step after it, made on top of it, went with it.' : ' steps after it, made on top of it, went with them.') : '.'), true);
  }

  function reset() {
    if (!live) return;
    stop();
    finishMotion();
    if (steps.length === 0) { say('The tree is already empty.', true); return; }
    savedReset = { ops: steps.map(function (s) { return [s.kind, s.key, s.word, s.item, s.name]; }),
      current: current };
    var count = steps.length;
    keep(0);
    show(-1, -1, 'step');
    writeAddress();
    say('The tree is empty again; Undo brings its ' + count + ' steps back.', true);
  }

  // Builds the steps the address names (#ops=11,12,-12), showing the last.
  function load() {
    if (location.hash === written) return;
    stop();
    finishMotion();
    keep(0);
    described = null;
    written = location.hash;
    var text = /^#ops=/.test(location.hash) ? location.hash.slice(5) : '';
    var read, fault;
    try {
      read = live.read(decodeURIComponent(text), 2);
      fault = read.error && (read.word === '' ? 'an empty item (two commas in a row, or one at an end)'
        : '"' + read.word + '", which is not an operation (' + read.error + ')');
    } catch (e) {
      fault = 'text that is not valid percent-encoding (' + e.message + ')';
    }
    if (fault) {
      show(-1, -1, false);
      say('The address holds ' + fault + '; nothing was built from it. An address like ' +
        '#ops=11,12,-12 inserts 11 and 12, then deletes 12.');
      return;
    }
    var result = perform(read.ops);
    box.value = result.rest.map(function (op) { return op[2]; }).join(' ');
    makeRoom();
    show(steps.length - 1, 'last', false);
    say(result.notes.join(' '), true);
  }

  // ---------------------------------------------------------- wiring --

  box.addEventListener('keydown', function (e) {
    if (e.key === 'Enter') { e.preventDefault(); submit('insert'); }
  });
  $('insert').addEventListener('click', function () { submit('insert'); });
  $('delete').addEventListener('click', function () { submit('remove'); });
  $('search').addEventListener('click', function () { submit('search'); });
  $('successor').addEventListener('click', function () { submit('successor'); });
  $('predecessor').addEventListener('click', function () { submit('predecessor'); });
  ['minimum', 'maximum', 'preorder', 'inorder', 'postorder'].forEach(function (kind) {
    $(kind).addEventListener('click', function () { query(kind); });
  });
  $('sorted').addEventListener('click', sortedRun);
  $('random').addEventListener('click', randomKeys);
  $('undo').addEventListener('click', undo);
  $('reset').addEventListener('click', reset);
  playButton.addEventListener('click', togglePlay);
  $('sub-prev').addEventListener('click', function () { subStep(-1); });
  $('sub-next').addEventListener('click', function () { subStep(+1); });
  $('prev-step').addEventListener('click', function () { wholeStep(-1); });
  $('next-step').addEventListener('click', function () { wholeStep(+1); });
  list.addEventListener('click', function (e) {
    var button = e.target.closest('button');
    if (!button || !live) return;
    stop();
    show(Number(button.getAttribute('data-step')), 'last', 'step');
  });
  speed.addEventListener('input', function () {
    $('speed-value').textContent = speed.value + '\u00d7';
  });
  still.addEventListener('change', function () {
    if (still.checked) { finishMotion(); clearTimeout(timer); stop(); settled(); }
  });
  heights.addEventListener('change', function () {
    svg.classList.toggle('heights', heights.checked);
    if (live) describeFrame(stateAt(frameAt));
  });
  follow.addEventListener('change', function () {
    if (follow.checked && live) show(current, frameAt, 'frame');
  });
  $('fit').addEventListener('click', fit);
  $('zoom-in').addEventListener('click', function () {
    var v = viewport(); byHand(); zoomAt(v.w / 2, v.h / 2, 1.25);
  });
  $('zoom-out').addEventListener('click', function () {
    var v = viewport(); byHand(); zoomAt(v.w / 2, v.h / 2, 0.8);
  });

  // Drag to pan, two fingers to pinch, the wheel to zoom.
  var pointers = {};
  function pointerList() { return Object.keys(pointers).map(function (k) { return pointers[k]; }); }
  svg.addEventListener('pointerdown', function (e) {
    if (e.button !== 0 && e.pointerType === 'mouse') return;
    svg.setPointerCapture(e.pointerId);
    pointers[e.pointerId] = { x: e.clientX, y: e.clientY };
    svg.classList.add('dragging');
  });
  svg.addEventListener('pointermove', function (e) {
    var p = pointers[e.pointerId];
    if (!p) return;
    var before = pointerList();
    var r = svg.getBoundingClientRect();
    if (before.length === 1) {
      cam.x += e.clientX - p.x;
      cam.y += e.clientY - p.y;
    } else if (before.length === 2) {
      var other = before[0] === p ? before[1] : before[0];
      var d0 = Math.hypot(p.x - other.x, p.y - other.y);
      var d1 = Math.hypot(e.clientX - other.x, e.clientY - other.y);
      var mx = (e.clientX + other.x) / 2 - r.left, my = (e.clientY + other.y) / 2 - r.top;
      if (d0 > 0) zoomAt(mx, my, d1 / d0);
      cam.x += (e.clientX - p.x) / 2;
      cam.y += (e.clientY - p.y) / 2;
    }
    p.x = e.clientX;
    p.y = e.clientY;
    if (before.length) { finishMotion(); byHand(); showCamera(); }
  });
  function release(e) {
    delete pointers[e.pointerId];
    if (pointerList().length === 0) svg.classList.remove('dragging');
  }
  svg.addEventListener('pointerup', release);
  svg.addEventListener('pointercancel', release);
  svg.addEventListener('wheel', function (e) {
    e.preventDefault();
    var r = svg.getBoundingClientRect();
    var delta = e.deltaY * (e.deltaMode === 1 ? 16 : e.deltaMode === 2 ? 400 : 1);
    finishMotion();
    byHand();
    zoomAt(e.clientX - r.left, e.clientY - r.top, Math.exp(-delta * 0.0015));
  }, { passive: false });
  window.addEventListener('resize', function () {
    panel = null;
    if (live && follow.checked) show(current, frameAt, false);
  });

  document.addEventListener('keydown', function (e) {
    if (e.altKey || e.ctrlKey || e.metaKey || !live) return;
    var target = e.target;
    var inBox = target === box;
    if ((inBox && box.value !== '') || (target.tagName === 'INPUT' && !inBox && target.type !== 'checkbox')) return;
    if (e.key === 'ArrowLeft' || e.key === 'ArrowRight') {
      var by = e.key === 'ArrowLeft' ? -1 : +1;
      if (e.shiftKey) wholeStep(by); else subStep(by);
      e.preventDefault();
    } else if (e.key === ' ' && !inBox && target.tagName !== 'BUTTON') {
      togglePlay();
      e.preventDefault();
    } else if ((e.key === '+' || e.key === '=') && !inBox) {
      var v = viewport(); byHand(); zoomAt(v.w / 2, v.h / 2, 1.25);
    } else if (e.key === '-' && !inBox) {
      var w = viewport(); byHand(); zoomAt(w.w / 2, w.h / 2, 0.8);
    }
  });
  window.addEventListener('hashchange', function () { if (live) load(); });
  if (window.matchMedia && matchMedia('(prefers-reduced-motion: reduce)').matches) {
    still.checked = true;
  }

  for (var c = 0; c < controls.length; c++) controls[c].disabled = true;
  say('Loading the module\u2026', true);
  svg.setAttribute('data-state', 'still');
  createAvlLive().then(function (module) {
    live = connect(module);
    look = live.look();
    $('legend').insertAdjacentHTML('afterbegin', look.legend);
    for (var i = 0; i < controls.length; i++) controls[i].disabled = false;
    say('', true);
    cam = fitted(drawn.w, drawn.h);
    showCamera();
    load();
    if (steps.length === 0 && current < 0) show(-1, -1, false);
    box.focus();
    document.body.setAttribute('data-ready', 'yes');
  }, function (error) {
    say('The WebAssembly module did not load: ' + error);
  });
})();
