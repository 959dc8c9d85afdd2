// draw.js: the tree in the SVG panel. Each frame is drawn from the one
// before by moving the nodes whose place changed (a node keeps its column,
// its place in key order, so nodes move within their own column and never
// pass over one another), fading in the new and out the released, while the
// camera (camera.js) glides to what the frame touches. The nodes' records
// come from the C++ (frames.cpp), their fields named by look.record.
//
// Zoomed far out a node is drawn no wider than its column, so that no two
// nodes ever overlap; its key shows once it fits, and its title (the
// tooltip of a pointer or a screen reader) always names it.
function Drawing(page) {
  var SVG = 'http://www.w3.org/2000/svg';
  var svg = page.svg;
  var nodeLayer = svg.querySelector('.nodes');
  var edgeLayer = svg.querySelector('.edges');
  var markLayer = svg.querySelector('.marks');
  var nodeEls = {};    // id -> the node's elements and what they show
  var edgeEls = {};    // child id -> its line
  var grow = [1, 1];   // the nodes' own scale under the camera's
  var phases = [];     // the animation under way: [{ms, step(t)}], the first running
  var phaseStart = 0;
  var ticking = false;
  var settledHook = function () {};
  var F = null;        // a record's field indexes

  function element(name, attributes, parent) {
    var e = document.createElementNS(SVG, name);
    for (var a in attributes) e.setAttribute(a, attributes[a]);
    if (parent) parent.appendChild(e);
    return e;
  }

  function balanceText(b) { return (b > 0 ? '+' : '') + b; }
  function leanClass(b) { return page.look.leans[b > 0 ? 2 : b < 0 ? 0 : 1]; }

  function nodeElement(id) {
    var el = nodeEls[id];
    if (el) return el;
    var g = element('g', { 'data-id': id }, nodeLayer);
    el = nodeEls[id] = {
      g: g,
      title: element('title', {}, g),
      ellipse: element('ellipse', { cx: 0, cy: 0 }, g),
      key: element('text', { 'class': 'key', x: 0, y: -3 }, g),
      balance: element('text', { 'class': 'balance', x: 0, y: 16 }, g),
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
    var view = page.view;
    var id = rec[F.id];
    var mark = marks[id] || 0;
    var states = (fr && fr.at === id ? ' at' : '') + (path[id] ? ' path' : '') +
      (fr && fr.heavy === id ? ' heavy' : '') + (fr && fr.hit === id ? ' hit' : '');
    var cls = 'node ' + leanClass(rec[F.balance]) + page.look.marks[mark] + states;
    var signature = cls + '|' + rec[F.key] + '|' + rec[F.balance] + '|' + rec[F.height] + '|' +
      view.rx + '|' + (order[id] || '');
    if (el.look === signature) return;
    el.look = signature;
    el.g.setAttribute('class', cls);
    el.g.setAttribute('data-key', rec[F.key]);
    el.g.setAttribute('data-balance', rec[F.balance]);
    el.g.setAttribute('data-height', rec[F.height]);
    el.title.textContent = rec[F.key] + ', balance factor ' + balanceText(rec[F.balance]) +
      ', height ' + rec[F.height] + page.look.notes[mark];
    el.ellipse.setAttribute('rx', view.rx);
    el.ellipse.setAttribute('ry', view.ry);
    el.key.textContent = rec[F.key];
    el.balance.textContent = balanceText(rec[F.balance]);
    el.height.setAttribute('y', view.ry + 15);
    el.height.textContent = 'h' + rec[F.height];
    if (order[id]) {
      if (!el.badge) {
        el.badge = element('g', { 'class': 'order', transform: 'translate(' + (view.rx - 3) + ' ' + (3 - view.ry) + ')' }, el.g);
        element('circle', { r: 11 }, el.badge);
        element('text', { y: 5 }, el.badge);
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

  // Where a failed search ended: a short stub from the node down its empty
  // link, ending in a cross.
  function drawEnd(state) {
    markLayer.textContent = '';
    var end = state.frame && state.frame.end;
    var rec = end && state.nodes[end[0]];
    if (!rec) return;
    var view = page.view;
    var x = rec[F.x] + end[1] * view.rx * 1.2, y = rec[F.y] + view.ry * 2.1;
    element('path', { 'class': 'end', d: 'M' + (rec[F.x] + end[1] * view.rx * 0.5) + ' ' + (rec[F.y] + view.ry * 0.9) +
      ' L' + x + ' ' + y + ' M' + (x - 7) + ' ' + (y - 7) + ' l14 14 m0 -14 l-14 14' }, markLayer);
  }

  function ease(t) { return t < 0.5 ? 2 * t * t : 1 - 2 * (1 - t) * (1 - t); }

  // Draws `state`: gliding there when `glide` ('frame' or 'step': the
  // camera first, when the nodes to watch are out of sight, then the
  // nodes), at once otherwise. Returns the animation's phases.
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
        put(el, rec[F.x], rec[F.y]);
        appear.push(el);
        news.push(rec);
      } else if (el.x !== rec[F.x] || el.y !== rec[F.y]) {
        moves.push({ el: el, x0: el.x, y0: el.y, x1: rec[F.x], y1: rec[F.y] });
        if (moves.length <= 12) focus.push(rec);
      }
      if (fr && (fr.at === rec[F.id] || fr.hit === rec[F.id] || fr.heavy === rec[F.id] || marks[rec[F.id]] ||
          (fr.end && fr.end[0] === rec[F.id]))) {
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
      var parent = state.nodes[id][F.parent];
      if (parent < 0) continue;
      var line = edgeEls[id] || (edgeEls[id] = element('line', { 'class': 'edge' }, edgeLayer));
      lines.push({ line: line, parent: nodeEls[parent], child: nodeEls[id] });
    }
    for (id in edgeEls) {
      if (!state.nodes[id] || state.nodes[id][F.parent] < 0) {
        edgeLayer.removeChild(edgeEls[id]);
        delete edgeEls[id];
      }
    }
    drawEnd(state);
    // A new node is worth watching, unless the whole tree is new (a fresh
    // drawing): then only what the frame points at is.
    if (news.length <= 3) focus = news.concat(focus);
    var toward = page.camera.follow(state, focus.slice(0, 12));

    var settle = function () {
      for (var k = 0; k < moves.length; k++) put(moves[k].el, moves[k].x1, moves[k].y1);
      for (k = 0; k < appear.length; k++) appear[k].g.removeAttribute('opacity');
      for (k = 0; k < leave.length; k++) {
        if (leave[k].g.parentNode) nodeLayer.removeChild(leave[k].g);
      }
      for (k = 0; k < lines.length; k++) edgeTo(lines[k].line, lines[k].parent, lines[k].child);
    };
    if (!glide || !page.animated()) {
      if (toward) page.camera.set(toward);
      settle();
      return [];
    }
    var plan = [];
    if (toward) plan.push(page.camera.glide(toward));
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
      plan.push({ ms: (glide === 'step' ? page.GLIDE_MS : page.MOVE_MS) / page.pace(), step: function (t) {
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
  function run(plan) {
    phases = plan;
    if (phases.length === 0) { settledHook(); return; }
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
        settledHook();
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

  // The nodes' own scale under a camera of horizontal scale `s` and
  // vertical scale `v`: a few pixels across where that fits in a column,
  // never wider than the column, so that nodes never overlap; keys shown
  // only where they fit.
  function regrow(s, v) {
    var view = page.view || { rx: 23, ry: 25, pitch: 54, level: 74 };
    var pitch = 2 * view.rx + 8, level = 2 * view.ry + 24;
    var gx = Math.min(Math.max(1, 4 / (view.rx * s)), 0.46 * pitch / view.rx);
    var gy = Math.min(Math.max(1, 4 / (view.ry * v)), 0.45 * level / view.ry);
    var small = 16 * s * gx < 8;  // keys under 8 px: hidden
    if (small !== svg.classList.contains('small')) svg.classList.toggle('small', small);
    if (Math.abs(gx - grow[0]) > 1e-3 * gx || Math.abs(gy - grow[1]) > 1e-3 * gy) {
      grow = Math.abs(gx - 1) < 1e-3 && Math.abs(gy - 1) < 1e-3 ? [1, 1] : [gx, gy];
      for (var id in nodeEls) put(nodeEls[id], nodeEls[id].x, nodeEls[id].y);
    }
  }

  // The drawing of `state` as a standalone SVG document: the same nodes,
  // edges and classes, the whole tree, in the shared look's light colours.
  function exportSvg(state, title) {
    var view = page.view, lines = [], nodes = [];
    var x0 = Infinity, y0 = Infinity, x1 = -Infinity, y1 = -Infinity, id;
    var fr = state.frame, marks = {}, i;
    if (fr && fr.marks) for (i = 0; i < fr.marks.length; i++) marks[fr.marks[i][0]] = fr.marks[i][1];
    var esc = function (t) { return String(t).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/"/g, '&quot;'); };
    for (id in state.nodes) {
      var r = state.nodes[id];
      x0 = Math.min(x0, r[F.x] - view.rx); x1 = Math.max(x1, r[F.x] + view.rx);
      y0 = Math.min(y0, r[F.y] - view.ry); y1 = Math.max(y1, r[F.y] + view.ry);
      var p = state.nodes[r[F.parent]];
      if (p) lines.push('<line class="edge" x1="' + p[F.x] + '" y1="' + p[F.y] + '" x2="' + r[F.x] + '" y2="' + r[F.y] + '"/>');
      var el = nodeEls[id];
      var cls = el ? el.g.getAttribute('class') : 'node ' + leanClass(r[F.balance]) + page.look.marks[marks[id] || 0];
      nodes.push('<g class="' + esc(cls) + '" data-key="' + r[F.key] + '" data-balance="' + r[F.balance] + '">' +
        '<title>' + r[F.key] + ', balance factor ' + balanceText(r[F.balance]) + '</title>' +
        '<ellipse cx="' + r[F.x] + '" cy="' + r[F.y] + '" rx="' + view.rx + '" ry="' + view.ry + '"/>' +
        '<text class="key" x="' + r[F.x] + '" y="' + (r[F.y] - 3) + '" style="font-size:16px">' + r[F.key] + '</text>' +
        '<text class="balance" x="' + r[F.x] + '" y="' + (r[F.y] + 16) + '" style="font-size:14px">' +
        balanceText(r[F.balance]) + '</text></g>');
    }
    if (nodes.length === 0) { x0 = 0; y0 = 0; x1 = 200; y1 = 60; }
    var m = 8, w = Math.ceil(x1 - x0 + 2 * m), h = Math.ceil(y1 - y0 + 2 * m);
    return '<?xml version="1.0" encoding="UTF-8"?>\n' +
      '<svg xmlns="http://www.w3.org/2000/svg" width="' + w + '" height="' + h + '" viewBox="' +
      (x0 - m) + ' ' + (y0 - m) + ' ' + w + ' ' + h + '" role="img" aria-label="' + esc(title) + '">\n' +
      '<title>' + esc(title) + '</title>\n<style><![CDATA[\n' + page.look.style + ']]></style>\n' +
      (nodes.length ? '' : '<text class="empty" x="100" y="35">empty tree</text>\n') +
      '<g class="edges">\n' + lines.join('\n') + '\n</g>\n<g class="nodes">\n' + nodes.join('\n') + '\n</g>\n</svg>\n';
  }

  // Where keys are too small to show, the node under the pointer says its
  // key and factor beside it.
  var label = page.$('hover');
  nodeLayer.addEventListener('pointerover', function (e) {
    var g = e.target.closest('g.node');
    if (!g || !svg.classList.contains('small') || svg.classList.contains('dragging')) return;
    var r = g.getBoundingClientRect(), panel = svg.getBoundingClientRect();
    label.textContent = g.querySelector('title').textContent;
    label.style.left = Math.max(0, r.left - panel.left + r.width / 2 + 6) + 'px';
    label.style.top = Math.max(0, r.top - panel.top - 28) + 'px';
    label.hidden = false;
  });
  nodeLayer.addEventListener('pointerout', function () { label.hidden = true; });

  return {
    ready: function () { F = page.F; },
    draw: draw,
    run: run,
    finishMotion: finishMotion,
    regrow: regrow,
    exportSvg: exportSvg,
    onSettled: function (hook) { settledHook = hook; },
    moving: function () { return phases.length > 0; }
  };
}
