// The live page in headless Chromium against the native avl_dot --html:
// a script with every kind of step typed into the box, every step's drawn
// tree (keys, balance factors, edges) and caption compared with the static
// page's figure for the same step, then undo and redo, the address round
// trip and bad input. Then the sub-steps the page cuts from the module's
// trace (a single and a double rotation on insertion, a deletion that
// rotates twice: what each frame changes, which line of code it lights, the
// last frame against avl_dot), that no caption tells the outcome before the
// last frame, a failed deletion, the queries, the views (a 300-node tree
// followed and fitted, 500 nodes fitted without overlap, the projector's
// screen), bad addresses and the page's bounds, the history, the keys, the
// exercise mode, the SVG export and print, the phone layout, dark mode and
// contrast. Exits 77 (skipped) when the page, the browser or puppeteer-core
// is missing.
//
//   node live_test.mjs PAGE AVL_DOT BROWSER
//
// With AVL_LIVE_SCREENSHOTS=DIR it also saves the README's pictures there:
// the code panel during a double rotation (live_code.png), 500 nodes fitted
// (live_fitted.png), 1024x768 at 150% (live_projector.png), the exercise
// mode asking (live_exercise.png) and the phone layout (live_phone.png).
import { execFileSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { join } from 'node:path';
import assert from 'node:assert/strict';
import { launch, loadPuppeteer, noAnimation, open, skip } from './browser.mjs';

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

// Clicks a control, opening the menu that holds it first.
async function press(page, selector) {
  await page.$eval(selector, (e) => {
    const menu = e.closest('details');
    if (menu) menu.open = true;
  });
  await page.click(selector);
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
  await noAnimation(page);
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
      caption: document.getElementById('caption').textContent,
      code: (() => {
        const lines = [...document.querySelectorAll('#code li')];
        const lit = lines.findIndex((l) => l.hasAttribute('aria-current'));
        const name = (document.getElementById('code-name')?.textContent || '').split('(')[0];
        return lit < 0 ? '' : name + ':' + (lit + 1);
      })(),
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
    assert.equal(f.code, want[i].code, label + ': the line of code');
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
  // 11 12 then 13: 12 tilts right, 11 is -2, one left rotation; the factors
  // balance_right writes come one by one, before it turns, and 11 is drawn
  // with the factor written into it from then on.
  await checkSubSteps(browser, url, ['11', '12'], '13', [
    { changes: [], code: 'insert_rotate:9' },        // at 11: go right
    { changes: [], code: 'insert_rotate:9' },        // at 12: go right
    { changes: ['+13:0', '13^12'], code: 'insert_rotate:2' },  // the new leaf
    { changes: ['12:0>-1'], code: 'insert_rotate:12' },  // 12 now leans right
    { changes: ['11:-1>-2'], heavy: [11], code: 'insert_rotate:14' },
    { changes: [], heavy: [11], code: 'balance_right:2' },  // the right-right case
    { changes: ['11:-2>0'], code: 'balance_right:3' },   // the factors, one by one
    { changes: ['12:-1>0'], code: 'balance_right:3' },
    { changes: ['11^12', '12^'], code: 'balance_right:4' },  // rotate left at 11
    { changes: [], code: '' },                        // the result
  ]);
  // Insert 8 below 7, the left child of 9: 7 tilts right, 9 is +2 with a
  // child leaning right, so 7 turns left and 9 right; 10 and 12 only store
  // their links (one frame for both).
  const script = pieces.join(' ').split(' ');
  const double = await checkSubSteps(browser, url, script.slice(0, 8), '8', [
    { changes: [], code: 'insert_rotate:3' },
    { changes: [], code: 'insert_rotate:3' },
    { changes: [], code: 'insert_rotate:3' },
    { changes: [], code: 'insert_rotate:9' },
    { changes: ['+8:0', '8^7'], code: 'insert_rotate:2' },
    { changes: ['7:0>-1'], code: 'insert_rotate:12' },
    { changes: ['9:1>2'], heavy: [9], code: 'insert_rotate:8' },
    { changes: [], heavy: [9], code: 'balance_left:5' },   // the left-right case
    { changes: ['7:-1>0'], heavy: [9], code: 'balance_left:7' },
    { changes: ['9:2>0'], code: 'balance_left:7' },
    { changes: [], code: 'balance_left:7' },               // 8 stays 0
    { changes: ['7^8', '8^9'], code: 'balance_left:8' },   // rotate left at 7
    { changes: ['8^10', '9^8'], code: 'balance_left:9' },  // rotate right at 9
    { changes: [], code: 'insert_rotate:15' },
    { changes: [], code: '' },
  ]);
  assert.match(double[7].text, /left child 7 leans right \(-1\)/);
  assert.match(double[11].text, /^rotate_left\(7\)/);
  assert.match(double[12].text, /^rotate_right\(9\)/);
  // Delete 21: 17 is +2 with a child leaning right (two turns, the subtree a
  // level lower), then 12 is +2 with a child leaning left (one turn).
  await checkSubSteps(browser, url, [...script.slice(0, 14), '-d', '14', '-d', '10'], '-d 21', [
    { changes: [], code: 'delete_rotate:7' },
    { changes: [], code: 'delete_rotate:7' },
    { changes: [], code: 'delete_at:1' },                 // found 21
    { changes: ['-21'], code: 'delete_at:3' },            // released
    { changes: ['17:1>2'], heavy: [17], code: 'del_balance_left:4' },
    { changes: [], heavy: [17], code: 'del_balance_left:5' },
    { changes: ['13:-1>0'], heavy: [17], code: 'del_balance_left:6' },
    { changes: ['17:2>0'], code: 'del_balance_left:6' },
    { changes: [], code: 'del_balance_left:6' },
    { changes: ['13^15', '15^17'], code: 'del_balance_left:7' },
    { changes: ['15^12', '17^15'], code: 'del_balance_left:8' },
    { changes: ['12:1>2'], heavy: [12], code: 'del_balance_left:4' },
    { changes: [], heavy: [12], code: 'del_balance_left:10' },
    { changes: ['12:2>0'], code: 'del_balance_left:10' },
    { changes: ['8:1>0'], code: 'del_balance_left:10' },
    { changes: ['12^8', '8^', '9^12'], code: 'del_balance_left:11' },
    { changes: [], code: '' },
  ]);
}

// Before the last frame of a step, neither the caption line nor the frame's
// words name the outcome (a rotation's name, a new root, the change of the
// tree's height); a frame that says what factor a node now has draws it so.
async function nothingTold(browser, url) {
  const page = await openStill(browser, url + address(words.slice(0, -2)));
  const steps = await stepCount(page);
  assert.equal(steps, expected.length - 1);
  const outcome = /new root|no rotation|rotation \(|one level (higher|lower)|tree is now empty/;
  for (let i = 0; i < steps; i++) {
    await page.click(`#steps li:nth-child(${i + 1}) button`);
    const frames = await walkFrames(page);
    const caption = frames[frames.length - 1].caption;
    for (const f of frames.slice(0, -1)) {
      const label = `step ${i + 1}, frame ${f.frame + 1}: ${f.caption} / ${f.text}`;
      assert.notEqual(f.caption, caption, label);
      assert.doesNotMatch(f.caption + ' ' + f.text, outcome, label);
      const said = [...f.text.matchAll(/(-?\d+) (?:was balanced and now leans (?:left|right)|leaned (?:left|right) and is now balanced) \(([+-]?\d)\)/g),
        ...f.text.matchAll(/the factor (-?\d+) will have once the rotation is done: ([+-]?\d)/g)];
      for (const m of said) assert.equal(f.balance[m[1]], +m[2], label + ': ' + m[1] + ' drawn ' + f.balance[m[1]]);
      for (const m of f.text.matchAll(/(-?\d+) (?:already )?leaned (?:left|right): it is now ([+-]2)/g)) {
        assert.equal(f.balance[m[1]], +m[2], label);
        assert.deepEqual(f.heavy, [+m[1]], label);
      }
    }
  }
  assert.deepEqual(page.problems, []);
  await page.close();
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
  await page.click('#sub-prev');
  const end = await frameState(page);
  assert.match(end.text, /^the empty (left|right) link of (15|17): 16 is not in the tree/);
  assert.equal(await page.$$eval('#tree .marks .end', (l) => l.length), 1, 'the end of the failed search is marked');
  assert.equal(end.code, 'search_avl:1');

  // The neighbours in key order, the extremes and the in-order walk.
  const around = keys.indexOf(12);
  for (const [button, word, caption] of [['#successor', '12', `successor of 12: ${keys[around + 1]}`],
    ['#predecessor', '12', `predecessor of 12: ${keys[around - 1]}`],
    ['#minimum', '', `minimum: ${keys[0]}, the leftmost node`],
    ['#maximum', '', `maximum: ${keys[keys.length - 1]}, the rightmost node`]]) {
    if (word) await page.type('#ops', word);
    await press(page, button);
    await page.waitForSelector('#tree[data-state=still]');
    assert.equal(await text(page, '#caption'), caption);
  }
  await press(page, '#inorder');
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

// 300 nodes: a new key brings the view to the change at a legible size;
// #fit shows every node inside the panel, filling it one way, and that zoom
// stays through the next operation, which the view follows.
async function largeTree(browser, url) {
  const keys = scrambled(300);
  const page = await openStill(browser, url + '#ops=' + keys.join(','));
  await type(page, String(keys[0] + 1));
  const inSight = (at) => {
    const [left, right, top, bottom] = at.added;
    return left >= at.panel[0] && right <= at.panel[2] && top >= at.panel[1] && bottom <= at.panel[3];
  };
  const followed = await onScreen(page);
  assert.ok(inSight(followed), 'the new node is in sight: ' + followed.added);
  assert.ok(followed.added[1] - followed.added[0] >= 1.5 * followed.added[4], 'the new node is drawn at a legible size');

  await page.click('#fit');
  const fitted = await onScreen(page);
  assert.equal(fitted.count, 301);
  assert.equal(fitted.inside, 301, 'every node inside the panel');
  const [w, h] = [fitted.panel[2] - fitted.panel[0], fitted.panel[3] - fitted.panel[1]];
  assert.ok(fitted.spread[0] > 0.9 * w || fitted.spread[1] > 0.9 * h, 'the tree fills its panel: ' + fitted.spread);
  assert.ok(fitted.scale < 0.5, 'a 300-node tree is shrunk to fit: ' + fitted.scale);
  await type(page, String(keys[1] + 1));
  const kept = await onScreen(page);
  assert.ok(Math.abs(kept.scale - fitted.scale) < 1e-6, 'the zoom stays: ' + kept.scale + ' ' + fitted.scale);
  assert.ok(inSight(kept), 'the new node is in sight at the kept zoom');

  // A small tree fitted is enlarged.
  const small = await openStill(browser, url + '#ops=2,1,3');
  await small.click('#fit');
  assert.ok((await onScreen(small)).scale > 1.2, 'Fit enlarges a small tree');
  assert.deepEqual(page.problems.concat(small.problems), []);
  await small.close();
  await page.close();
}

// 500 nodes fitted: no two nodes overlap, each drawn inside its column.
async function fittedFiveHundred(browser, url, dir) {
  const page = await openStill(browser, url + '#ops=' + scrambled(500).join(','));
  await page.setViewport({ width: 1280, height: 800 });
  await page.click('#fit');
  await page.waitForSelector('#tree[data-state=still]');
  const boxes = await page.$$eval('#tree g.node ellipse', (l) => l.map((e) => {
    const r = e.getBoundingClientRect();
    return [r.left, r.right, r.top, r.bottom];
  }));
  assert.equal(boxes.length, 500);
  boxes.sort((a, b) => a[0] - b[0]);
  let overlaps = 0;
  for (let i = 0; i < boxes.length; i++) {
    for (let j = i + 1; j < boxes.length && boxes[j][0] < boxes[i][1]; j++) {
      if (boxes[j][2] < boxes[i][3] && boxes[i][2] < boxes[j][3]) overlaps += 1;
    }
  }
  assert.equal(overlaps, 0, 'overlapping node pairs at 500 nodes fitted');
  const panel = await page.$eval('#tree', (e) => e.getBoundingClientRect().toJSON());
  assert.ok(boxes.every((b) => b[0] >= panel.left - 1 && b[1] <= panel.right + 1), 'every node inside the panel');
  if (dir) await page.screenshot({ path: join(dir, 'live_fitted.png') });
  // Keys too small to show: the node under the pointer names itself.
  assert.equal(await page.$eval('#tree', (e) => e.classList.contains('small')), true);
  const node = await page.$('#tree g.node:nth-child(250) ellipse');
  await node.hover();
  const key = await node.evaluate((e) => e.parentNode.dataset.key);
  assert.match(await page.$eval('#hover', (e) => (e.hidden ? '' : e.textContent)), new RegExp('^' + key + ', balance factor'));
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
  assert.match(await text(steps, '#message'), /at most 2,000 operations; the other 6 operations of the address are left in the box/);
  await steps.close();

  // A NUL in the address is a character of its item, not its end; a leading
  // '-' is explained; neither builds anything nor rewrites the address.
  for (const [bad, said] of [['#ops=1%002', /"1\\02", which is not an operation \(not a 32-bit key\)/],
    ['#ops=5,-2147483648', /leading - deletes, so -2147483648 would delete 2147483648, and \+-2147483648 inserts -2147483648/]]) {
    const page = await open(browser, url + bad);
    assert.match(await text(page, '#message'), said, bad);
    assert.equal(await stepCount(page), 0, bad);
    assert.equal(new URL(page.url()).hash, bad.slice(0, bad.indexOf('=') + 1) + bad.slice(bad.indexOf('=') + 1), bad);
    await page.close();
  }


  const nodes = await open(browser, url + '#ops=' + scrambled(503).join(','));
  assert.equal(await stepCount(nodes), 500);
  assert.equal(await nodes.$eval('#ops', (e) => e.value), scrambled(503).slice(500).join(' '));
  assert.deepEqual(steps.problems.concat(nodes.problems), []);
  await nodes.close();

  // The box: a paste of a million keys is read up to the page's bounds and
  // the rest stays in the box, unread; a word of 100,000 digits is named in
  // a message of one line; a sorted run says where it stopped.
  const box = await openStill(browser, url);
  const million = Array.from({ length: 1000000 }, (_, i) => i + 1).join(' ');
  await box.$eval('#ops', (e, v) => { e.value = v; }, million);
  await box.focus('#ops');
  await box.keyboard.press('Enter');
  await box.waitForSelector('#tree[data-state=still]');
  assert.equal(await stepCount(box), 500);
  assert.match(await text(box, '#message'), /500 nodes.*other 1,500 operations are left in the box/);
  const rest = await box.$eval('#ops', (e) => [e.value.length, e.value.slice(0, 12)]);
  assert.deepEqual(rest, [million.length - million.indexOf(' 501 ') - 1, '501 502 503 ']);
  const digits = '9'.repeat(100000);
  await box.$eval('#ops', (e, v) => { e.value = v; }, digits);
  await box.click('#search');
  const said = await text(box, '#message');
  assert.ok(said.length < 200 && said.includes('100,000 characters'), said.slice(0, 300));
  await box.$eval('#ops', (e) => { e.value = '-d 1 2\u00003'; });
  await box.click('#insert');
  assert.match(await text(box, '#message'), /"2\\03": not a 32-bit key; nothing was changed/);
  await press(box, '#reset');
  await type(box, '2147483640');
  await box.$eval('#count', (e) => { e.value = '50'; });
  await press(box, '#sorted');
  await box.waitForSelector('#tree[data-state=still]');
  assert.equal(await stepCount(box), 8);
  assert.match(await text(box, '#message'), /stopped at 2147483647, the largest 32-bit key: 7 of 50 keys/);
  assert.deepEqual(box.problems, []);
  await box.close();
}

// History: typing at an earlier step branches, and Undo brings the steps
// after it back, Redo the branch; Reset can be undone. At the node bound an
// insertion is refused and nothing changes, the step line and the buttons
// included.
async function history(browser, url) {
  const ops = pieces[0].split(' ');
  const page = await openStill(browser, url + address(ops));
  await page.click('#steps li:nth-child(3) button');
  await type(page, '99');
  assert.equal(await stepCount(page), 4);
  assert.match(await text(page, '#message'), /4 steps after it went to the history: Undo brings them back/);
  assert.equal(new URL(page.url()).hash, '#ops=11,12,13,99');
  await page.click('#undo');
  assert.equal(await stepCount(page), 7);
  assert.equal(await drawn(page), expected[6].tree);
  assert.equal(new URL(page.url()).hash, address(ops));
  await page.click('#redo');
  assert.equal(await stepCount(page), 4);
  assert.ok((await drawn(page)).includes(':99/'), 'the branch is back');
  assert.equal(await page.$eval('#redo', (e) => e.disabled), true);
  await press(page, '#reset');
  assert.equal(await stepCount(page), 0);
  assert.equal(await page.$$eval('#tree g.node', (l) => l.length), 0);
  await page.click('#undo');
  assert.equal(await stepCount(page), 4);
  assert.deepEqual(page.problems, []);
  await page.close();

  const full = await openStill(browser, url + '#ops=' + scrambled(500).join(',') + ',?5');
  await full.click('#steps li:nth-child(500) button');
  const before = [await text(full, '#where'), await full.$eval('#next-step', (e) => e.disabled)];
  await type(full, '7');
  assert.equal(await stepCount(full), 501, 'the step after it stays');
  assert.match(await text(full, '#message'), /500 nodes.*nothing was changed/);
  assert.deepEqual([await text(full, '#where'), await full.$eval('#next-step', (e) => e.disabled)], before);
  assert.equal(await full.$eval('#ops', (e) => e.value), '7');
  assert.deepEqual(full.problems, []);
  await full.close();
}

// Keys and buttons: Space pauses and plays from the box (left empty) and
// from a button (which it does not press), the arrows then still walk the
// frames; Play waits for something to play; an empty box says what each
// button wants.
async function keysAndButtons(browser, url) {
  const page = await open(browser, url);
  assert.equal(await page.$eval('#play', (e) => e.disabled), true, 'Play on an empty page');
  for (const [button, said] of [['#search', 'Type a key to search for.'], ['#delete', 'Type a key to delete.'],
    ['#insert', 'Type keys to insert']]) {
    await page.click(button);
    assert.ok((await text(page, '#message')).startsWith(said), button);
  }
  await setSpeed(page, '0.25');
  await type(page, '1 2 3');
  await page.focus('#ops');
  await page.keyboard.press('Space');
  assert.equal(await page.$eval('#play', (e) => e.textContent), 'Play', 'Space in the box pauses');
  assert.equal(await page.$eval('#ops', (e) => e.value), '');
  await page.waitForSelector('#tree[data-state=still]');
  const at = await text(page, '#where');
  await page.keyboard.press('ArrowLeft');
  assert.notEqual(await text(page, '#where'), at, 'the arrows still work');
  await page.focus('#fit');
  await page.keyboard.press('Space');
  assert.equal(await page.$eval('#play', (e) => e.textContent), 'Pause', 'Space on a button plays');
  assert.equal(await page.$eval('#play', (e) => e.hasAttribute('aria-pressed')), false);
  assert.deepEqual(page.problems, []);
  await page.close();
}

// The exercise mode: the page asks before the frame that answers, checks
// the answer against the module's and keeps the score; a fresh exercise and
// a scenario lead to the case named.
async function exercise(browser, url, dir) {
  const page = await open(browser, url + '#ops=30,20');
  await setSpeed(page, '8');
  await press(page, '#exercise');
  await press(page, '#ask-balance');
  await page.$eval('#exercise-menu', (e) => { e.open = false; });
  await type(page, '10');
  const asked = async () => {
    await page.waitForSelector('#ask:not([hidden])');
    return text(page, '#ask-question');
  };
  const answer = async (choice) => {
    const buttons = await page.$$('#ask-answers button');
    for (const b of buttons) if ((await b.evaluate((e) => e.textContent)) === choice) { await b.click(); return; }
    throw new Error('no answer ' + choice);
  };
  assert.match(await asked(), /^Back at 20, its left subtree grew\. Which rotation/);
  if (dir) await page.screenshot({ path: join(dir, 'live_exercise.png') });
  await answer('LL');
  assert.equal(await text(page, '#score'), 'Score: 0 of 1');
  assert.match(await text(page, '#message'), /Not quite: the answer is none/);
  assert.match(await asked(), /^What balance factor does 20 get now\?/);  // the same frame's next question
  await answer('+1');
  assert.equal(await text(page, '#score'), 'Score: 1 of 2');
  await page.click('#play');
  assert.match(await asked(), /^Back at 30, its left subtree grew/);
  await answer('LL');
  assert.equal(await text(page, '#score'), 'Score: 2 of 3');
  // balance_right writes 30's factor, then 20's, before it turns.
  for (const key of ['30', '20']) {
    await page.click('#play');
    assert.match(await asked(), new RegExp('^What balance factor does ' + key + ' get now'));
    await answer('0');
  }
  assert.equal(await text(page, '#score'), 'Score: 4 of 5');
  await page.click('#play');
  assert.match(await asked(), /which key is the root\?/);
  await page.type('#ask-answers input', '20');
  await page.keyboard.press('Enter');
  assert.equal(await text(page, '#score'), 'Score: 5 of 6');
  await page.waitForSelector('#tree[data-state=still]');
  assert.match(await text(page, '#caption'), /single rotation \(left-left\) at 30; 20 is the tree's new root/);

  await press(page, '#exercise');  // off: the rest plays through
  await page.select('#case', 'RL');
  await press(page, '#fresh');
  await page.waitForFunction(() => document.querySelectorAll('#steps li').length === 3);
  await page.waitForSelector('#tree[data-state=still]');
  assert.match(await text(page, '#caption'), /double rotation \(right-left\)/);
  await page.select('#case', 'two-rotations');
  await press(page, '#fresh');
  await page.waitForFunction(() => document.querySelectorAll('#steps li').length === 13);
  await page.waitForSelector('#tree[data-state=still]');
  assert.match(await text(page, '#caption'), /^delete \d+: .*rotation .*then single rotation/);
  await press(page, '[data-scenario=two-rotations]');
  await page.waitForFunction(() => document.querySelectorAll('#steps li').length === 13);
  await page.waitForSelector('#tree[data-state=still]');
  assert.match(await text(page, '#caption'), /^delete 12: .*then single rotation/);
  assert.deepEqual(page.problems, []);
  await page.close();
}

// The drawing saved as SVG is a well-formed picture of the same nodes; in
// print, the whole tree is on the page, with the caption under it.
async function exportAndPrint(browser, url) {
  const page = await openStill(browser, url + address(pieces[0].split(' ')));
  await page.evaluate(() => {
    window.saved = null;
    const make = URL.createObjectURL;
    URL.createObjectURL = (blob) => { window.saved = blob; return make(blob); };
  });
  await press(page, '#export');
  const parsed = await page.evaluate(async () => {
    const doc = new DOMParser().parseFromString(await window.saved.text(), 'image/svg+xml');
    return {
      error: doc.querySelector('parsererror') !== null,
      root: doc.documentElement.nodeName,
      keys: [...doc.querySelectorAll('g.node')].map((g) => +g.getAttribute('data-key')).sort((a, b) => a - b),
      edges: doc.querySelectorAll('line.edge').length,
    };
  });
  const shown = (await page.$$eval('#tree g.node', (l) => l.map((g) => +g.dataset.key))).sort((a, b) => a - b);
  assert.deepEqual(parsed, { error: false, root: 'svg', keys: shown, edges: shown.length - 1 });

  await page.emulateMediaType('print');
  await page.evaluate(() => window.dispatchEvent(new Event('beforeprint')));
  const printed = await page.evaluate(() => {
    const svg = document.getElementById('tree').getBoundingClientRect();
    const caption = document.getElementById('caption');
    const nodes = [...document.querySelectorAll('#tree g.node ellipse')].map((e) => e.getBoundingClientRect());
    return {
      inside: nodes.filter((b) => b.left >= svg.left - 1 && b.right <= svg.right + 1 &&
        b.top >= svg.top - 1 && b.bottom <= svg.bottom + 1).length,
      width: svg.right <= document.documentElement.clientWidth + 1,
      caption: [caption.getBoundingClientRect().height > 0, caption.getBoundingClientRect().top >= svg.bottom - 1,
        caption.textContent],
    };
  });
  assert.deepEqual(printed, { inside: shown.length, width: true,
    caption: [true, true, await text(page, '#caption')] });
  assert.deepEqual(page.problems, []);
  await page.close();
}

// 1024x768 at 150% zoom: the whole tree panel is on the first screen after a
// build, the page does not scroll, and the panel stays put while the words
// below change.
async function projector(browser, url, dir) {
  const page = await browser.newPage();
  await page.setViewport({ width: 683, height: 512, deviceScaleFactor: 1.5 });
  await page.goto(url);
  await page.waitForSelector('body[data-ready=yes]');
  await page.$eval('#count', (e) => { e.value = '12'; });
  await press(page, '#random');
  const rects = [];
  for (let i = 0; i < 6; i++) {
    rects.push(await page.evaluate(() => [window.scrollY, document.documentElement.scrollHeight,
      ...Object.values(document.querySelector('.panel').getBoundingClientRect().toJSON()).slice(0, 4)].join(' ')));
    await new Promise((done) => setTimeout(done, 150));
  }
  await page.waitForSelector('#tree[data-state=still]', { timeout: 60000 });
  const [scroll, height, x, y, w, h] = rects[0].split(' ').map(Number);
  assert.equal(scroll, 0);
  assert.ok(height <= 512, 'the page does not scroll: ' + height);
  assert.ok(y >= 0 && y + h <= 512 && x >= 0 && x + w <= 683 && h > 250, 'the panel on screen: ' + rects[0]);
  assert.equal(new Set(rects).size, 1, 'the panel stays put: ' + rects.join(' | '));
  const inside = await onScreen(page);
  assert.equal(inside.inside, inside.count, 'the whole tree in its panel');
  if (dir) await page.screenshot({ path: join(dir, 'live_projector.png') });
  // The code beside the tree, which narrows for it and stays whole; the
  // line lit is in sight.
  await page.click('#side-toggle');
  await page.click('#sub-prev');
  await page.waitForSelector('#tree[data-state=still]');
  await new Promise((done) => setTimeout(done, 100));
  const beside = await page.evaluate(() => {
    const panel = document.querySelector('.panel').getBoundingClientRect();
    const side = document.getElementById('side').getBoundingClientRect();
    const lit = document.querySelector('#code [aria-current]').getBoundingClientRect();
    const at = document.querySelector('#tree g.at ellipse, #tree g.hit ellipse, #tree g.added ellipse');
    const node = at ? at.getBoundingClientRect() : panel;
    return [panel.right <= side.left + 1, lit.top >= side.top && lit.bottom <= side.bottom,
      node.left >= panel.left && node.right <= panel.right];
  });
  assert.deepEqual(beside, [true, true, true], 'the code beside the tree, its line and the node it is at in sight');
  await page.close();
}

// On a phone the box and the tree share the screen and the colour key is a
// click away; dark mode darkens the page and the nodes; the tree is also an
// outline of keys and factors. In both schemes every node's text keeps 4.5:1
// against its fill, and the marks against the page; its labels are 14 px or more.
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
  await page.click('#side-toggle');
  const key = await page.$eval('#legend', (e) => {
    const r = e.getBoundingClientRect();
    return [r.width > 0 && r.height > 0, r.left >= 0 && r.right <= 390 + 1];
  });
  assert.deepEqual(key, [true, true], 'the colour key on a phone');
  for (const scheme of ['dark', 'light']) {
    await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);
    const low = await page.evaluate(() => {
      const luminance = (color) => {
        const [r, g, b] = color.match(/\d+/g).slice(0, 3).map((v) => {
          const c = v / 255;
          return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
        });
        return 0.2126 * r + 0.7152 * g + 0.0722 * b;
      };
      const ratio = (a, b) => (Math.max(luminance(a), luminance(b)) + 0.05) / (Math.min(luminance(a), luminance(b)) + 0.05);
      const layer = document.querySelector('#tree .nodes');
      const paper = getComputedStyle(document.querySelector('.panel')).backgroundColor;
      const found = [];
      for (const lean of ['lean-left', 'balanced', 'lean-right']) {
        for (const state of ['', ' heavy', ' added', ' at', ' hit', ' path']) {
          const g = document.createElementNS('http://www.w3.org/2000/svg', 'g');
          g.setAttribute('class', 'node ' + lean + state);
          g.innerHTML = '<ellipse rx="20" ry="20"/><text class="key">1</text><text class="balance">0</text>';
          layer.appendChild(g);
          const fill = getComputedStyle(g.querySelector('ellipse')).fill;
          for (const t of g.querySelectorAll('text')) {
            if (parseFloat(getComputedStyle(t).fontSize) < 14) found.push(`${lean}${state} ${t.getAttribute('class')}: under 14 px`);
            const r = ratio(getComputedStyle(t).fill, fill);
            if (r < 4.5) found.push(`${lean}${state} ${t.getAttribute('class')}: ${r.toFixed(2)}`);
          }
          if (state) {
            const r = ratio(getComputedStyle(g.querySelector('ellipse')).stroke, paper);
            if (r < 4.5) found.push(`${lean}${state} mark: ${r.toFixed(2)}`);
          }
          g.remove();
        }
      }
      return found;
    });
    assert.deepEqual(low, [], scheme + ': contrast below 4.5:1');
  }
  await page.close();
}

// The README's pictures: the code panel during a double rotation, a 500-node
// tree fitted (fittedFiveHundred), the projector's screen (projector), the
// exercise mode asking (exercise) and the phone.
async function screenshots(browser, url, dir) {
  const script = pieces.join(' ').split(' ');
  const shot = await browser.newPage();
  await shot.setViewport({ width: 1280, height: 760 });
  await shot.goto(url + address(script.slice(0, 8)));
  await shot.waitForSelector('body[data-ready=yes]');
  await noAnimation(shot);
  await type(shot, '8');
  await shot.waitForSelector('#tree[data-state=still]');
  while ((await frameState(shot)).frame > 11) await shot.click('#sub-prev');
  await shot.screenshot({ path: join(dir, 'live_code.png') });
  await shot.close();

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
  await noAnimation(page);
  for (let i = 0; i < expected.length; i++) {
    await page.click(`#steps li:nth-child(${i + 1}) button`);
    assert.equal(await text(page, '#caption'), expected[i].caption, 'caption of step ' + (i + 1));
    assert.equal(await drawn(page), expected[i].tree, 'tree of step ' + (i + 1));
  }

  // The address holds the operations; a new page built from it has the same steps.
  const address = new URL(page.url()).hash;
  assert.equal(address, '#ops=' + words.join(' ').replace(/-d /g, '-').split(' ').join(','));
  const again = await open(browser, url + address);
  assert.equal(await stepCount(again), expected.length);
  assert.equal(await drawn(again), expected[expected.length - 1].tree);
  assert.equal(await text(again, '#caption'), expected[expected.length - 1].caption);
  await again.close();

  // Undo takes back the last change (the third piece typed), from the tree,
  // the list and the address; Redo brings it back, tree, caption and address
  // as they were.
  const whole = await drawn(page);
  await page.click('#undo');
  assert.equal(await stepCount(page), expected.length - 6);
  assert.equal(await drawn(page), expected[expected.length - 7].tree);
  assert.equal(await text(page, '#caption'), expected[expected.length - 7].caption);
  assert.ok(!new URL(page.url()).hash.includes(',-14'), 'the address still holds the undone steps');
  await page.click('#redo');
  assert.equal(await stepCount(page), expected.length);
  assert.equal(await drawn(page), whole);
  assert.equal(await text(page, '#caption'), expected[expected.length - 1].caption);
  assert.equal(new URL(page.url()).hash, address);
  await page.click('#undo');

  // Bad input: a message next to the box, and nothing changes.
  for (const [bad, said] of [['12 abc', 'abc: not a 32-bit key'],
    ['4294967296', '4294967296: out of range for a 32-bit key']]) {
    const before = await drawn(page);
    await type(page, bad);
    assert.match(await text(page, '#message'), new RegExp(said));
    assert.equal(await stepCount(page), expected.length - 6, bad);
    assert.equal(await drawn(page), before, bad);
    assert.equal(await page.$eval('#ops', (e) => e.value), bad, 'the box keeps ' + bad);
  }
  assert.deepEqual(page.problems, []);

  const shots = process.env.AVL_LIVE_SCREENSHOTS;
  await subSteps(browser, url);
  await nothingTold(browser, url);
  await failedDelete(browser, url);
  await queries(browser, url);
  await largeTree(browser, url);
  await fittedFiveHundred(browser, url, shots);
  await projector(browser, url, shots);
  await badAddresses(browser, url);
  await history(browser, url);
  await keysAndButtons(browser, url);
  await exercise(browser, url, shots);
  await exportAndPrint(browser, url);
  await phoneAndDark(browser, url);
  if (shots) await screenshots(browser, url, shots);
  console.log(`live page: ${expected.length} steps drawn and captioned as avl_dot --html does; ` +
    'sub-steps, queries, views, bounds and layouts checked');
} finally {
  await browser.close();
}
