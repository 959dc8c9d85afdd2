// The live page in headless Chromium against the native avl_dot --html:
// a script with every kind of step typed into the box, every step's drawn
// tree (keys, balance factors, edges) and caption compared with the static
// page's figure for the same step, then undo, the address round trip and
// bad input. Exits 77 (skipped) when the page, the browser or puppeteer-core
// is missing.
//
//   node live_test.mjs PAGE AVL_DOT BROWSER
//
// With AVL_LIVE_SCREENSHOT=file.png it also saves a picture of the page in
// the middle of a glide (the README's).
import { execFileSync } from 'node:child_process';
import { existsSync } from 'node:fs';
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

const expected = staticSteps(words);
const browser = await launch(puppeteer, browserPath);
try {
  const url = 'file://' + pagePath;
  const page = await open(browser, url);
  await setSpeed(page, '4');

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

  if (process.env.AVL_LIVE_SCREENSHOT) {
    // Mid-glide: the deletion that rotates twice, at a quarter speed.
    const shot = await open(browser, url + '#ops=' + words.slice(0, 18).join(',').replace(/-d,/g, '-'));
    await shot.setViewport({ width: 1100, height: 780 });
    await setSpeed(shot, '0.25');
    await type(shot, '-d 21');
    await new Promise((done) => setTimeout(done, 1300));
    await shot.screenshot({ path: process.env.AVL_LIVE_SCREENSHOT });
    await shot.close();
  }
  console.log(`live page: ${expected.length} steps drawn and captioned as avl_dot --html does`);
} finally {
  await browser.close();
}
