// The live page in headless Chromium against the native avl_dot --html:
// a script with every kind of step typed into the box, every step's drawn
// tree (keys, balance factors, edges) and caption compared with the static
// page's figure for the same step, then undo, the address round trip and
// bad input. Then the sub-steps the page cuts from the module's trace (a
// single and a double rotation on insertion, a deletion that rotates twice:
// what each frame changes, the last frame against avl_dot), a failed
// deletion, the queries, the view of a 300-node tree, bad addresses and the
// page's bounds, undo and reset, the phone layout and dark mode. Exits 77
// (skipped) when the page, the browser or puppeteer-core is missing.
//
//   node live_test.mjs PAGE AVL_DOT BROWSER
//
// With AVL_LIVE_SCREENSHOTS=DIR it also saves the README's pictures there: a
// double rotation mid-way (live_rotation.png), a 300-node tree fitted into
// its panel (live_fitted.png) and the phone layout (live_phone.png).
import { execFileSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { join } from 'node:path';
import assert from 'node:assert/strict';
import { launch, loadPuppeteer, open, skip } from './browser.mjs';

const [pagePath, tool, browserPath] = process.argv.slice(2);
if (!pagePath || !existsSync(pagePath)) skip('the live page was not built (needs emcc): ' + pagePath);
if (!browserPath || !existsSync(browserPath)) skip('no headless Chromium: ' + browserPath);
const puppeteer = await loadPuppeteer();

// The script of page_test.cpp: the four insertion cases, deletions that
// rotate once, twice or not at all, from a leaf, a one-child and a
// two-children node, and an absent key; typed in three pieces.
const pieces = ['11 12 13 10 9 15 14', '7 8 2 4 21 3 17', '-d 14 -d 10 -d 21 -d 8 -d 9 -d 99'];
const words = pieces.join(' ').split(' ');

// The static page's figures: caption and tree of every step.
function staticSteps(args) {
  const html = execFileSync(tool, ['--html', ...args], { encoding: 'utf8' });
  return html.split('<figure class="step"').slice(1).map((figure) => {
    const caption = /<figcaption><span class="number">[^<]*<\/span> ([^<]*)<\/figcaption>/
      .exec(figure)[1].replace(/&#39;/g, "'");
    const nodes = [...figure.matchAll(/data-key="(-?\d+)" data-balance="(-?\d+)">.*?cx="(\d+)" cy="(\d+)"/g)]
      .map((m) => ({ key: +m[1], balance: +m[2], x: +m[3], y: +m[4] }));
    const edges = [...figure.matchAll(/<line class="edge" x1="(\d+)" y1="(\d+)" x2="(\d+)" y2="(\d+)"/g)]
      .map((m) => m.slice(1, 5).map(Number));
    return { caption, tree: normal(nodes, edges) };
  });
}

// A drawing as layout-free text: each node's key and balance at its column
// (place in key order) and row (depth), and each edge as a pair of columns,
// so two drawings of one tree compare equal whatever their node widths.
function normal(nodes, edges) {
  const xs = [...new Set(nodes.map((n) => n.x))].sort((a, b) => a - b);
  const ys = [...new Set(nodes.map((n) => n.y))].sort((a, b) => a - b);
  const column = (x) => xs.findIndex((v) => Math.abs(v - x) < 0.5);
  const row = (y) => ys.findIndex((v) => Math.abs(v - y) < 0.5);
  const placed = nodes.map((n) => `${column(n.x)}@${row(n.y)}:${n.key}/${n.balance}`).sort();
  const linked = edges.map((e) => `${column(e[0])}-${column(e[2])}`).sort();
  return placed.join(' ') + ' | ' + linked.join(' ');
}

async function drawn(page) {
  await page.waitForSelector('#tree[data-state=still]');
  const { nodes, edges } = await page.evaluate(() => ({
    nodes: [...document.querySelectorAll('#tree g.node')].map((g) => {
      const at = /translate\(([-\d.]+) ([-\d.]+)\)/.exec(g.getAttribute('transform'));
      return { key: +g.dataset.key, balance: +g.dataset.balance, x: +at[1], y: +at[2] };
    }),
    edges: [...document.querySelectorAll('#tree .edge')].map((l) =>
      ['x1', 'y1', 'x2', 'y2'].map((a) => +l.getAttribute(a))),
  }));
  return normal(nodes, edges);
}

async function setSpeed(page, value) {
  await page.$eval('#speed', (e, v) => {
    e.value = v;
    e.dispatchEvent(new Event('input'));
  }, value);
}

const text = (page, selector) => page.$eval(selector, (e) => e.textContent);
const stepCount = (page) => page.$$eval('#steps li', (items) => items.length);

async function type(page, line) {
  await page.click('#ops', { clickCount: 3 });
  await page.keyboard.press('Backspace');
  await page.type('#ops', line);
  await page.keyboard.press('Enter');
}

// An address building the tree of some operations (avl_dot's words).
function address(ops) {
  return '#ops=' + ops.join(' ').replace(/-d /g, '-').split(' ').join(',');
}

async function openStill(browser, url) {
  const page = await open(browser, url);
  await page.click('#still');
  return page;
}

// What the drawing shows now: every node's key, balance factor, parent
// (read off the edges) and states, the frame's words, and which recursion
// line is current.
async function frameState(page) {
  await page.waitForSelector('#tree[data-state=still]');
  return page.evaluate(() => {
    const svg = document.getElementById('tree');
    const where = (g) => /translate\(([-\d.]+) ([-\d.]+)\)/.exec(g.getAttribute('transform')).slice(1).join(',');
    const nodes = [...svg.querySelectorAll('g.node')];
    const at = new Map(nodes.map((g) => [where(g), +g.dataset.key]));
    const parent = {};
    for (const g of nodes) parent[g.dataset.key] = '';
    for (const l of svg.querySelectorAll('.edge')) {
      const ends = ['x1', 'y1', 'x2', 'y2'].map((a) => (+l.getAttribute(a)).toFixed(1));
      parent[at.get(ends[2] + ',' + ends[3])] = String(at.get(ends[0] + ',' + ends[1]));
    }
    const keys = (cls) => nodes.filter((g) => g.classList.contains(cls)).map((g) => +g.dataset.key);
    return {
      frame: +svg.dataset.frame,
      frames: +svg.dataset.frames,
      text: document.getElementById('frame').textContent,
      line: [...document.querySelectorAll('#recursion li')].findIndex((l) => l.hasAttribute('aria-current')),
      balance: Object.fromEntries(nodes.map((g) => [g.dataset.key, +g.dataset.balance])),
      parent,
      heavy: keys('heavy'),
      at: keys('at'),
      hit: keys('hit'),
    };
  });
}

// Every frame of the step shown, walked from the first with #sub-next.
async function walkFrames(page) {
  let state = await frameState(page);
  while (state.frame > 0) {
    await page.click('#sub-prev');
    state = await frameState(page);
  }
  const frames = [state];
  while (frames.length < state.frames) {
    await page.click('#sub-next');
    frames.push(await frameState(page));
  }
  return frames;
}

// What a frame changed from the one before: "+k:b" a node drawn anew, "-k"
// one gone, "k:a>b" a balance factor shown, "k^p" a new parent ("k^" the root).
function changes(before, after) {
  const out = [];
  for (const key of Object.keys(after.balance)) {
    if (!(key in before.balance)) out.push(`+${key}:${after.balance[key]}`);
    else if (before.balance[key] !== after.balance[key]) out.push(`${key}:${before.balance[key]}>${after.balance[key]}`);
    if (key in before.parent && before.parent[key] !== after.parent[key]) out.push(`${key}^${after.parent[key]}`);
    if (!(key in before.parent) && after.parent[key] !== '') out.push(`${key}^${after.parent[key]}`);
  }
  for (const key of Object.keys(before.balance)) if (!(key in after.balance)) out.push(`-${key}`);
  return out.sort();
}

// Heights of every node of a frame's tree, from its parent links.
function heightsOf(state) {
  const children = {};
  for (const [key, up] of Object.entries(state.parent)) if (up !== '') (children[up] ||= []).push(key);
  const height = (key) => 1 + Math.max(0, ...(children[key] || []).map(height));
  return Object.fromEntries(Object.keys(state.parent).map((key) => [key, height(key)]));
}

// The sub-steps of one operation typed after `before`: what each frame
// changed, which nodes it marked too heavy and which recursion line it
// follows, by hand; the last frame against avl_dot --html's last figure; and,
// at every frame, no factor shown beyond +-1 but on the node marked heavy,
// whose factor is the true difference of its subtrees' heights there.
async function checkSubSteps(browser, url, before, op, want) {
  const page = await openStill(browser, url + address(before));
  const previous = await frameState(page);
  await page.type('#ops', op);
  await page.keyboard.press('Enter');
  const frames = await walkFrames(page);
  assert.equal(frames.length, want.length, op + ': frames ' + frames.map((f) => f.text).join(' | '));
  for (let i = 0; i < frames.length; i++) {
    const f = frames[i];
    const label = `${op}, frame ${i + 1} (${f.text})`;
    assert.deepEqual(changes(i === 0 ? previous : frames[i - 1], f), want[i].changes, label);
    assert.deepEqual(f.heavy, want[i].heavy || [], label + ': heavy');
    assert.equal(f.line, want[i].line, label + ': recursion line');
    const heights = heightsOf(f);
    for (const [key, balance] of Object.entries(f.balance)) {
      if (f.heavy.includes(+key)) {
        const side = (which) => Object.keys(f.parent).filter((k) => f.parent[k] === key &&
          (which < 0 ? +k < +key : +k >= +key)).map((k) => heights[k])[0] || 0;
        assert.equal(balance, side(-1) - side(+1), label + ': the heavy node ' + key);
      } else {
        assert.ok(Math.abs(balance) <= 1, label + ': ' + key + ' shows ' + balance);
      }
    }
  }
  assert.ok(frames[0].at.length === 1, op + ': the first frame points at the root');
  const figures = staticSteps([...before, ...op.split(' ')]);
  assert.equal(await drawn(page), figures[figures.length - 1].tree, op + ': the last frame');
  assert.equal(await text(page, '#caption'), figures[figures.length - 1].caption, op + ': caption');
  // The keys walk the same frames: left one back, Shift+left the step before.
  await page.focus('#ops');
  await page.keyboard.press('ArrowLeft');
  assert.equal((await frameState(page)).frame, frames.length - 2, op + ': ArrowLeft');
  await page.keyboard.down('Shift');
  await page.keyboard.press('ArrowLeft');
  await page.keyboard.up('Shift');
  assert.deepEqual(changes(await frameState(page), previous), [], op + ': Shift+ArrowLeft');
  await page.keyboard.press('ArrowRight');
  assert.equal((await frameState(page)).frame, 0, op + ': ArrowRight into the next step');
  assert.deepEqual(page.problems, [], op);
  await page.close();
  return frames;
}

async function subSteps(browser, url) {
  // 11 12 then 13: 12 tilts right, 11 is -2, one left rotation.
  await checkSubSteps(browser, url, ['11', '12'], '13', [
    { changes: [], line: 0 },                      // at 11: go right
    { changes: [], line: 1 },                      // at 12: go right
    { changes: ['+13:0', '13^12'], line: 2 },      // the new leaf
    { changes: ['12:0>-1'], line: 1 },             // 12 now leans right
    { changes: ['11:-1>-2'], heavy: [11], line: 0 },
    { changes: ['12:-1>0'], heavy: [11], line: 0 },  // the factors written first
    { changes: ['11:-2>0', '11^12', '12^'], line: 0 },  // rotate left at 11
    { changes: [], line: -1 },                     // the result
  ]);
  // Insert 8 below 7, the left child of 9: 7 tilts right, 9 is +2 with a
  // child leaning right, so 7 turns left and 9 right; 10 and 12 only store
  // their links (one recursion line for both).
  const script = pieces.join(' ').split(' ');
  const double = await checkSubSteps(browser, url, script.slice(0, 8), '8', [
    { changes: [], line: 0 },
    { changes: [], line: 0 },
    { changes: [], line: 1 },
    { changes: [], line: 2 },
    { changes: ['+8:0', '8^7'], line: 3 },
    { changes: ['7:0>-1'], line: 2 },
    { changes: ['9:1>2'], heavy: [9], line: 1 },
    { changes: ['7:-1>0'], heavy: [9], line: 1 },
    { changes: ['7^8', '8^9'], heavy: [9], line: 1 },      // rotate left at 7
    { changes: ['8^10', '9:2>0', '9^8'], line: 1 },        // rotate right at 9
    { changes: [], line: 0 },
    { changes: [], line: -1 },
  ]);
  assert.match(double[8].text, /^rotate left at 7/);
  assert.match(double[9].text, /^rotate right at 9/);
  // Delete 21: 17 is +2 with a child leaning right (two turns, the subtree a
  // level lower), then 12 is +2 with a child leaning left (one turn).
  await checkSubSteps(browser, url, [...script.slice(0, 14), '-d', '14', '-d', '10'], '-d 21', [
    { changes: [], line: 0 },
    { changes: [], line: 1 },
    { changes: [], line: 2 },                              // found 21
    { changes: ['-21'], line: 2 },                         // released
    { changes: ['17:1>2'], heavy: [17], line: 1 },
    { changes: ['13:-1>0'], heavy: [17], line: 1 },
    { changes: ['13^15', '15^17'], heavy: [17], line: 1 },
    { changes: ['15^12', '17:2>0', '17^15'], line: 1 },
    { changes: ['12:1>2'], heavy: [12], line: 0 },
    { changes: ['8:1>0'], heavy: [12], line: 0 },
    { changes: ['12:2>0', '12^8', '8^', '9^12'], line: 0 },
    { changes: [], line: -1 },
  ]);
}

// Geometry, keys, balance factors and edges as drawn, marks aside.
async function picture(page) {
  await page.waitForSelector('#tree[data-state=still]');
  return page.evaluate(() => ({
    nodes: [...document.querySelectorAll('#tree g.node')].map((g) => [g.dataset.key, g.dataset.balance,
      g.getAttribute('transform'), g.querySelector('ellipse').getAttribute('rx'),
      g.getAttribute('class').replace(/ (added|moved|rekeyed)/g, '')].join(' ')).sort(),
    edges: [...document.querySelectorAll('#tree .edge')].map((l) =>
      ['x1', 'y1', 'x2', 'y2'].map((a) => l.getAttribute(a)).join(' ')).sort(),
  }));
}

// Deleting a key that is not there (wider than every key drawn) is a step
// that says so and leaves the drawing exactly as it was.
async function failedDelete(browser, url) {
  const page = await openStill(browser, url + address(pieces[0].split(' ')));
  const before = await picture(page);
  await type(page, '-d 1000');
  assert.match(await text(page, '#message'), /1000 is not in the tree/);
  assert.equal(await text(page, '#caption'), 'delete 1000: 1000 is not in the tree; nothing changes');
  assert.deepEqual(await picture(page), before);
  assert.equal(await page.$$eval('#tree g.added, #tree g.moved, #tree g.rekeyed', (l) => l.length), 0);
  await page.close();
}

// ?K in the box and in the address, and the other queries, against the
// tree as drawn.
async function queries(browser, url) {
  const ops = pieces[0].split(' ').concat(pieces[1].split(' '));
  const page = await openStill(browser, url + address(ops));
  const tree = await frameState(page);
  const keys = Object.keys(tree.balance).map(Number).sort((a, b) => a - b);
  const pathTo = (key) => {
    const path = [];
    for (let at = String(key); at !== ''; at = tree.parent[at]) path.unshift(+at);
    return path;
  };
  const root = +Object.keys(tree.parent).find((k) => tree.parent[k] === '');
  const steps = await stepCount(page);

  // Found: each frame points at the next node of the root's path to the key.
  for (const key of [keys[0], 17, keys[keys.length - 1]]) {
    await type(page, '?' + key);
    const frames = await walkFrames(page);
    assert.deepEqual(frames.slice(0, -1).map((f) => f.at[0]), pathTo(key), '?' + key);
    assert.deepEqual(frames[frames.length - 1].hit, [key]);
    assert.equal(await text(page, '#caption'), `search ${key}: found after ${pathTo(key).length} ` +
      (pathTo(key).length === 1 ? 'comparison' : 'comparisons'));
    assert.deepEqual(changes(tree, frames[frames.length - 1]), [], 'a search changes nothing');
  }
  // Absent: the search ends at an empty link below a leaf's neighbour.
  await type(page, '?16');
  assert.match(await text(page, '#caption'), /^search 16: not in the tree; the search ends at the empty (left|right) link of (15|17)$/);
  assert.deepEqual((await frameState(page)).hit, []);

  // The neighbours in key order, the extremes and the in-order walk.
  const around = keys.indexOf(12);
  for (const [button, word, caption] of [['#successor', '12', `successor of 12: ${keys[around + 1]}`],
    ['#predecessor', '12', `predecessor of 12: ${keys[around - 1]}`],
    ['#minimum', '', `minimum: ${keys[0]}, the leftmost node`],
    ['#maximum', '', `maximum: ${keys[keys.length - 1]}, the rightmost node`]]) {
    if (word) await page.type('#ops', word);
    await page.click(button);
    await page.waitForSelector('#tree[data-state=still]');
    assert.equal(await text(page, '#caption'), caption);
  }
  await page.click('#inorder');
  await page.waitForSelector('#tree[data-state=still]');
  const order = await page.$$eval('#tree g.node', (g) => g.map((n) =>
    [+n.querySelector('.order text').textContent, +n.dataset.key]).sort((a, b) => a[0] - b[0]).map((p) => p[1]));
  assert.deepEqual(order, keys, 'in-order visits the keys in order');
  assert.equal(await stepCount(page), steps + 9);
  const hash = new URL(page.url()).hash;
  assert.ok(hash.endsWith(',?16,%3E12,%3C12,min,max,in'), hash);

  // From the address: the search is the step shown.
  const again = await openStill(browser, url + address(ops) + ',?' + root);
  assert.equal(await text(again, '#caption'), `search ${root}: found after 1 comparison`);
  assert.deepEqual((await frameState(again)).hit, [root]);
  assert.deepEqual(page.problems.concat(again.problems), []);
  await again.close();
  await page.close();
}

// Distinct keys in a scrambled order, the same on every run (as measure.mjs).
function scrambled(count) {
  const keys = [];
  for (let i = 0, k = 7; i < count; i++) {
    k = (k * 48271) % 2147483647;
    keys.push((k % 1000000) * count + i);
  }
  return keys;
}

// Where the nodes are on screen against the tree's panel.
function onScreen(page) {
  return page.evaluate(() => {
    const panel = document.getElementById('tree').getBoundingClientRect();
    const boxes = [...document.querySelectorAll('#tree g.node ellipse')].map((e) => e.getBoundingClientRect());
    const added = document.querySelector('#tree g.added ellipse');
    return {
      panel: [panel.left, panel.top, panel.right, panel.bottom],
      inside: boxes.filter((b) => b.left >= panel.left - 1 && b.right <= panel.right + 1 &&
        b.top >= panel.top - 1 && b.bottom <= panel.bottom + 1).length,
      count: boxes.length,
      spread: [Math.max(...boxes.map((b) => b.right)) - Math.min(...boxes.map((b) => b.left)),
        Math.max(...boxes.map((b) => b.bottom)) - Math.min(...boxes.map((b) => b.top))],
      scale: boxes[0].width / (2 * +document.querySelector('#tree g.node ellipse').getAttribute('rx')),
      added: added && [added.getBoundingClientRect().left, added.getBoundingClientRect().right,
        added.getBoundingClientRect().top, added.getBoundingClientRect().bottom,
        +added.getAttribute('rx')],
    };
  });
}

// 300 nodes: #fit shows every node inside the panel, filling it one way;
// a new key brings the view back to the change, at a legible size.
async function largeTree(browser, url) {
  const keys = scrambled(300);
  const page = await openStill(browser, url + '#ops=' + keys.join(','));
  await page.click('#fit');
  const fitted = await onScreen(page);
  assert.equal(fitted.count, 300);
  assert.equal(fitted.inside, 300, 'every node inside the panel');
  const [w, h] = [fitted.panel[2] - fitted.panel[0], fitted.panel[3] - fitted.panel[1]];
  assert.ok(fitted.spread[0] > 0.9 * w || fitted.spread[1] > 0.9 * h, 'the tree fills its panel: ' + fitted.spread);
  assert.ok(fitted.scale < 0.5, 'a 300-node tree is shrunk to fit: ' + fitted.scale);

  await type(page, String(keys[0] + 1));
  const followed = await onScreen(page);
  const [left, right, top, bottom, rx] = followed.added;
  assert.ok(left >= followed.panel[0] && right <= followed.panel[2] && top >= followed.panel[1] &&
    bottom <= followed.panel[3], 'the new node is in sight: ' + followed.added);
  assert.ok(right - left >= 1.5 * rx, 'the new node is drawn at a legible size');
  assert.deepEqual(page.problems, []);
  await page.close();
}

// Bad addresses give a message and leave the page ready; a hashchange
// builds the tree again; operations past the page's bounds stay in the box.
async function badAddresses(browser, url) {
  for (const bad of ['#ops=%', '#ops=%E0%A4%A', '#ops=1,,2', '#ops=1,', '#ops=12,x']) {
    const page = await open(browser, url + bad);
    assert.match(await text(page, '#message'), /nothing was built from it/, bad);
    assert.equal(await stepCount(page), 0, bad);
    await type(page, '5 3');
    assert.equal(await stepCount(page), 2, bad);
    assert.deepEqual((await frameState(page)).parent, { 3: '5', 5: '' }, bad + ' then 5 3');
    await page.evaluate(() => { location.hash = '#ops=1,2,3'; });
    await page.waitForFunction(() => document.querySelectorAll('#steps li').length === 3);
    const state = await frameState(page);
    assert.deepEqual(state.parent, { 1: '2', 2: '', 3: '2' }, bad + ' then #ops=1,2,3');
    assert.deepEqual(page.problems, [], bad);
    await page.close();
  }

  const pairs = [];
  for (let i = 0; i < 1003; i++) pairs.push('7', '-7');
  const steps = await open(browser, url + '#ops=' + pairs.join(','));
  assert.equal(await stepCount(steps), 2000);
  assert.equal(await steps.$eval('#ops', (e) => e.value), '7 -d 7 7 -d 7 7 -d 7');
  assert.match(await text(steps, '#message'), /at most 2,000 steps.*other 6 operations are left in the box/);
  await steps.close();

  const nodes = await open(browser, url + '#ops=' + scrambled(503).join(','));
  assert.equal(await stepCount(nodes), 500);
  assert.equal(await nodes.$eval('#ops', (e) => e.value), scrambled(503).slice(500).join(' '));
  assert.deepEqual(steps.problems.concat(nodes.problems), []);
  await nodes.close();
}

// Undo undoes the step shown (and those made on top of it); Reset can be
// undone.
async function undoAndReset(browser, url) {
  const ops = pieces[0].split(' ');
  const page = await openStill(browser, url + address(ops));
  await page.click('#steps li:nth-child(3) button');
  await page.click('#undo');
  assert.equal(await stepCount(page), 2);
  assert.equal(await drawn(page), expected[1].tree);
  assert.equal(await text(page, '#caption'), expected[1].caption);
  assert.match(await text(page, '#message'), /Undid step 3 \(insert 13\)/);
  assert.equal(new URL(page.url()).hash, '#ops=11,12');
  await page.click('#reset');
  assert.equal(await stepCount(page), 0);
  assert.equal(await page.$$eval('#tree g.node', (l) => l.length), 0);
  await page.click('#undo');
  assert.equal(await stepCount(page), 2);
  assert.equal(await drawn(page), expected[1].tree);
  assert.deepEqual(page.problems, []);
  await page.close();
}

// On a phone the box and the tree share the screen; dark mode darkens the
// page and the nodes; the tree is also an outline of keys and factors.
async function phoneAndDark(browser, url) {
  const page = await browser.newPage();
  await page.setViewport({ width: 390, height: 844, isMobile: true, hasTouch: true });
  await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: 'dark' }]);
  await page.goto(url + address(pieces[0].split(' ')));
  await page.waitForSelector('body[data-ready=yes]');
  const layout = await page.evaluate(() => {
    const rect = (id) => document.getElementById(id).getBoundingClientRect();
    const rgb = (color) => color.match(/\d+/g).slice(0, 3).map(Number).reduce((a, b) => a + b);
    return {
      box: rect('ops').bottom, tree: [rect('tree').top, rect('tree').bottom], width: document.documentElement.scrollWidth,
      paper: rgb(getComputedStyle(document.body).backgroundColor),
      balanced: rgb(getComputedStyle(document.querySelector('#tree g.balanced ellipse')).fill),
      outline: [...document.querySelectorAll('#outline li')].length,
      first: document.querySelector('#outline li').firstChild.textContent,
      focused: document.activeElement.id,
    };
  });
  assert.ok(layout.box < 844 && layout.tree[0] < 844 && layout.tree[1] <= 844 &&
    layout.tree[1] - layout.tree[0] > 250, 'box and tree on one screen: ' + JSON.stringify(layout));
  assert.ok(layout.width <= 390, 'no sideways scrolling on a phone: ' + layout.width);
  assert.ok(layout.paper < 150 && layout.balanced < 200, 'dark: ' + JSON.stringify(layout));
  assert.equal(layout.outline, 7);
  assert.match(layout.first, /^12, balance factor [-+]?\d/);
  assert.equal(layout.focused, 'ops');
  await page.close();
}

