// The live page's script: reads the box, calls the C++ (live.cpp, compiled
// to WebAssembly and inlined above this script) once per operation, keeps the
// steps it answered, and draws one tree at a time, gliding every node from
// where it stood to where it stands after the step. Nodes are followed by the
// id the C++ gives each allocation, so repeated keys move as the nodes they
// are, and a key that moves to another node (a deletion's predecessor) is
// not taken for a node that moved.
(function () {
  'use strict';

  // The most nodes the page keeps: a step then still takes a frame or two.
  var LIMIT = 500;
  var GLIDE_MS = 700; // at speed 1
  var KEY_MIN = -2147483648;
  var KEY_MAX = 2147483647;
  var SVG = 'http://www.w3.org/2000/svg';
  // As on avl_dot --html's page.
  var FILLS = { '1': '#cfe3ff', '0': '#ffffff', '-1': '#ffdfb8' };
  var LEANS = { '1': 'lean-left', '0': 'balanced', '-1': 'lean-right' };
  var MARKS = ['', ' added', ' moved', ' rekeyed'];
  var NOTES = ['', '; added by this step', '; moved by this step',
    "; took its in-order predecessor's key in this step"];
  var EMPTY = { nodes: [], size: 0, height: 0, width: 200, drawn: 60, rx: 19, ry: 21,
    caption: '', recursion: [], applied: true };

  function $(id) { return document.getElementById(id); }
  var box = $('ops');
  var message = $('message');
  var caption = $('caption');
  var stats = $('stats');
  var svg = $('tree');
  var edgeLayer = svg.querySelector('.edges');
  var nodeLayer = svg.querySelector('.nodes');
  var recursion = $('recursion');
  var recursionTitle = $('recursion-title');
  var list = $('steps');
  var speed = $('speed');
  var still = $('still');
  var buttons = ['insert', 'delete', 'random', 'undo', 'reset'].map($);

  var live = null;       // the C++ functions, once the WebAssembly is ready
  var steps = [];        // {op: {remove, key}, tree: the C++ answer}
  var current = -1;      // the step shown; -1 is the empty tree before the first
  var shown = EMPTY;     // the tree drawn (the target of a glide under way)
  var queue = [];        // glides still to play: {from, to, step}
  var glide = null;      // the glide under way: {from, to, start, ms}
  var nodeEls = {};      // id -> {g, title, ellipse, key, balance}
  var edgeEls = {};      // child id -> line
  var written = '';      // the address this page last wrote

  // ---------------------------------------------------------- reading --

  // A whole key as avl_dot reads it: an optional sign and digits, 32 bits.
  function parseKey(text) {
    if (!/^[+-]?[0-9]+$/.test(text)) return { error: 'not a 32-bit key: ' + text };
    var value = Number(text);
    if (value < KEY_MIN || value > KEY_MAX) {
      return { error: 'out of range for a 32-bit key: ' + text };
    }
    return { key: value === 0 ? 0 : value };
  }

  // The box in avl_dot's syntax: KEY inserts, -d KEY deletes. Read whole
  // before anything runs, so a typing error changes nothing.
  function parseBox(text) {
    var words = text.trim().split(/\s+/).filter(function (w) { return w !== ''; });
    if (words.length === 0) return { error: 'Type a key to insert, or -d and a key to delete.' };
    var ops = [];
    for (var i = 0; i < words.length; i++) {
      var word = words[i];
      var remove = false;
      if (word === '-d') {
        if (i + 1 === words.length) return { error: '-d needs a key' };
        remove = true;
        word = words[++i];
      } else if (word[0] === '-' && !/^-[0-9]/.test(word)) {
        return { error: 'unknown option: ' + word };
      }
      var read = parseKey(word);
      if (read.error) return read;
      ops.push({ remove: remove, key: read.key });
    }
    return { ops: ops };
  }

  // The address: #ops=11,12,13,-12. A leading '-' deletes (--5 deletes -5),
  // anything else inserts (+-5 inserts -5).
  function encode(op) {
    return (op.remove ? '-' : op.key < 0 ? '+' : '') + op.key;
  }

  function parseAddress(hash) {
    var text = decodeURIComponent(hash.replace(/^#ops=/, ''));
    if (text === '') return { ops: [] };
    var ops = [];
    var words = text.split(',');
    for (var i = 0; i < words.length; i++) {
      var remove = words[i][0] === '-';
      var keyText = remove ? words[i].slice(1) : words[i].replace(/^\+/, '');
      var read = /^-?[0-9]+$/.test(keyText) ? parseKey(keyText) : { error: true };
      if (read.error) return { error: words[i] };
      ops.push({ remove: remove, key: read.key });
    }
    return { ops: ops };
  }

  function say(text, isInfo) {
    message.textContent = text;
    message.className = isInfo ? 'info' : '';
  }

  // ---------------------------------------------------------- drawing --

  function element(name, attributes, parent) {
    var e = document.createElementNS(SVG, name);
    for (var a in attributes) e.setAttribute(a, attributes[a]);
    if (parent) parent.appendChild(e);
    return e;
  }

  function balanceText(b) { return (b > 0 ? '+' : '') + b; }

  // The elements of the target tree, with its keys, balances and marks;
  // nodes that the step released stay, fading, until the glide ends.
  function setUp(from, to) {
    var wanted = {};
    var i, n, id;
    for (i = 0; i < to.nodes.length; i++) {
      n = to.nodes[i];
      id = n[0];
      wanted[id] = true;
      var el = nodeEls[id];
      if (!el) {
        var g = element('g', {}, nodeLayer);
        el = nodeEls[id] = {
          g: g,
          title: element('title', {}, g),
          ellipse: element('ellipse', { cx: 0, cy: 0, 'stroke-width': '1.5' }, g),
          key: element('text', { x: 0, y: -1, 'font-size': 14, 'font-weight': 'bold' }, g),
          balance: element('text', { x: 0, y: 13, 'font-size': 11, fill: '#555555' }, g)
        };
      }
      // Most nodes do not change in a step: touch only what did.
      var mark = n[6];
      var look = n[1] + ' ' + n[2] + ' ' + mark + ' ' + to.rx;
      if (el.look !== look) {
        el.look = look;
        el.g.setAttribute('class', 'node ' + LEANS[n[2]] + MARKS[mark]);
        el.g.setAttribute('data-key', n[1]);
        el.g.setAttribute('data-balance', n[2]);
        el.title.textContent = n[1] + ', balance factor ' + balanceText(n[2]) + NOTES[mark];
        el.ellipse.setAttribute('rx', to.rx);
        el.ellipse.setAttribute('ry', to.ry);
        el.ellipse.setAttribute('fill', FILLS[n[2]]);
        el.ellipse.setAttribute('stroke', mark ? '#d1242f' : '#444444');
        el.ellipse.setAttribute('stroke-width', mark ? '3.5' : '1.5');
        el.key.textContent = n[1];
        el.balance.textContent = balanceText(n[2]);
      }
      if (n[5] >= 0 && !edgeEls[id]) edgeEls[id] = element('line', { 'class': 'edge' }, edgeLayer);
      if (n[5] < 0 && edgeEls[id]) { edgeLayer.removeChild(edgeEls[id]); delete edgeEls[id]; }
    }
    for (id in nodeEls) {
      if (!wanted[id]) {
        nodeEls[id].g.setAttribute('class', 'gone');
        nodeEls[id].look = '';
      }
    }
    for (id in edgeEls) {
      if (!wanted[id]) { edgeLayer.removeChild(edgeEls[id]); delete edgeEls[id]; }
    }
    var width = Math.max(from.width, to.width);
    var height = Math.max(from.drawn, to.drawn);
    svg.setAttribute('width', width);
    svg.setAttribute('height', height);
    svg.setAttribute('viewBox', '0 0 ' + width + ' ' + height);
  }

  function positions(tree) {
    var at = {};
    for (var i = 0; i < tree.nodes.length; i++) {
      at[tree.nodes[i][0]] = [tree.nodes[i][3], tree.nodes[i][4]];
    }
    return at;
  }

  // Places everything at fraction t (0..1) of the glide from `from` to `to`.
  function place(from, to, t) {
    var ease = t < 0.5 ? 2 * t * t : 1 - 2 * (1 - t) * (1 - t);
    var start = positions(from);
    var at = {};
    var i, n, id;
    for (i = 0; i < to.nodes.length; i++) {
      n = to.nodes[i];
      var a = start[n[0]] || [n[3], n[4]];
      at[n[0]] = [a[0] + (n[3] - a[0]) * ease, a[1] + (n[4] - a[1]) * ease];
      var el = nodeEls[n[0]];
      var transform = 'translate(' + at[n[0]][0].toFixed(1) + ' ' + at[n[0]][1].toFixed(1) + ')';
      if (el.transform !== transform) {
        el.transform = transform;
        el.g.setAttribute('transform', transform);
      }
      var opacity = !start[n[0]] && t < 1 ? ease.toFixed(2) : '';
      if (el.opacity !== opacity) {
        el.opacity = opacity;
        if (opacity) el.g.setAttribute('opacity', opacity);
        else el.g.removeAttribute('opacity');
      }
    }
    for (i = 0; i < to.nodes.length; i++) {
      n = to.nodes[i];
      if (n[5] < 0) continue;
      var line = edgeEls[n[0]];
      var ends = [at[n[5]][0].toFixed(1), at[n[5]][1].toFixed(1), at[n[0]][0].toFixed(1),
        at[n[0]][1].toFixed(1)];
      if (line.ends !== ends.join()) {
        line.ends = ends.join();
        line.setAttribute('x1', ends[0]);
        line.setAttribute('y1', ends[1]);
        line.setAttribute('x2', ends[2]);
        line.setAttribute('y2', ends[3]);
      }
    }
    for (id in nodeEls) {
      if (at[id]) continue;
      if (t >= 1 || !start[id]) {
        nodeLayer.removeChild(nodeEls[id].g);
        delete nodeEls[id];
      } else {
        nodeEls[id].g.setAttribute('transform', 'translate(' + start[id][0] + ' ' + start[id][1] + ')');
        nodeEls[id].g.setAttribute('opacity', (1 - ease).toFixed(2));
        nodeEls[id].transform = nodeEls[id].opacity = null;
      }
    }
    if (t >= 1) {
      svg.setAttribute('width', to.width);
      svg.setAttribute('height', to.drawn);
      svg.setAttribute('viewBox', '0 0 ' + to.width + ' ' + to.drawn);
    }
  }

  // The words around the drawing: caption, size, the recursion's lines.
  function describe(step) {
    var tree = step < 0 ? EMPTY : steps[step].tree;
    caption.textContent = step < 0 ? 'The tree is empty.' : tree.caption;
    stats.textContent = step < 0 ? '' : 'Step ' + (step + 1) + ' of ' + steps.length +
      '; height ' + tree.height + ', size ' + tree.size;
    recursion.textContent = '';
    if (step >= 0) {
      recursionTitle.textContent = (steps[step].op.remove ? 'delete_rotate' : 'insert_rotate') +
        ', call by call on its way back up';
      for (var i = 0; i < tree.recursion.length; i++) {
        var li = document.createElement('li');
        li.textContent = tree.recursion[i];
        recursion.appendChild(li);
      }
    } else {
      recursionTitle.textContent = 'The recursion on its way back up';
    }
    svg.setAttribute('aria-label', step < 0 ? 'the empty tree'
      : 'the tree after step ' + (step + 1) + ', ' + tree.size + ' nodes');
  }

  // Scrolls a wide drawing sideways to the first node the step marked.
  function reveal() {
    var mark = nodeLayer.querySelector('.added, .moved, .rekeyed');
    var drawing = svg.parentNode;
    if (!mark || drawing.scrollWidth <= drawing.clientWidth) return;
    var box = drawing.getBoundingClientRect(), at = mark.getBoundingClientRect();
    drawing.scrollLeft += at.left + at.width / 2 - box.left - box.width / 2;
  }

  function glideMs() {
    return still.checked ? 0 : GLIDE_MS / Number(speed.value);
  }

  function next() {
    if (queue.length === 0) {
      glide = null;
      svg.setAttribute('data-state', 'still');
      return;
    }
    var item = queue.shift();
    describe(item.step);
    setUp(item.from, item.to);
    var ms = glideMs();
    if (ms === 0) {
      place(item.from, item.to, 1);
      reveal();
      next();
      return;
    }
    svg.setAttribute('data-state', 'moving');
    glide = { from: item.from, to: item.to, start: performance.now(), ms: ms };
    place(item.from, item.to, 0);
    requestAnimationFrame(tick);
  }

  function tick(now) {
    if (!glide) return;
    var t = Math.min(1, Math.max(0, (now - glide.start) / glide.ms));
    place(glide.from, glide.to, t);
    if (t < 1) {
      requestAnimationFrame(tick);
    } else {
      glide = null;
      reveal();
      next();
    }
  }

  // Ends every glide at once, on the last tree queued.
  function finish() {
    if (!glide && queue.length === 0) return;
    var last = queue.length ? queue[queue.length - 1] : null;
    var from = glide ? glide.to : shown;
    queue = [];
    glide = null;
    if (last) {
      describe(last.step);
      setUp(from, last.to);
      place(from, last.to, 1);
    } else {
      place(from, from, 1);
    }
    svg.setAttribute('data-state', 'still');
  }

  // Shows step `index`, gliding through `through` (the steps in between, in
  // order) when they were just made, or at once when `instant`.
  function view(index, through, instant) {
    finish();
    var targets = through || [index];
    for (var i = 0; i < targets.length; i++) {
      var to = targets[i] < 0 ? EMPTY : steps[targets[i]].tree;
      queue.push({ from: shown, to: to, step: targets[i] });
      shown = to;
    }
    current = index;
    markList();
    next();
    if (instant) finish();
  }

  // ------------------------------------------------------------ steps --

  function addToList(i) {
    var li = document.createElement('li');
    var button = document.createElement('button');
    button.type = 'button';
    var op = steps[i].op;
    button.textContent = (i + 1) + '. ' + (op.remove ? 'delete ' : 'insert ') + op.key;
    button.addEventListener('click', function () { view(i); });
    li.appendChild(button);
    list.appendChild(li);
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
    }
    marked = current;
    if (current >= 0 && items[current]) {
      var at = items[current].getBoundingClientRect(), shelf = list.getBoundingClientRect();
      if (at.top < shelf.top || at.bottom > shelf.bottom) {
        list.scrollTop += at.top - shelf.top - shelf.height / 2 + at.height / 2;
      }
    }
  }

  // Drops the steps after `count`, replaying the rest in the C++.
  function keep(count) {
    finish();
    live.keep(count);
    steps.length = count;
    while (list.children.length > count) list.removeChild(list.lastChild);
  }

  function writeAddress() {
    written = steps.length ? '#ops=' + steps.map(function (s) { return encode(s.op); }).join(',') : '';
    try {
      history.replaceState(null, '', written || location.pathname + location.search);
    } catch (e) {
      location.replace(written || '#');
    }
  }

  // Runs the operations after the step shown (the steps after it are
  // dropped) and shows the last; returns a note for the message line.
  function perform(ops, animate) {
    var notes = [];
    if (current < steps.length - 1) {
      notes.push('Steps ' + (current + 2) + ' to ' + steps.length + ' were dropped: the new ' +
        'steps follow step ' + (current + 1) + '.');
      keep(current + 1);
    }
    var first = steps.length;
    for (var i = 0; i < ops.length; i++) {
      var size = steps.length ? steps[steps.length - 1].tree.size : 0;
      if (!ops[i].remove && size >= LIMIT) {
        notes.push('The tree holds ' + LIMIT + ' nodes, the most this page keeps so that every ' +
          'step stays quick; ' + (ops.length - i) + ' operations were not applied.');
        break;
      }
      var tree = JSON.parse(live.apply(ops[i].remove ? 1 : 0, ops[i].key));
      if (tree.error) {
        notes.push('The module ran out of memory; the last operations were not applied.');
        break;
      }
      steps.push({ op: ops[i], tree: tree });
      addToList(steps.length - 1);
      if (!tree.applied) {
        notes.push(ops[i].key + ' is not in the tree: that step says so and changes nothing.');
      }
    }
    var made = [];
    for (var s = first; s < steps.length; s++) made.push(s);
    if (made.length) {
      view(steps.length - 1, made, !animate);
      writeAddress();
    }
    return { notes: notes, applied: i };
  }

  function submit(asDeletes) {
    if (!live) return;
    var read = parseBox(box.value);
    if (!read.error && asDeletes) {
      if (read.ops.some(function (op) { return op.remove; })) {
        read = { error: 'Delete deletes the keys in the box; type them without -d.' };
      } else {
        read.ops.forEach(function (op) { op.remove = true; });
      }
    }
    if (read.error) {
      say(read.error + (read.error.slice(-1) === '.' ? '' : '; nothing was changed.'));
      return;
    }
    var result = perform(read.ops, true);
    var rest = read.ops.slice(result.applied);
    box.value = rest.map(function (op) { return (op.remove ? '-d ' : '') + op.key; }).join(' ');
    say(result.notes.join(' '), true);
  }

  function undo() {
    if (!live) return;
    if (steps.length === 0) { say('Nothing to undo.', true); return; }
    keep(steps.length - 1);
    view(steps.length - 1);
    writeAddress();
    say('', true);
  }

  function reset() {
    if (!live) return;
    keep(0);
    view(-1);
    writeAddress();
    say('', true);
  }

  function randomKeys() {
    if (!live) return;
    var ops = [];
    for (var i = 0; i < 5; i++) ops.push({ remove: false, key: 1 + Math.floor(Math.random() * 99) });
    var result = perform(ops, true);
    say(['Inserted ' + ops.slice(0, result.applied).map(function (o) { return o.key; }).join(' ') + '.']
      .concat(result.notes).join(' '), true);
  }

  // Builds the steps the address names, without gliding.
  function load() {
    if (location.hash === written || (location.hash === '' && written === '')) return;
    var read = /^#ops=/.test(location.hash) ? parseAddress(location.hash) : { ops: [] };
    keep(0);
    current = -1;
    shown = EMPTY;
    if (read.error) {
      view(-1);
      say('The address holds "' + read.error + '", which is not an operation (#ops=11,12,-12 ' +
        'inserts 11 and 12, then deletes 12); nothing was built from it.');
      return;
    }
    if (read.ops.length === 0) { view(-1); return; }
    var result = perform(read.ops, false);
    say(result.notes.join(' '), true);
  }

  // ---------------------------------------------------------- wiring --

  box.addEventListener('keydown', function (e) {
    if (e.key === 'Enter') { e.preventDefault(); submit(false); }
  });
  buttons[0].addEventListener('click', function () { submit(false); });
  buttons[1].addEventListener('click', function () { submit(true); });
  buttons[2].addEventListener('click', randomKeys);
  buttons[3].addEventListener('click', undo);
  buttons[4].addEventListener('click', reset);
  speed.addEventListener('input', function () {
    $('speed-value').textContent = speed.value + '\u00d7';
  });
  still.addEventListener('change', function () { if (still.checked) finish(); });
  document.addEventListener('keydown', function (e) {
    if (e.altKey || e.ctrlKey || e.metaKey || !live) return;
    var typing = e.target === box && box.value !== '';
    if (typing || e.target === speed) return;
    if (e.key === 'ArrowLeft' && current >= 0) { view(current - 1); e.preventDefault(); }
    if (e.key === 'ArrowRight' && current < steps.length - 1) { view(current + 1); e.preventDefault(); }
  });
  window.addEventListener('hashchange', load);
  if (window.matchMedia && matchMedia('(prefers-reduced-motion: reduce)').matches) {
    still.checked = true;
  }

  buttons.forEach(function (b) { b.disabled = true; });
  box.disabled = true;
  say('Loading the module\u2026', true);
  svg.setAttribute('data-state', 'still');
  createAvlLive().then(function (module) {
    live = {
      apply: module.cwrap('live_apply', 'string', ['number', 'number']),
      keep: module.cwrap('live_keep', 'number', ['number'])
    };
    buttons.forEach(function (b) { b.disabled = false; });
    box.disabled = false;
    say('', true);
    written = null;
    load();
    if (steps.length === 0) describe(-1);
    document.body.setAttribute('data-ready', 'yes');
  }, function (error) {
    say('The WebAssembly module did not load: ' + error);
  });
})();
