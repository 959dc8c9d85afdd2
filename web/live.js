// live.js: the page's start and its controls. The C++ (live.cpp and
// frames.cpp, compiled to WebAssembly and inlined above this script) keeps
// the operations and the trees and answers, for any step, the tree the step
// started from and its frames, cut from the module's own trace. The parts
// before this one each do one job: draw.js the drawing, camera.js the view,
// player.js the steps, their history and their playing, panels.js the words
// and the code, exercise.js the exercise mode. `page` is what they share.
var page = {
  MOVE_MS: 650,   // at speed 1
  GLIDE_MS: 420,
  CAMERA_MS: 380,
  live: null,     // the C++ functions, once the WebAssembly is ready
  look: null,     // the look's words, the code panel's functions, the record's fields
  F: null,        // a record's field indexes, by name
  view: null,     // the description of the step shown (live_view)
  $: function (id) { return document.getElementById(id); }
};
page.svg = page.$('tree');
page.box = page.$('ops');
// The words the buttons put in the box's grammar (live.cpp reads them).
var WORDS = { minimum: 'min', maximum: 'max', preorder: 'pre', inorder: 'in', postorder: 'post' };
var MODES = { insert: 0, remove: 1, search: 3, successor: 4, predecessor: 5 };
var EMPTY = {
  insert: 'Type keys to insert (or -d and a key to delete), then press Enter.',
  remove: 'Type a key to delete.',
  search: 'Type a key to search for.',
  successor: 'Type a key to find its successor, the next key up.',
  predecessor: 'Type a key to find its predecessor, the next key down.'
};
var message = page.$('message');
var speed = page.$('speed');
var still = page.$('still');

page.say = function (text, isInfo) {
  message.textContent = '';
  if (text) message.appendChild(document.createElement('span')).textContent = text;
  message.className = isInfo ? 'info' : '';
};
page.animated = function () { return !still.checked; };
page.pace = function () { return Number(speed.value); };
// The word a reading stopped at, as live_read echoes it (quoted when it
// holds more than plain characters, and cut), with its length when cut.
page.echo = function (read) {
  return read.word + (read.length > 40 ? ' (' + read.length.toLocaleString('en') + ' characters)' : '');
};

page.drawing = Drawing(page);
page.camera = Camera(page);
page.panels = Panels(page);
page.player = Player(page);
page.exercise = Exercise(page);
page.drawing.onSettled(page.player.settled);
page.operate = page.player.operate;

