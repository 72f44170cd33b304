// Pictures of every state of a player's journey, as the player sees the
// screen at that moment, on a desktop (1280 x 800) and a phone (390 x 844);
// the journey's commands are used twice, so the pictures show the page
// after more than one use too. Usage: node screenshots.mjs OUTPUT-FOLDER
import { mkdir, rm } from 'node:fs/promises';
import { join } from 'node:path';
import { openArmies, openPage, player, ready, start } from './browser.mjs';

const out = process.argv[2];
if (!out) {
  console.error('usage: node screenshots.mjs OUTPUT-FOLDER');
  process.exit(2);
}
const ROOT = new URL('../../', import.meta.url).pathname;
const SAMPLE = join(ROOT, 'examples/armies.json');
const LARGEST = join(ROOT, 'bench/largest.json');

const SIZES = [
  ['desktop', 1280, 800],
  ['phone', 390, 844],
];

async function journey(browser, url, size, width, height) {
  // The page while its engine loads: held back here, so that the picture can be taken.
  const slow = await browser.newContext({ viewport: { width, height } });
  await slow.route('**/engine/index.js', async (route) => {
    await new Promise((done) => setTimeout(done, 2000));
    await route.continue();
  });
  const loading = await slow.newPage();
  await loading.goto(url);
  await loading.getByText('Loading the simulator...').waitFor();
  await loading.screenshot({ path: join(out, `${size}-00-loading.png`) });
  await slow.close();

  const { page, context } = await openPage(browser, url, { width, height });
  let step = 0;
  const shot = async (name, target) => {
    if (target) await target.scrollIntoViewIfNeeded();
    await page.waitForTimeout(150);
    await page.screenshot({ path: join(out, `${size}-${String(++step).padStart(2, '0')}-${name}.png`) });
  };
  const wizard = (n) => player(page, n).getByRole('textbox', { name: 'Wizard name' });
  const results = page.locator('#results');

  await shot('start');
  await openArmies(page, SAMPLE);
  await page.getByText('"armies.json" opened.').waitFor();
  await shot('sample-opened');

  const form = player(page, 2).getByRole('form', { name: 'Add a kind' });
  await form.getByRole('textbox', { name: 'Abbreviation' }).fill('GOD');
  await form.getByRole('textbox', { name: 'Number of units' }).fill('2');
  await page.waitForTimeout(200);
  await shot('add-form-filled', form);
  await form.getByRole('button', { name: 'Add Kind' }).click();
  await player(page, 2).getByRole('group', { name: 'Golden Dragons (GOD)' }).waitFor();
  await shot('kind-added', player(page, 2));

  const knights = player(page, 2).getByRole('group', { name: 'Knights (KNI)' });
  await knights.getByRole('textbox', { name: 'Position' }).fill('X');
  await knights.getByRole('textbox', { name: 'Position' }).press('Enter');
  await knights.getByText('Illegal Battle Position entered').waitFor();
  await shot('value-refused', knights);
  await knights.getByRole('textbox', { name: 'Position' }).press('Escape');

  await page.getByRole('button', { name: 'Create Battle Report' }).click();
  await page.getByRole('heading', { name: 'Battle Report' }).waitFor();
  await shot('battle-report', results);
  await page.getByRole('button', { name: 'Create Battle Report' }).click();
  await page.waitForTimeout(300);
  await shot('second-battle-report', results);
  const dragons = player(page, 2).getByRole('group', { name: 'Golden Dragons (GOD)' }).getByRole('textbox', { name: 'Units', exact: true });
  await dragons.fill('3');
  await dragons.press('Enter');
  await page.getByText('This report is of earlier armies').waitFor();
  await shot('report-of-earlier-armies', results);
  await page.getByRole('button', { name: 'Fight Again' }).click();
  await page.getByText('This report is of earlier armies').waitFor({ state: 'hidden' });

  await page.getByRole('textbox', { name: 'Runs' }).fill('200');
  await page.getByRole('button', { name: 'Simulate Battle' }).click();
  await page.getByRole('heading', { name: 'Simulation Result' }).waitFor({ timeout: 60_000 });
  await shot('simulation', results);
  await shot('simulation-charts', page.locator('.charts'));
  await page.getByRole('button', { name: 'Simulate Battle' }).click();
  await page.getByText('The average of 200 battles.').waitFor();
  await page.waitForTimeout(500);
  await shot('second-simulation', results);

  // A battle of the simulation: from the list, then from a click on each side's chart.
  const battle = page.locator('#run');
  const battleNote = battle.getByText(/Units left: /);
  await page.getByRole('combobox', { name: 'Show a battle of these...' }).selectOption({ label: 'The worst battle for side I' });
  await shot('battle-list', page.locator('.battle-pick'));
  await page.getByRole('button', { name: 'Show Battle' }).click();
  await battleNote.getByText(/^The worst battle for side I/).waitFor();
  await shot('battle-of-simulation', battle);
  await shot('battle-report-columns', battle.locator('.columns'));
  for (const [name, at] of [[/^Side II wins/, 0.3], [/^Side I wins/, 0.6]]) {
    const chart = page.getByRole('img', { name });
    await battle.getByRole('button', { name: 'Close' }).click();
    await chart.scrollIntoViewIfNeeded();
    const box = await chart.boundingBox();
    await chart.click({ position: { x: box.width * at, y: box.height / 2 } });
    await battleNote.getByText(/^A battle with/).waitFor();
  }
  await shot('battle-from-chart', battle);

  await openArmies(page, LARGEST);
  await page.getByRole('dialog').waitFor();
  await shot('replace-changed-armies');
  await page.getByRole('button', { name: 'Discard' }).click();
  await page.getByText('"largest.json" opened.').waitFor();
  await shot('opened-with-undo');
  await shot('battle-of-earlier-armies', battle.getByText('This battle is of earlier armies'));
  await page.getByRole('textbox', { name: 'Runs' }).fill('999');
  await page.getByRole('button', { name: 'Simulate Battle' }).click();
  await page.getByText(/^[1-9]\d* of 999 battles fought/).waitFor({ timeout: 60_000 });
  await shot('simulation-running', page.locator('#progress-box'));
  await page.getByRole('button', { name: 'Cancel' }).click();
  await page.getByText(/^Cancelled: the figures/).waitFor({ timeout: 30_000 });
  await shot('simulation-cancelled', results);
  await page.getByRole('combobox', { name: 'Show a battle of these...' }).selectOption({ label: 'The best battle for side I' });
  await page.getByRole('button', { name: 'Show Battle' }).click();
  await battleNote.getByText(/^The best battle for side I/).waitFor();
  await shot('battle-of-cancelled-simulation', battle);

  await page.getByRole('combobox', { name: 'Side' }).selectOption({ index: 1 });
  await page.getByRole('button', { name: 'Find the Force Needed' }).click();
  await page.getByText(/, [1-9]\d* battles? fought$/).waitFor({ timeout: 60_000 });
  await page.getByRole('button', { name: 'Cancel' }).click();
  await page.getByText(/^The search was cancelled after/).waitFor({ timeout: 30_000 });
  await shot('force-cancelled', page.locator('.force'));

  await openArmies(page, SAMPLE);
  await page.getByText('"armies.json" opened.').waitFor();
  await page.getByRole('combobox', { name: 'Side' }).selectOption({ index: 1 });
  await page.getByRole('combobox', { name: 'Kind' }).selectOption({ label: 'Knights (KNI)' });
  await page.getByRole('textbox', { name: 'Largest number' }).fill('300');
  await page.getByRole('button', { name: 'Find the Force Needed' }).click();
  await page.getByLabel('Force needed').getByText(/Knights win/).first().waitFor({ timeout: 60_000 });
  await shot('force-found', page.locator('.force'));
  await page.getByRole('button', { name: 'Apply' }).click();
  await page.getByText(/now number \d+/).waitFor();
  await shot('force-applied', player(page, 2));
  await shot('simulation-of-earlier-armies', results);
  const knightsUnits = player(page, 2).getByRole('group', { name: 'Knights (KNI)' }).getByRole('textbox', { name: 'Units', exact: true });
  await knightsUnits.fill('50');
  await knightsUnits.press('Enter');
  await page.getByText('This answer is of earlier armies').waitFor();
  await shot('force-answer-of-earlier-armies', page.locator('.force'));

  const other = await context.newPage();
  await other.goto(url);
  await ready(other);
  const otherKnights = player(other, 2).getByRole('group', { name: 'Knights (KNI)' }).getByRole('textbox', { name: 'Units', exact: true });
  await otherKnights.fill('77');
  await otherKnights.press('Enter');
  await page.getByText('The armies have been changed in another tab.').waitFor();
  await shot('other-tab-offer');
  await page.getByRole('button', { name: 'Show Them' }).click();
  await page.getByText("The other tab's armies are shown.").waitFor();
  await shot('other-tab-taken');
  await other.close();

  await page.getByRole('button', { name: 'Help' }).click();
  await page.getByRole('dialog', { name: 'How to Play' }).waitFor();
  await shot('help');
  await page.getByRole('dialog', { name: 'How to Play' }).getByText('The battle position').scrollIntoViewIfNeeded();
  await shot('help-codes');
  await page.getByRole('dialog', { name: 'How to Play' }).getByRole('button', { name: 'Close' }).click();

  await page.reload();
  await ready(page);
  await shot('reloaded');

  await page.getByRole('button', { name: 'Share Link' }).click();
  await page.locator('#share-box').waitFor();
  await shot('share-link');
  const friend = await openPage(browser, page.url(), { width, height });
  await friend.page.screenshot({ path: join(out, `${size}-${String(++step).padStart(2, '0')}-link-opened.png`) });
  await friend.context.close();

  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.getByRole('button', { name: 'Open Armies...' }).click()]);
  await chooser.setFiles({ name: 'broken.json', mimeType: 'application/json', buffer: Buffer.from('{"format": ') });
  await page.getByText(/is not an army file/).waitFor();
  await shot('hostile-file-refused');

  await wizard(1).fill('<img src=x onerror=alert(1)>');
  await wizard(1).press('Enter');
  await page.getByRole('button', { name: 'Create Battle Report' }).click();
  await page.waitForTimeout(300);
  await shot('markup-name-as-text', results);

  await page.evaluate(() => {
    localStorage.setItem('orb-battle-armies', '{"format": "orb-battle-armies", "players": [tru');
    sessionStorage.clear();
  });
  await page.reload();
  await ready(page);
  await page.getByText(/could not be read/).waitFor();
  await shot('unreadable-armies-set-aside');

  await page.screenshot({ path: join(out, `${size}-${String(++step).padStart(2, '0')}-whole-page.png`), fullPage: true });
  await context.close();
  return step;
}

await rm(out, { recursive: true, force: true });
await mkdir(out, { recursive: true });
const session = await start();
try {
  for (const [size, width, height] of SIZES) {
    const pictures = await journey(session.browser, session.url, size, width, height);
    console.log(`${pictures} pictures at ${width} x ${height}`);
  }
} finally {
  await session.stop();
}
console.log(`The pictures are in ${out}`);