async function screenshots(browser, url, dir) {
  // The double rotation of inserting 8, during its first turn.
  const script = pieces.join(' ').split(' ');
  const shot = await open(browser, url + address(script.slice(0, 8)));
  await shot.setViewport({ width: 1100, height: 820 });
  await setSpeed(shot, '0.5');
  await type(shot, '8');
  await shot.waitForSelector('#tree[data-frame="8"][data-state=moving]', { timeout: 60000 });
  await new Promise((done) => setTimeout(done, 600));
  await shot.screenshot({ path: join(dir, 'live_rotation.png') });
  await shot.close();

  // 300 keys of up to three digits, in a scrambled order.
  const ranks = scrambled(300).map((k, i) => [k, i]).sort((a, b) => a[0] - b[0]);
  const keys = ranks.map((r, rank) => [r[1], rank + 1]).sort((a, b) => a[0] - b[0]).map((p) => p[1]);
  const large = await openStill(browser, url + '#ops=' + keys.join(','));
  await large.setViewport({ width: 1100, height: 900 });
  await large.click('#fit');
  await large.waitForSelector('#tree[data-state=still]');
  await large.screenshot({ path: join(dir, 'live_fitted.png') });
  await large.close();

  const phone = await browser.newPage();
  await phone.setViewport({ width: 390, height: 844, isMobile: true, hasTouch: true });
  await phone.goto(url + address(script.slice(0, 14)));
  await phone.waitForSelector('body[data-ready=yes]');
  await phone.screenshot({ path: join(dir, 'live_phone.png') });
  await phone.close();
}

