// Starting Debian's headless Chromium for the live page's scripts: a fresh
// profile, nothing that reaches for the network, and --no-sandbox only where
// the sandbox cannot work (as root).
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

// Exit status that CTest reads as "skipped" (SKIP_RETURN_CODE).
export const SKIP = 77;

export function skip(reason) {
  console.log('SKIPPED: ' + reason);
  process.exit(SKIP);
}

export async function loadPuppeteer() {
  try {
    return (await import('puppeteer-core')).default;
  } catch (error) {
    skip('puppeteer-core is not installed (run `npm ci` in tests/web): ' + error.message);
  }
}

export async function launch(puppeteer, executablePath) {
  const profile = mkdtempSync(join(tmpdir(), 'avl-live-'));
  const args = ['--disable-gpu', '--disable-background-networking', '--disable-component-update',
    '--disable-sync', '--no-first-run', '--disable-dev-shm-usage', '--user-data-dir=' + profile];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  const browser = await puppeteer.launch({
    executablePath, headless: 'shell', args, userDataDir: profile,
    defaultViewport: { width: 1100, height: 760 },
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    await close();
    rmSync(profile, { recursive: true, force: true });
  };
  return browser;
}

// Opens the page and waits until its WebAssembly module is ready.
export async function open(browser, url) {
  const page = await browser.newPage();
  const problems = [];
  page.on('pageerror', (error) => problems.push(error.message));
  page.on('request', (request) => {
    if (!request.url().startsWith('file:') && !request.url().startsWith('data:')) {
      problems.push('the page asked for ' + request.url());
    }
  });
  await page.goto(url);
  await page.waitForSelector('body[data-ready=yes]', { timeout: 20000 });
  page.problems = problems;
  return page;
}

// Ticks "No animation" (in the page's View menu), so that each step shows
// its last frame at once.
export async function noAnimation(page) {
  await page.$eval('#still', (e) => {
    e.checked = true;
    e.dispatchEvent(new Event('change'));
  });
}
