// Lighthouse against the server of `make web-run`, in Debian's Chromium, as
// a phone (Lighthouse's mobile setting) and as a desktop: prints each
// category's score and the page's load figures, and keeps the reports in
// the folder given. Usage: node audit.mjs WEB-FOLDER REPORT-FOLDER
import { mkdir, writeFile } from 'node:fs/promises';
import { join } from 'node:path';
import lighthouse from 'lighthouse';
import desktopConfig from 'lighthouse/core/config/desktop-config.js';
import * as chromeLauncher from 'chrome-launcher';
import { serve } from '../page/serve.mjs';
import { CHROMIUM_FLAGS } from '../e2e/chromium-flags.mjs';

const [folder, reports] = process.argv.slice(2);
if (!folder || !reports) {
  console.error('usage: node audit.mjs WEB-FOLDER REPORT-FOLDER');
  process.exit(2);
}
const METRICS = ['first-contentful-paint', 'largest-contentful-paint', 'total-blocking-time', 'cumulative-layout-shift', 'speed-index'];

await mkdir(reports, { recursive: true });
const { server, url, warm } = await serve(folder);
await warm();
const chrome = await chromeLauncher.launch({ chromePath: process.env.CHROME_PATH ?? '/usr/bin/chromium', chromeFlags: ['--headless=new', ...CHROMIUM_FLAGS] });
let failed = false;
try {
  for (const [form, config] of [['mobile', undefined], ['desktop', desktopConfig]]) {
    const result = await lighthouse(url, { port: chrome.port, output: ['html', 'json'], logLevel: 'error' }, config);
    const { categories, audits } = result.lhr;
    await writeFile(join(reports, `${form}.html`), result.report[0]);
    await writeFile(join(reports, `${form}.json`), result.report[1]);
    const scores = Object.values(categories).map((c) => `${c.title} ${Math.round(c.score * 100)}`);
    console.log(`${form}: ${scores.join(', ')}`);
    console.log(`  ${METRICS.map((id) => `${audits[id].title} ${audits[id].displayValue}`).join(', ')}`);
    for (const category of Object.values(categories))
      for (const ref of category.auditRefs) {
        const audit = audits[ref.id];
        if (ref.weight > 0 && audit.score !== null && audit.score < 1 && category.id !== 'performance')
          console.log(`  ${category.title}: ${audit.title}`);
      }
    if (categories.performance.score < 0.95) failed = true;
    for (const id of ['accessibility', 'best-practices', 'seo']) if (categories[id].score < 1) failed = true;
  }
} finally {
  await chrome.kill();
  server.closeAllConnections();
  server.close();
}
console.log(`The reports are in ${reports}`);
if (failed) {
  console.error('make web-audit: below the aim (performance 95, the other categories 100)');
  process.exit(1);
}
