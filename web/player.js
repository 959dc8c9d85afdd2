// player.js: the steps, their history and their playing. The C++ keeps the
// operations and answers, for any step, the tree it started from and its
// frames; this keeps the list of steps, plays the frames (a timer between
// two frames while playing, the arrows and the buttons by hand) and keeps
// every list of steps the user made: Undo and Redo move through them, so no
// step is ever lost (typing at an earlier step branches, and Undo brings the
// steps after it back).
//
// The page keeps at most NODE_LIMIT nodes and STEP_LIMIT steps: describing a
// step after the last one described costs that step alone, going back costs a
// replay of the steps before it, which the bound keeps to a few milliseconds.
function Player(page) {
  var NODE_LIMIT = 500;
  var STEP_LIMIT = 2000;
  // A batch of operations (typed at once, built, loaded) plays every sub-step
  // of each of up to PLAY_ALL steps; up to GLIDE_EACH steps, all but the last
  // glide once each; a longer one goes straight to its last step. The last
  // step always plays its sub-steps.
  var PLAY_ALL = 10;
  var GLIDE_EACH = 60;
  var HOLD_MS = 750;
  var KIND_INSERT = 0;
  var KIND_REMOVE = 1;

  var steps = [];      // {kind, key, word, item, name, applied}
  var current = -1;    // the step shown; -1 is the empty tree before the first
  var frameAt = -1;    // its frame shown
  var described = null;  // the step whose description page.view holds
  var paused = false;  // the user paused: new steps wait for Play
  var until = -1;      // the step whose last frame playing stops at
  var glideOnly = {};  // steps of a long batch that glide once, by index
  var timer = 0;       // the pause between two frames while playing
  var versions = [{ steps: [], current: -1, what: '' }];  // every list of steps made
  var version = 0;     // the one shown
  var written = null;  // the address this page last wrote

  // ------------------------------------------------------------ frames --

  // The tree of frame `f` of the step described: the tree it started from
  // with the changes of frames 0 to f applied.
  function stateAt(f) {
    var view = page.view, F = page.F;
    var state = { nodes: {}, w: 200, h: 60, order: {}, frame: null };
    if (!view) return state;
    var i, k, nodes = view.start.nodes;
    for (i = 0; i < nodes.length; i++) state.nodes[nodes[i][F.id]] = nodes[i];
    state.w = view.start.w;
    state.h = view.start.h;
    for (i = 0; i <= f; i++) {
      var fr = view.frames[i];
      for (k = 0; k < fr.nodes.length; k++) state.nodes[fr.nodes[k][F.id]] = fr.nodes[k];
      for (k = 0; k < fr.gone.length; k++) delete state.nodes[fr.gone[k]];
      if (fr.order) for (k = 0; k < fr.order.length; k++) state.order[fr.order[k][0]] = fr.order[k][1];
      state.w = fr.w;
      state.h = fr.h;
    }
    state.frame = f >= 0 ? view.frames[f] : null;
    return state;
  }

  function lastFrame() { return page.view ? page.view.frames.length - 1 : -1; }

  // Shows frame `f` (a number, or 'last') of step `s`, gliding there when
  // `glide` ('frame' or 'step'), at once otherwise; frame -1 is the tree the
  // step starts from.
  function show(s, f, glide) {
    page.drawing.finishMotion();
    clearTimeout(timer);
    if (described !== s) {
      page.view = s < 0 ? null : page.live.view(s);
      if (page.view && page.view.error) {
        page.say('The module could not describe step ' + (s + 1) + ': ' + page.view.error);
        page.view = null;
        s = -1;
      }
      current = s;
      described = s;
      if (page.view && page.view.check) page.say(page.view.check);
      page.panels.markList(current);
    }
    var last = lastFrame();
    frameAt = f === 'last' ? last : Math.max(Math.min(f, last), -1);
    var state = stateAt(frameAt);
    page.panels.describeFrame(state, current, frameAt, last, steps.length);
    page.exercise.hide();
    page.drawing.run(page.drawing.draw(state, glide));
    showPlaying();
  }

  function playing() {
    if (paused || !page.animated() || current > until) return false;
    return current < until || frameAt < lastFrame();
  }

  function showPlaying() {
    var on = playing();
    var button = page.$('play');
    button.textContent = on ? 'Pause' : 'Play';
    button.setAttribute('data-playing', on ? 'yes' : 'no');
    button.disabled = steps.length === 0;
    page.$('sub-prev').disabled = current < 0 && frameAt < 0;
    page.$('prev-step').disabled = current < 0;
    page.$('next-step').disabled = current >= steps.length - 1;
    page.$('sub-next').disabled = current >= steps.length - 1 && frameAt >= lastFrame();
    page.$('undo').disabled = version === 0;
    page.$('redo').disabled = version === versions.length - 1;
  }

  // A frame has been drawn: wait, then go on while playing.
  function settled() {
    showPlaying();
    if (!playing()) {
      page.svg.setAttribute('data-state', 'still');
      return;
    }
    page.svg.setAttribute('data-state', 'playing');
    var fr = page.view && page.view.frames[frameAt];
    var ms = (glideOnly[current] ? page.GLIDE_MS / 2 : HOLD_MS) / page.pace();
    if (fr && fr.quick) ms /= 4;
    timer = setTimeout(advance, ms);
  }

  // The next frame, unless the exercise holds it back to ask first.
  function forward(s, f, glide) {
    var view = s === current ? page.view : null;
    var frame = view ? view.frames[f] : null;
    if (frame && page.exercise.gate(s, f, frame, function () { show(s, f, glide); })) {
      page.svg.setAttribute('data-state', 'still');
      return;
    }
    show(s, f, glide);
  }

  function advance() {
    if (!playing()) { settled(); return; }
    if (frameAt < lastFrame()) forward(current, frameAt + 1, 'frame');
    else if (glideOnly[current + 1]) show(current + 1, 'last', 'step');
    else { show(current + 1, -1, false); forward(current, 0, 'frame'); }
  }

  // Plays steps `first` to `last`, just made (see PLAY_ALL).
  function playBatch(first, last) {
    glideOnly = {};
    until = last;
    if (!page.animated()) { show(last, 'last', false); return; }
    var count = last - first + 1;
    if (count > GLIDE_EACH) first = last;
    for (var i = first; i < last && count > PLAY_ALL; i++) glideOnly[i] = true;
    if (glideOnly[first]) { show(first, 'last', paused ? 'frame' : 'step'); return; }
    show(first, -1, false);
    forward(first, 0, 'frame');
  }

  // Stops playing where it is (the user took over).
  function stop() {
    until = -1;
    glideOnly = {};
  }

  function togglePlay() {
    if (steps.length === 0) return;
    if (playing()) {
      paused = true;
      stop();
      page.drawing.finishMotion();
      clearTimeout(timer);
      settled();
      return;
    }
    paused = false;
    if (current >= steps.length - 1 && frameAt >= lastFrame()) {
      until = current;  // the end: play the step shown again
      show(current, -1, false);
      forward(current, 0, 'frame');
      return;
    }
    until = steps.length - 1;
    advance();
  }

  function subStep(by) {
    stop();
    if (by < 0) {
      if (frameAt > 0) show(current, frameAt - 1, 'frame');
      else if (current >= 0) show(current - 1, 'last', 'frame');
    } else if (frameAt < lastFrame()) {
      forward(current, frameAt + 1, 'frame');
    } else if (current < steps.length - 1) {
      show(current + 1, -1, false);
      forward(current, 0, 'frame');
    }
  }

  function wholeStep(by) {
    stop();
    var to = Math.max(-1, Math.min(steps.length - 1, current + by));
    if (to !== current || frameAt !== lastFrame()) show(to, 'last', 'step');
  }

  // ------------------------------------------------------------ steps --

  // Drops the steps from `count` on, in the C++ and in the list.
  function keep(count) {
    page.live.keep(count);
    steps.length = count;
    page.panels.truncateList(count);
    if (described !== null && described >= count) described = null;
  }

  // Appends one operation; false when the module ran out of memory.
  function append(op) {
    var result = page.live.append(op[0], op[1]);
    if (result < 0) return false;
    steps.push({ kind: op[0], key: op[1], word: op[2], item: op[3], name: op[4], applied: result === 1 });
    return true;
  }

  // Makes `list` the steps: keeps what they share, replays the rest.
  function become(list) {
    var same = 0;
    while (same < list.length && same < steps.length && list[same] === steps[same]) same++;
    keep(same);
    var first = steps.length;
    for (var i = same; i < list.length; i++) {
      var s = list[i];
      append([s.kind, s.key, s.word, s.item, s.name]);
    }
    page.panels.appendList(steps, first);
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

  // Keeps the steps as they are now as a version of the history, named by
  // what made it.
  function commit(what) {
    versions.length = version + 1;
    versions.push({ steps: steps.slice(), current: current, what: what });
    version += 1;
    writeAddress();
  }

  function count(n, one, many) { return n.toLocaleString('en') + ' ' + (n === 1 ? one : many); }

  // Appends the operations after the step shown (the steps after it go to
  // the history), within the page's bounds. Returns the steps made, the
  // operations left and the notes for the message line; when none could be
  // made, nothing has changed.
  function perform(ops, what) {
    var notes = [];
    var before = steps.slice();
    var branch = current < steps.length - 1;
    if (branch) keep(current + 1);
    var first = steps.length, absent = [], i;
    for (i = 0; i < ops.length; i++) {
      var op = ops[i];
      var left = ops.length - i;
      if (steps.length >= STEP_LIMIT) {
        notes.push('The page keeps at most ' + STEP_LIMIT.toLocaleString('en') + ' steps, so that ' +
          'every step stays quick; the other ' + count(left, 'operation is', 'operations are') + ' left in the box.');
        break;
      }
      if (op[0] === KIND_INSERT && page.live.size() >= NODE_LIMIT) {
        notes.push('The tree holds ' + NODE_LIMIT + ' nodes, the most this page keeps so that ' +
          'every step stays quick; the other ' + count(left, 'operation is', 'operations are') + ' left in the box.');
        break;
      }
      if (!append(op)) {
        notes.push('The module ran out of memory; the other ' + count(left, 'operation is', 'operations are') + ' left in the box.');
        break;
      }
      if (op[0] === KIND_REMOVE && !steps[steps.length - 1].applied) absent.push(op[1]);
    }
    var made = steps.length - first;
    if (made === 0) {
      if (branch) become(before);
      if (notes.length) notes[0] = notes[0].replace(/the other .*/, 'nothing was changed.');
      return { first: first, last: first - 1, notes: notes, rest: ops.slice(i) };
    }
    if (branch) {
      notes.unshift('The new steps follow step ' + first + '; the ' + count(before.length - first, 'step', 'steps') +
        ' after it went to the history: Undo brings them back.');
    }
    if (absent.length === 1) {
      notes.push(absent[0] + ' is not in the tree: that step says so and changes nothing.');
    } else if (absent.length > 1) {
      notes.push(absent.length + ' keys were not in the tree (' + absent.slice(0, 5).join(', ') +
        (absent.length > 5 ? ', \u2026' : '') + '): those steps change nothing.');
    }
    page.panels.appendList(steps, first);
    current = steps.length - 1;
    commit(what || (made === 1 ? steps[first].name : count(made, 'step', 'steps')));
    return { first: first, last: steps.length - 1, notes: notes, rest: ops.slice(i) };
  }

  // Runs operations the user asked for and plays them.
  function operate(ops, announce, what) {
    if (playing()) show(steps.length - 1, 'last', false);  // a batch under way ends first
    page.drawing.finishMotion();
    var shown = current;
    var result = perform(ops, what);
    if (result.last >= result.first) {
      current = shown;
      playBatch(result.first, result.last);
    }
    page.say((announce ? [announce] : []).concat(result.notes).join(' '), true);
    return result;
  }

  // Brings version `to` of the history back.
  function go(to) {
    stop();
    page.drawing.finishMotion();
    var said = to < version ? 'Undid: ' + versions[version].what : 'Redid: ' + versions[to].what;
    version = to;
    become(versions[to].steps);
    described = null;
    show(Math.min(versions[to].current, steps.length - 1), 'last', 'step');
    writeAddress();
    page.say(said + '.', true);
  }

  function undo() {
    if (version === 0) { page.say('Nothing to undo.', true); return; }
    go(version - 1);
  }

  function redo() {
    if (version === versions.length - 1) { page.say('Nothing to redo.', true); return; }
    go(version + 1);
  }

  // Empties the tree; Undo brings it back.
  function reset(announce) {
    stop();
    page.drawing.finishMotion();
    if (steps.length === 0) { if (announce) page.say('The tree is already empty.', true); return; }
    var n = steps.length;
    keep(0);
    described = null;
    current = -1;
    commit('reset');
    show(-1, -1, 'step');
    if (announce) page.say('The tree is empty again; Undo brings its ' + count(n, 'step', 'steps') + ' back.', true);
  }

  // Builds the steps the address names (#ops=11,12,-12), showing the last.
  function load() {
    if (location.hash === written) return;
    stop();
    page.drawing.finishMotion();
    written = location.hash;
    var text = /^#ops=/.test(location.hash) ? location.hash.slice(5) : '';
    var read, fault;
    try {
      read = page.live.read(decodeURIComponent(text), 2, STEP_LIMIT);
      fault = read.error && (read.word === '' ? 'an empty item (two commas in a row, or one at an end)'
        : page.echo(read) + ', which is not an operation (' + read.error + ')');
    } catch (e) {
      fault = 'text that is not valid percent-encoding (' + e.message + ')';
    }
    if (fault) {
      if (current < 0) show(-1, -1, false);
      page.say('The address holds ' + fault + '; nothing was built from it. An address like ' +
        '#ops=11,12,-12 inserts 11 and 12, then deletes 12 (a leading - deletes; +-5 inserts -5).');
      return;
    }
    if (steps.length) { keep(0); current = -1; described = null; }
    var result = read.ops.length ? perform(read.ops, 'the address') : { notes: [], rest: [] };
    var rest = result.rest.map(function (op) { return op[2]; }).join(' ');
    page.box.value = (rest + ' ' + read.rest).trim();
    if (read.left) {
      result.notes.push('The page reads at most ' + STEP_LIMIT.toLocaleString('en') + ' operations; the other ' +
        count(read.left, 'operation of the address is', 'operations of the address are') + ' left in the box.');
    }
    show(steps.length - 1, 'last', false);
    page.say(result.notes.join(' '), true);
  }

  // Room for this many more steps after the step shown.
  function room() { return STEP_LIMIT - (current + 1); }

  return {
    show: show,
    settled: settled,
    stateAt: stateAt,
    lastFrame: lastFrame,
    operate: operate,
    undo: undo,
    redo: redo,
    reset: reset,
    load: load,
    room: room,
    togglePlay: togglePlay,
    subStep: subStep,
    wholeStep: wholeStep,
    stop: stop,
    playing: playing,
    pause: function () { if (playing()) togglePlay(); },
    showPlaying: showPlaying,
    where: function () { return { step: current, frame: frameAt, count: steps.length }; },
    steps: function () { return steps; },
    NODE_LIMIT: NODE_LIMIT
  };
}
