// Times the live page's steps on a tree of about 300 nodes in headless
// Chromium: the page is opened on 300 insertions of distinct keys (from its
// address), then 1,000 steps are typed without animation, alternately
// inserting a new key and deleting it again. Each step is timed from the
// Enter key to the end of the style and layout work its drawing causes.
//
//   node measure.mjs PAGE BROWSER [NODES] [STEPS]
import { launch, loadPuppeteer, open } from './browser.mjs';

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
  await page.click('#still');
  const result = await page.evaluate((count) => {
    const box = document.getElementById('ops');
    const svg = document.getElementById('tree');
    const times = [];
    for (let i = 0; i < count; i++) {
      box.value = (i % 2 ? '-d ' : '') + (5 + Math.floor(i / 2));
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
  }, count);
  console.log(`${count} steps on ${result.size} nodes (${result.steps} steps listed): ` +
    `mean ${result.mean.toFixed(2)} ms, median ${result.median.toFixed(2)} ms, ` +
    `95th percentile ${result.p95.toFixed(2)} ms per step`);
} finally {
  await browser.close();
}