function connect(module) {
  var read = module.cwrap('live_read', 'string', ['number', 'number', 'number', 'number']);
  var describe = module.cwrap('live_view', 'string', ['number']);
  return {
    // The box's text (mode 0 as typed, others read its keys as MODES says)
    // or the address's (2), at most `room` operations of it.
    read: function (text, mode, room) {
      var size = module.lengthBytesUTF8(text) + 1;
      var at = module._malloc(size);
      module.stringToUTF8(text, at, size);
      try { return JSON.parse(read(at, size - 1, mode, room)); } finally { module._free(at); }
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

// The box's words, read as the button pressed says; what could not be made
// stays in the box.
function submit(kind) {
  if (!page.live) return;
  var text = page.box.value;
  if (text.trim() === '') { page.say(EMPTY[kind]); return; }
  var read = page.live.read(text, MODES[kind], page.player.room());
  if (read.error) {
    page.say((read.word ? page.echo(read) + ': ' : '') + read.error +
      (read.error.slice(-1) === '.' ? '' : '; nothing was changed.'));
    return;
  }
  var result = page.operate(read.ops);
  var rest = result.rest.map(function (op) { return op[2]; }).join(' ');
  page.box.value = (rest + ' ' + read.rest).trim();
  if (read.left && result.rest.length === 0) {
    page.say('The page keeps at most 2,000 steps; the other ' + read.left.toLocaleString('en') +
      ' operations are left in the box.', true);
  }
}

function query(kind) {
  if (!page.live) return;
  page.operate(page.live.read(WORDS[kind], 0, page.player.room()).ops);
}

function buildCount() {
  var n = Math.floor(Number(page.$('count').value));
  return n >= 1 ? Math.min(n, page.player.NODE_LIMIT) : 1;
}

// n keys, each one more than the largest in the tree, up to the largest
// 32-bit key.
function sortedRun() {
  if (!page.live) return;
  var n = buildCount(), from = page.live.size() ? page.live.largest() + 1 : 1, keys = [];
  for (var k = 0; k < n && from + k <= 2147483647; k++) keys.push(from + k);
  if (keys.length === 0) {
    page.say('The largest key in the tree is 2147483647, the largest 32-bit key: a sorted run ' +
      'cannot go past it; nothing was changed.');
    return;
  }
  var said = 'A sorted run: ' + keys[0] + (keys.length > 1 ? ' to ' + keys[keys.length - 1] : '') + '.';
  if (keys.length < n) {
    said += ' It stopped at 2147483647, the largest 32-bit key: ' + keys.length + ' of ' + n + ' keys.';
  }
  page.operate(page.live.read(keys.join(' '), 0, page.player.room()).ops, said, 'a sorted run');
}

// n random keys; none of them already in the tree, nor twice, unless
// repeats are allowed.
function randomKeys() {
  if (!page.live) return;
  var n = buildCount(), repeats = page.$('repeats').checked;
  var range = Math.max(99, 3 * (n + page.live.size())), keys = [], taken = {};
  for (var tries = 0; keys.length < n && tries < 100 * n; tries++) {
    var key = 1 + Math.floor(Math.random() * range);
    if (!repeats && (taken[key] || page.live.count(key) > 0)) continue;
    taken[key] = true;
    keys.push(key);
  }
  page.operate(page.live.read(keys.join(' '), 0, page.player.room()).ops, 'Inserting ' +
    (keys.length > 12 ? keys.length + ' random keys' : keys.join(' ')) + '.', 'random keys');
}

function exportSvg() {
  var at = page.player.where();
  var state = page.player.stateAt(at.frame);
  var name = at.step < 0 ? 'empty' : 'step-' + (at.step + 1) + '-' + (at.frame + 1);
  var text = page.drawing.exportSvg(state, at.step < 0 ? 'the empty tree'
    : page.view.name + ', sub-step ' + (at.frame + 1));
  var link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([text], { type: 'image/svg+xml' }));
  link.download = 'avl-' + name + '.svg';
  document.body.appendChild(link);
  link.click();
  document.body.removeChild(link);
  setTimeout(function () { URL.revokeObjectURL(link.href); }, 1000);
  page.say('The drawing was saved as ' + link.download + '.', true);
}

// ---------------------------------------------------------- wiring --

page.box.addEventListener('keydown', function (e) {
  if (e.key === 'Enter') { e.preventDefault(); submit('insert'); }
});
page.$('insert').addEventListener('click', function () { submit('insert'); });
page.$('delete').addEventListener('click', function () { submit('remove'); });
page.$('search').addEventListener('click', function () { submit('search'); });
page.$('successor').addEventListener('click', function () { submit('successor'); });
page.$('predecessor').addEventListener('click', function () { submit('predecessor'); });
['minimum', 'maximum', 'preorder', 'inorder', 'postorder'].forEach(function (kind) {
  page.$(kind).addEventListener('click', function () { query(kind); });
});
page.$('sorted').addEventListener('click', sortedRun);
page.$('random').addEventListener('click', randomKeys);
page.$('undo').addEventListener('click', function () { page.player.undo(); });
page.$('redo').addEventListener('click', function () { page.player.redo(); });
page.$('reset').addEventListener('click', function () { page.player.reset(true); });
page.$('play').addEventListener('click', function () { page.player.togglePlay(); });
page.$('sub-prev').addEventListener('click', function () { page.player.subStep(-1); });
page.$('sub-next').addEventListener('click', function () { page.player.subStep(+1); });
page.$('prev-step').addEventListener('click', function () { page.player.wholeStep(-1); });
page.$('next-step').addEventListener('click', function () { page.player.wholeStep(+1); });
page.$('steps').addEventListener('click', function (e) {
  var button = e.target.closest('button');
  if (!button || !page.live) return;
  page.player.stop();
  page.player.show(Number(button.getAttribute('data-step')), 'last', 'step');
});
speed.addEventListener('input', function () {
  page.$('speed-value').textContent = speed.value + '\u00d7';
});
still.addEventListener('change', function () {
  if (still.checked) { page.drawing.finishMotion(); page.player.stop(); page.player.settled(); }
});
page.$('heights').addEventListener('change', function () {
  page.svg.classList.toggle('heights', page.$('heights').checked);
  var at = page.player.where();
  if (page.live) page.panels.describeFrame(page.player.stateAt(at.frame), at.step, at.frame,
    page.player.lastFrame(), at.count);
});
page.$('follow').addEventListener('change', function () {
  var at = page.player.where();
  if (page.$('follow').checked && page.live) page.player.show(at.step, at.frame, 'frame');
});
page.$('fit').addEventListener('click', function () { page.drawing.finishMotion(); page.camera.fit(); });
page.$('zoom-in').addEventListener('click', function () { page.camera.zoomBy(1.25); });
page.$('zoom-out').addEventListener('click', function () { page.camera.zoomBy(0.8); });
page.$('export').addEventListener('click', exportSvg);
page.$('print').addEventListener('click', function () { window.print(); });
window.addEventListener('beforeprint', function () { page.camera.print(true); });
window.addEventListener('afterprint', function () { page.camera.print(false); });

// The side panel: beside the tree, which narrows for it, but on a phone,
// where it lies over the tree; open at first only where the tree keeps
// room enough beside it.
var side = page.$('side');
var sideToggle = page.$('side-toggle');
var beside = window.matchMedia('(min-width: 40.01rem)');
function showSide(open) {
  side.hidden = !open;
  side.parentNode.classList.toggle('beside', open && beside.matches);
  sideToggle.setAttribute('aria-expanded', open ? 'true' : 'false');
  sideToggle.textContent = open ? 'Hide code' : 'Code';
  page.camera.resized();
  var at = page.player.where();
  if (page.live) page.player.show(at.step, at.frame, false);
}
sideToggle.addEventListener('click', function () { showSide(side.hidden); });
showSide(window.matchMedia('(min-width: 64.01rem)').matches);

// One menu open at a time; Escape or a click elsewhere closes it.
var menus = document.querySelectorAll('details.menu');
function closeMenus(except) {
  for (var i = 0; i < menus.length; i++) if (menus[i] !== except) menus[i].open = false;
}
for (var m = 0; m < menus.length; m++) {
  menus[m].addEventListener('toggle', function (e) { if (e.target.open) closeMenus(e.target); });
}
document.addEventListener('pointerdown', function (e) {
  if (!e.target.closest('details.menu')) closeMenus(null);
});
// A button in a menu does its work and closes it, so that the tree shows.
document.addEventListener('click', function (e) {
  var button = e.target.closest('.menu-body button');
  if (button) closeMenus(null);
});

// Drag to pan, two fingers to pinch, the wheel to zoom.
var pointers = {};
function pointerList() { return Object.keys(pointers).map(function (k) { return pointers[k]; }); }
page.svg.addEventListener('pointerdown', function (e) {
  if (e.button !== 0 && e.pointerType === 'mouse') return;
  page.svg.setPointerCapture(e.pointerId);
  pointers[e.pointerId] = { x: e.clientX, y: e.clientY };
  page.svg.classList.add('dragging');
});
page.svg.addEventListener('pointermove', function (e) {
  var p = pointers[e.pointerId];
  if (!p) return;
  var before = pointerList();
  var r = page.svg.getBoundingClientRect();
  page.drawing.finishMotion();
  if (before.length === 1) {
    page.camera.pan(e.clientX - p.x, e.clientY - p.y);
  } else if (before.length === 2) {
    var other = before[0] === p ? before[1] : before[0];
    var d0 = Math.hypot(p.x - other.x, p.y - other.y);
    var d1 = Math.hypot(e.clientX - other.x, e.clientY - other.y);
    if (d0 > 0) page.camera.zoomAt((e.clientX + other.x) / 2 - r.left, (e.clientY + other.y) / 2 - r.top, d1 / d0);
    page.camera.pan((e.clientX - p.x) / 2, (e.clientY - p.y) / 2);
  }
  p.x = e.clientX;
  p.y = e.clientY;
});
function release(e) {
  delete pointers[e.pointerId];
  if (pointerList().length === 0) page.svg.classList.remove('dragging');
}
page.svg.addEventListener('pointerup', release);
page.svg.addEventListener('pointercancel', release);
page.svg.addEventListener('wheel', function (e) {
  e.preventDefault();
  var r = page.svg.getBoundingClientRect();
  var delta = e.deltaY * (e.deltaMode === 1 ? 16 : e.deltaMode === 2 ? 400 : 1);
  page.drawing.finishMotion();
  page.camera.zoomAt(e.clientX - r.left, e.clientY - r.top, Math.exp(-delta * 0.0015));
}, { passive: false });
window.addEventListener('resize', function () {
  side.parentNode.classList.toggle('beside', !side.hidden && beside.matches);
  page.camera.resized();
  var at = page.player.where();
  if (page.live) page.player.show(at.step, at.frame, false);
});

// Space pauses and plays wherever the focus is, but in a box holding text,
// where it separates words; the arrows walk the frames wherever they move
// nothing else (a box holding text, a slider, a number).
document.addEventListener('keydown', function (e) {
  if (e.altKey || e.ctrlKey || e.metaKey || !page.live) return;
  var target = e.target;
  var typing = target.tagName === 'INPUT' && (target.type === 'text' || target.type === 'search') &&
    target.value.trim() !== '';
  var field = target.tagName === 'INPUT' && (target.type === 'range' || target.type === 'number');
  if (e.key === 'Escape') { closeMenus(null); return; }
  if (e.key === ' ' && !typing) {
    e.preventDefault();
    if (target === page.box) page.box.value = '';
    page.player.togglePlay();
  } else if ((e.key === 'ArrowLeft' || e.key === 'ArrowRight') && !typing && !field) {
    var by = e.key === 'ArrowLeft' ? -1 : +1;
    if (e.shiftKey) page.player.wholeStep(by); else page.player.subStep(by);
    e.preventDefault();
  } else if ((e.key === '+' || e.key === '=') && !typing && target !== page.box) {
    page.camera.zoomBy(1.25);
  } else if (e.key === '-' && !typing && target !== page.box) {
    page.camera.zoomBy(0.8);
  }
});
window.addEventListener('hashchange', function () { if (page.live) page.player.load(); });
if (window.matchMedia && matchMedia('(prefers-reduced-motion: reduce)').matches) {
  still.checked = true;
}

var controls = document.querySelectorAll('button, input, select');
for (var c = 0; c < controls.length; c++) controls[c].disabled = true;
page.say('Loading the module\u2026', true);
page.svg.setAttribute('data-state', 'still');
createAvlLive().then(function (module) {
  page.live = connect(module);
  page.look = page.live.look();
  page.F = {};
  page.look.record.forEach(function (name, i) { page.F[name] = i; });
  page.drawing.ready();
  page.$('legend').insertAdjacentHTML('afterbegin', page.look.legend);
  for (var i = 0; i < controls.length; i++) controls[i].disabled = false;
  page.say('', true);
  page.camera.fitWhole();
  page.player.load();
  if (page.player.steps().length === 0) page.player.show(-1, -1, false);
  page.box.focus();
  document.body.setAttribute('data-ready', 'yes');
}, function (error) {
  page.say('The WebAssembly module did not load: ' + error);
});