const expected = staticSteps(words);
const browser = await launch(puppeteer, browserPath);
try {
  const url = 'file://' + pagePath;
  const page = await open(browser, url);
  await setSpeed(page, '8');

  // Typed, gliding: the tree after each piece is the static page's.
  let done = 0;
  for (const piece of pieces) {
    await type(page, piece);
    done += piece.split(' ').filter((w) => w !== '-d').length;
    assert.equal(await drawn(page), expected[done - 1].tree, 'after typing ' + piece);
    assert.equal(await text(page, '#caption'), expected[done - 1].caption);
  }
  assert.equal(await stepCount(page), expected.length);
  assert.match(await text(page, '#message'), /99 is not in the tree/);

  // Every step, gone back to from the list, without gliding.
  await page.click('#still');
  for (let i = 0; i < expected.length; i++) {
    await page.click(`#steps li:nth-child(${i + 1}) button`);
    assert.equal(await text(page, '#caption'), expected[i].caption, 'caption of step ' + (i + 1));
    assert.equal(await drawn(page), expected[i].tree, 'tree of step ' + (i + 1));
    assert.ok((await page.$$eval('#recursion li', (l) => l.length)) > 0, 'recursion of step ' + (i + 1));
  }

  // The address holds the operations; a new page built from it has the same steps.
  const address = new URL(page.url()).hash;
  assert.equal(address, '#ops=' + words.join(' ').replace(/-d /g, '-').split(' ').join(','));
  const again = await open(browser, url + address);
  assert.equal(await stepCount(again), expected.length);
  assert.equal(await drawn(again), expected[expected.length - 1].tree);
  assert.equal(await text(again, '#caption'), expected[expected.length - 1].caption);
  await again.close();

  // Undo takes the last step away, from the tree, the list and the address.
  await page.click('#undo');
  assert.equal(await stepCount(page), expected.length - 1);
  assert.equal(await drawn(page), expected[expected.length - 2].tree);
  assert.equal(await text(page, '#caption'), expected[expected.length - 2].caption);
  assert.ok(!new URL(page.url()).hash.endsWith(',-99'), 'the address still holds the undone step');

  // Bad input: a message next to the box, and nothing changes.
  for (const [bad, said] of [['12 abc', 'not a 32-bit key: abc'],
    ['4294967296', 'out of range for a 32-bit key: 4294967296']]) {
    const before = await drawn(page);
    await type(page, bad);
    assert.match(await text(page, '#message'), new RegExp(said));
    assert.equal(await stepCount(page), expected.length - 1, bad);
    assert.equal(await drawn(page), before, bad);
    assert.equal(await page.$eval('#ops', (e) => e.value), bad, 'the box keeps ' + bad);
  }
  assert.deepEqual(page.problems, []);

  await subSteps(browser, url);
  await failedDelete(browser, url);
  await queries(browser, url);
  await largeTree(browser, url);
  await badAddresses(browser, url);
  await undoAndReset(browser, url);
  await phoneAndDark(browser, url);
  if (process.env.AVL_LIVE_SCREENSHOTS) await screenshots(browser, url, process.env.AVL_LIVE_SCREENSHOTS);
  console.log(`live page: ${expected.length} steps drawn and captioned as avl_dot --html does; ` +
    'sub-steps, queries, views, bounds and layouts checked');
} finally {
  await browser.close();
}
