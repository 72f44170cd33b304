// Debian's Chromium, headless, driven by playwright-core, on the page served
// from the browser edition's folder. Never a downloaded browser.
import { readFile } from 'node:fs/promises';
import { createRequire } from 'node:module';
import { chromium } from 'playwright-core';
import { serve } from '../page/serve.mjs';
import { CHROMIUM_FLAGS } from './chromium-flags.mjs';

export const WEB_DIR = process.env.ORB_WEB_DIR ?? new URL('../../build/web', import.meta.url).pathname;

/** Debian's Chromium with a fresh, temporary profile (playwright-core's launch gives one), and any further flags. */
export function launch(args = []) {
  return chromium.launch({ executablePath: process.env.ORB_CHROMIUM ?? '/usr/bin/chromium', args: [...CHROMIUM_FLAGS, ...args] });
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

/** A fresh browser context (its own storage) and a page on the simulator, ready to use; `touch` for a phone's taps. */
export async function openPage(browser, url, { width = 1280, height = 800, touch = false } = {}) {
  const context = await browser.newContext({ viewport: { width, height }, acceptDownloads: true, hasTouch: touch });
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

/** The text of a download. */
export async function textOf(download) {
  const chunks = [];
  for await (const chunk of await download.createReadStream()) chunks.push(chunk);
  return Buffer.concat(chunks).toString('utf8');
}

/** The text of a download started by clicking a button. */
export async function downloadOf(page, buttonName) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.getByRole('button', { name: buttonName }).click()]);
  return { name: download.suggestedFilename(), text: await textOf(download) };
}

const AXE = readFile(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');

/**
 * What axe-core finds against the WCAG 2 A and AA rules and its best
 * practices in the page as it is, one line per rule and element. It is
 * evaluated through the browser's debugging protocol, which the page's
 * policy against inline script does not cover.
 */
export async function accessibilityViolations(page) {
  if (!(await page.evaluate(() => 'axe' in window))) await page.evaluate(await AXE);
  const violations = await page.evaluate(async () => {
    const result = await window.axe.run(document, { resultTypes: ['violations'] });
    return result.violations.map((v) => v.nodes.map((n) => `${v.id}: ${n.target.join(' ')}: ${n.failureSummary.replace(/\s+/g, ' ')}`)).flat();
  });
  return violations;
}
