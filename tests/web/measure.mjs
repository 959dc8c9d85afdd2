// Times the live page's steps on a tree of NODES nodes (300 unless given) in
// headless Chromium: the page is opened on NODES insertions of distinct keys
// (from its address), then STEPS steps (1,000) are typed without animation,
// alternately deleting one of the keys and inserting it again, so that the
// tree keeps NODES - 1 or NODES nodes (500, the page's most, works too). Each
// step is timed from the Enter key to the end of the style and layout work
// its drawing causes; the page's own work for the step (the C++ describing
// it, the tree as text for screen readers) is all inside that span.
//
//   node measure.mjs PAGE BROWSER [NODES] [STEPS]
import { launch, loadPuppeteer, noAnimation, open } from './browser.mjs';

const [pagePath, browserPath, nodesText, stepsText] = process.argv.slice(2);
const nodes = Number(nodesText || 300);
const count = Number(stepsText || 1000);
const puppeteer = await loadPuppeteer();

// Distinct keys in a scrambled order, the same on every run.
const keys = [];
for (let i = 0, k = 7; i < nodes; i++) {
  k = (k * 48271) % 2147483647;
  keys.push((k % 1000000) * nodes + i);
}
const browser = await launch(puppeteer, browserPath);
try {
  const page = await open(browser, 'file://' + pagePath + '#ops=' + keys.join(','));
  await noAnimation(page);
  const result = await page.evaluate((count, keys) => {
    const box = document.getElementById('ops');
    const svg = document.getElementById('tree');
    const times = [];
    for (let i = 0; i < count; i++) {
      box.value = (i % 2 ? '' : '-d ') + keys[Math.floor(i / 2) % keys.length];
      const start = performance.now();
      box.dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter', bubbles: true }));
      svg.getBoundingClientRect();
      document.body.offsetHeight;
      times.push(performance.now() - start);
    }
    times.sort((a, b) => a - b);
    return {
      size: document.querySelectorAll('#tree g.node').length,
      steps: document.querySelectorAll('#steps li').length,
      mean: times.reduce((a, b) => a + b, 0) / times.length,
      median: times[Math.floor(times.length / 2)],
      p95: times[Math.floor(times.length * 0.95)],
    };
  }, count, keys);
  console.log(`${count} steps on ${result.size} nodes (${result.steps} steps listed): ` +
    `mean ${result.mean.toFixed(2)} ms, median ${result.median.toFixed(2)} ms, ` +
    `95th percentile ${result.p95.toFixed(2)} ms per step`);
} finally {
  await browser.close();
}
