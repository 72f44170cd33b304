// Debian's Chromium, headless, driven by playwright-core, on the page served
// from the browser edition's folder. Never a downloaded browser.
import { chromium } from 'playwright-core';
import { serve } from '../page/serve.mjs';

export const WEB_DIR = process.env.ORB_WEB_DIR ?? new URL('../../build/web', import.meta.url).pathname;

// This machine reaches no network but package registries: nothing that
// would call out, and a profile of its own each time.
const FLAGS = [
  '--no-sandbox',
  '--disable-gpu',
  '--disable-quic',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  // A bare machine or a chroot may have no shared memory folder.
  '--disable-dev-shm-usage',
];

/** Debian's Chromium with a fresh, temporary profile (playwright-core's launch gives one), and any further flags. */
export function launch(args = []) {
  return chromium.launch({ executablePath: process.env.ORB_CHROMIUM ?? '/usr/bin/chromium', args: [...FLAGS, ...args] });
}

/** The page's server and a browser; `args` are further flags for the browser. */
export async function start(args = []) {
  const { server, url } = await serve(WEB_DIR);
  const browser = await launch(args);
  return {
    url,
    browser,
    async stop() {
      await browser.close();
      await new Promise((done) => server.close(done));
    },
  };
}

/** A fresh browser context (its own storage) and a page on the simulator, ready to use. */
export async function openPage(browser, url, { width = 1280, height = 800 } = {}) {
  const context = await browser.newContext({ viewport: { width, height }, acceptDownloads: true });
  await context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: new URL(url).origin });
  // Whatever the page's policy blocks is a fault of the page: none is expected.
  await context.addInitScript(() => {
    window.policyViolations = [];
    document.addEventListener('securitypolicyviolation', (event) =>
      window.policyViolations.push(`${event.violatedDirective} ${event.blockedURI}`),
    );
  });
  const page = await context.newPage();
  const failures = [];
  page.on('pageerror', (error) => failures.push(error.message));
  page.on('dialog', (dialog) => {
    failures.push(`a dialog opened: ${dialog.message()}`);
    void dialog.dismiss();
  });
  await page.goto(url);
  await ready(page);
  return { context, page, failures };
}

export async function ready(page) {
  await page.locator('body[data-ready="true"]').waitFor({ timeout: 30_000 });
}

export function player(page, n) {
  return page.getByRole('region', { name: `Player ${n}`, exact: true });
}

/** Opens an army file through the "Open Armies..." button's file picker. */
export async function openArmies(page, file) {
  const [chooser] = await Promise.all([
    page.waitForEvent('filechooser'),
    page.getByRole('button', { name: 'Open Armies...' }).click(),
  ]);
  await chooser.setFiles(file);
}

/** Drops a file with this text onto the page, as a player drags one from a file manager. */
export async function dropFile(page, name, text) {
  const transfer = await page.evaluateHandle(
    ([name, text]) => {
      const data = new DataTransfer();
      data.items.add(new File([text], name, { type: 'application/json' }));
      return data;
    },
    [name, text],
  );
  for (const type of ['dragenter', 'dragover', 'drop']) await page.dispatchEvent('main', type, { dataTransfer: transfer });
}

export async function policyViolations(page) {
  return page.evaluate(() => window.policyViolations);
}

/** The text of a download started by clicking a button. */
export async function downloadOf(page, buttonName) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.getByRole('button', { name: buttonName }).click()]);
  const stream = await download.createReadStream();
  const chunks = [];
  for await (const chunk of stream) chunks.push(chunk);
  return { name: download.suggestedFilename(), text: Buffer.concat(chunks).toString('utf8') };
}
