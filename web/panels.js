// panels.js: the words around the drawing. The bottom bar: the step's name
// while it plays and its caption (what avl_dot --html says of it) only at
// its last frame, the frame's own words, where the player is. The side
// panel: the calls under way and the module's function that runs, as short
// pseudocode with the line the frame executes lit (frames.cpp names both;
// the functions' text comes once, from live_look), the list of steps, and
// the tree as nested lists for screen readers.
function Panels(page) {
  var caption = page.$('caption');
  var frameText = page.$('frame');
  var where = page.$('where');
  var stats = page.$('stats');
  var calls = page.$('calls');
  var code = page.$('code');
  var codeName = page.$('code-name');
  var list = page.$('steps');
  var outline = page.$('outline');
  var heights = page.$('heights');
  var side = page.$('side');
  var shownFn = -1;

  function balanceText(b) { return (b > 0 ? '+' : '') + b; }
  function escapeText(text) {
    return text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
  }

  // The code panel: function `fn` with `line` lit, under the calls.
  function showCode(fr) {
    var names = fr ? fr.calls : [];
    calls.textContent = '';
    for (var i = 0; i < names.length; i++) {
      var li = calls.appendChild(document.createElement('li'));
      li.textContent = names[i];
      if (i === names.length - 1) li.setAttribute('aria-current', 'true');
    }
    var fn = fr && fr.code ? fr.code[0] : -1;
    if (fn !== shownFn) {
      shownFn = fn;
      code.textContent = '';
      codeName.textContent = fn < 0 ? '' : page.look.code[fn][0];
      if (fn >= 0) {
        var lines = page.look.code[fn][1];
        for (var k = 0; k < lines.length; k++) code.appendChild(document.createElement('li')).textContent = lines[k];
      }
    }
    var items = code.children;
    for (var j = 0; j < items.length; j++) {
      if (fr && fr.code && fr.code[1] === j) items[j].setAttribute('aria-current', 'true');
      else if (items[j].hasAttribute('aria-current')) items[j].removeAttribute('aria-current');
    }
    keepInSight(side, function () { return side.hidden ? null : code.querySelector('[aria-current]'); });
  }

  // Scrolls `shelf` by as little as brings the item `find` gives into its
  // sight, once the page has been laid out anyway (measuring now would lay
  // it out once more).
  var waiting = [];
  function keepInSight(shelf, find) {
    if (waiting.indexOf(shelf) >= 0) return;
    waiting.push(shelf);
    requestAnimationFrame(function () {
      waiting.splice(waiting.indexOf(shelf), 1);
      var item = find();
      if (!item) return;
      var box = shelf.getBoundingClientRect(), at = item.getBoundingClientRect();
      if (at.bottom > box.bottom) shelf.scrollTop += at.bottom - box.bottom + 8;
      else if (at.top < box.top) shelf.scrollTop -= box.top - at.top + 8;
    });
  }

  // The words that belong to frame `frameAt` of step `current`.
  function describeFrame(state, current, frameAt, last, count) {
    var view = page.view;
    var fr = state.frame;
    var done = !view || frameAt >= last;
    caption.textContent = !view ? (count ? 'Before step 1.' : 'The tree is empty.')
      : done ? view.caption : 'Step ' + (current + 1) + ': ' + view.name;
    caption.className = done && view ? 'done' : '';
    // The last frame's words are the caption above; a screen reader hears
    // them once more as the step ends.
    if (!fr) frameText.textContent = '';
    else if (!done) frameText.textContent = fr.text;
    else frameText.innerHTML = 'Done.<span class="sr-only"> ' + escapeText(fr.text) + '</span>';
    where.textContent = current < 0 ? (count ? 'Before step 1 of ' + count : '')
      : 'Step ' + (current + 1) + ' of ' + count + ', sub-step ' + (frameAt + 1) + ' of ' + (last + 1);
    stats.textContent = current < 0 ? '' : 'after it: height ' + view.height + ', size ' + view.size;
    showCode(fr);
    var svg = page.svg;
    svg.setAttribute('data-frame', String(frameAt));
    svg.setAttribute('data-frames', String(last + 1));
    var size = Object.keys(state.nodes).length;
    svg.setAttribute('aria-label', size === 0 ? 'the empty tree'
      : 'the tree, ' + size + ' nodes; the tree as text follows the steps');
    writeOutline(state);
  }

  // ------------------------------------------------------------ steps --

  function listItem(steps, i) {
    var li = document.createElement('li');
    var button = document.createElement('button');
    button.type = 'button';
    button.textContent = (i + 1) + '. ' + steps[i].name;
    button.setAttribute('data-step', i);
    li.appendChild(button);
    return li;
  }

  function appendList(steps, first) {
    var items = document.createDocumentFragment();
    for (var s = first; s < steps.length; s++) items.appendChild(listItem(steps, s));
    list.appendChild(items);
  }

  function truncateList(count) {
    while (list.children.length > count) list.removeChild(list.lastChild);
    if (marked >= count) marked = -1;
  }

  // Marks the step shown and greys the ones after it. Only the items from
  // the step marked before on can change, so a long list costs nothing per
  // step added.
  var marked = -1;
  function markList(current) {
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
    keepInSight(list, function () { return list.children[marked]; });
  }

  // ------------------------------------------------------------ outline --

  // The tree as nested lists: each node with its balance factor, then its
  // left and right subtrees. The lists are kept from frame to frame and only
  // what changed is touched: rewriting a few hundred items at every frame
  // would cost more than drawing the tree.
  var outlineEls = {};  // id -> {li, text, ul, label}
  var outlineRoot = null;
  function writeOutline(state) {
    var F = page.F, fr = state.frame, id, rec, el;
    if (!outlineRoot) {
      outline.textContent = '';
      outlineRoot = outline.appendChild(document.createElement('ul'));
    }
    for (id in state.nodes) {
      rec = state.nodes[id];
      el = outlineEls[id];
      if (!el) {
        el = outlineEls[id] = { li: document.createElement('li'), text: document.createTextNode(''), ul: null, label: '' };
        el.li.appendChild(el.text);
      }
      var parent = rec[F.parent] >= 0 ? state.nodes[rec[F.parent]] : null;
      var side = !parent ? '' : rec[F.x] < parent[F.x] ? 'left' : 'right';
      var label = (side ? side + ': ' : '') + rec[F.key] + ', balance factor ' + balanceText(rec[F.balance]) +
        (heights.checked ? ', height ' + rec[F.height] : '') +
        (fr && fr.heavy === rec[F.id] ? ', too heavy' : '') +
        (fr && fr.at === rec[F.id] ? ', the call under way' : '') +
        (fr && fr.hit === rec[F.id] ? ', reached' : '') +
        (state.order[rec[F.id]] ? ', visited as number ' + state.order[rec[F.id]] : '');
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
      if (rec[F.parent] >= 0) {
        var up = outlineEls[rec[F.parent]];
        if (!up.ul) up.ul = up.li.appendChild(document.createElement('ul'));
        into = up.ul;
      }
      var left = rec[F.parent] >= 0 && rec[F.x] < state.nodes[rec[F.parent]][F.x];
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

  return {
    describeFrame: describeFrame,
    appendList: appendList,
    truncateList: truncateList,
    markList: markList
  };
}
