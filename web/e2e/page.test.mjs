// The page in a real browser, found by role and accessible name as a
// screen reader finds it: a player's journey from the sample file to a
// shared link, and hostile files, links and names.
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { request } from 'node:http';
import { appendFile, cp, mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { promisify } from 'node:util';
import { deflateRawSync } from 'node:zlib';
import { serve } from '../page/serve.mjs';
import { WEB_DIR, accessibilityViolations, textOf, downloadOf, dropFile, launch, openArmies, openPage, player, policyViolations, ready, start } from './browser.mjs';

const ROOT = new URL('../../', import.meta.url).pathname;
const SAMPLE = join(ROOT, 'examples/armies.json');
const LARGEST = join(ROOT, 'bench/largest.json');
const ORBSIM = process.env.ORB_ORBSIM ?? join(ROOT, 'build/orbsim');

let session;
before(async () => {
  session = await start();
});
after(async () => {
  await session?.stop();
});

/** Retries an assertion until it holds or the time is up. */
async function eventually(check, timeout = 15_000) {
  const end = Date.now() + timeout;
  for (;;) {
    try {
      return await check();
    } catch (error) {
      if (Date.now() > end) throw error;
      await new Promise((done) => setTimeout(done, 100));
    }
  }
}

const kind = (page, n, name) => player(page, n).getByRole('group', { name, exact: true });
const units = (page, n, name) => kind(page, n, name).getByRole('textbox', { name: 'Units', exact: true });
const notice = (page) => page.getByRole('status');
const question = (page) => page.getByRole('dialog');
const linkTo = async (url, file) => `${url}#armies=${deflateRawSync(await readFile(file)).toString('base64url')}`;

/** axe-core finds nothing in the state the page is in. */
async function accessible(page, state) {
  assert.deepEqual(await accessibilityViolations(page), [], `axe-core, ${state}`);
}

async function canvasIsDrawn(page, canvas) {
  return canvas.evaluate((element) => {
    const { data } = element.getContext('2d').getImageData(0, 0, element.width, element.height);
    for (let i = 3; i < data.length; i += 4) if (data[i] !== 0) return true;
    return false;
  });
}

test("a player's journey", async (t) => {
  const { page, failures } = await openPage(session.browser, session.url);

  await t.test('the keyboard reaches the file commands, then player 1, player 2 and the battle commands in order', async () => {
    await accessible(page, 'start');
    const names = [];
    for (let i = 0; i < 40; ++i) {
      await page.keyboard.press('Tab');
      names.push(
        await page.evaluate(() => {
          const element = document.activeElement;
          const region = element.closest('section[aria-labelledby]')?.querySelector('h2')?.textContent ?? '';
          const name = element.getAttribute('aria-label') ?? element.labels?.[0]?.textContent ?? element.textContent;
          return `${region}: ${name.trim()}`;
        }),
      );
    }
    assert.deepEqual(names.slice(0, 6), [
      ': Open Armies...',
      ': Save Armies...',
      ': Share Link',
      ': Help',
      'Player 1: Player number',
      'Player 1: Wizard name',
    ]);
    const at = (name) => names.indexOf(name);
    assert.ok(at('Player 1: Add Kind') < at('Player 2: Player number'), names.join('\n'));
    assert.ok(at('Player 2: Add Kind') < at('Battle: Create Battle Report'), names.join('\n'));
  });

  await t.test('the sample file opens', async () => {
    await openArmies(page, SAMPLE);
    await eventually(async () => assert.equal(await player(page, 1).getByRole('textbox', { name: 'Wizard name' }).inputValue(), 'Morgana'));
    assert.equal(await units(page, 1, 'Archers (ARC)').inputValue(), '20');
    assert.equal(await units(page, 1, 'Golden Dragons (GOD)').inputValue(), '5');
    assert.equal(await units(page, 2, 'Knights (KNI)').inputValue(), '30');
    await accessible(page, 'armies entered');
  });

  await t.test("a kind is added by its abbreviation, with the catalogue's values", async () => {
    const form = player(page, 2).getByRole('form', { name: 'Add a kind' });
    await form.getByRole('combobox', { name: 'Search the catalogue' }).fill('Golden Dragons (GOD)');
    await eventually(async () => assert.equal(await form.getByRole('textbox', { name: 'Abbreviation' }).inputValue(), 'GOD'));
    await eventually(async () => assert.equal(await form.getByRole('textbox', { name: 'Hit points' }).inputValue(), '6'));
    await form.getByRole('textbox', { name: 'Abbreviation' }).fill('arc');
    await eventually(async () => assert.equal(await form.getByRole('textbox', { name: 'Full name' }).inputValue(), 'Archers'));
    await form.getByRole('textbox', { name: 'Number of units' }).fill('10');
    await form.getByRole('button', { name: 'Add Kind' }).click();
    await eventually(async () => assert.equal(await units(page, 2, 'Archers (arc)').inputValue(), '10'));
    const archers = kind(page, 2, 'Archers (arc)');
    assert.equal(await archers.getByRole('textbox', { name: 'Ranged offense' }).inputValue(), '2');
    assert.equal(await form.getByText("10 units of Archers added to player 2's army.").count(), 1);
  });

  await t.test("the add form refuses a value in the add dialog's words", async () => {
    const form = player(page, 1).getByRole('form', { name: 'Add a kind' });
    await form.getByRole('textbox', { name: 'Abbreviation' }).fill('KNI');
    await eventually(async () => assert.equal(await form.getByRole('textbox', { name: 'Full name' }).inputValue(), 'Knights'));
    await form.getByRole('textbox', { name: 'Number of units' }).fill('0');
    await form.getByRole('button', { name: 'Add Kind' }).click();
    await eventually(async () =>
      assert.equal(
        await form.getByRole('alert').textContent(),
        'Illegal Number of units\nNot all data have been inserted corretly. As a result, no units have been added to your army.',
      ),
    );
    await form.getByRole('textbox', { name: 'Number of units' }).fill('1');
    await form.getByRole('button', { name: 'Add Kind' }).click();
    await eventually(async () => assert.equal(await form.getByText("1 unit of Knights added to player 1's army.").count(), 1));
    // The next step's first change takes the last step's message away.
    await kind(page, 1, 'Knights (KNI)').getByRole('button', { name: 'Remove Kind' }).click();
    await eventually(async () => assert.equal(await form.getByText(/added to player 1's army/).count(), 0));
  });

  await t.test("a value out of the dialogs' limits is refused beside its field and changes nothing", async () => {
    const knights = kind(page, 2, 'Knights (KNI)');
    await knights.getByRole('textbox', { name: 'Offense', exact: true }).fill('-5');
    await knights.getByRole('textbox', { name: 'Offense', exact: true }).press('Enter');
    await eventually(async () => assert.match(await knights.textContent(), /Illegal Offense value entered/));
    await knights.getByRole('textbox', { name: 'Offense', exact: true }).press('Escape');
    const saved = JSON.parse((await downloadOf(page, 'Save Armies...')).text);
    assert.equal(saved.players[1].kinds[0].offense, 4);
  });

  await t.test('Create Battle Report shows both columns, and copies and saves them', async () => {
    await page.getByRole('button', { name: 'Create Battle Report' }).click();
    await page.getByRole('heading', { name: 'Battle Report' }).waitFor();
    const sideI = await page.getByLabel('Side I', { exact: true }).textContent();
    const sideII = await page.getByLabel('Side II', { exact: true }).textContent();
    assert.match(sideI, /^BATLLE:\s+SIDE I\nWizard 1 : Morgana/);
    assert.match(sideII, /^BATLLE:\s+SIDE II\nWizard 2 : Aldric[\s\S]*Archers/);
    const saved = await downloadOf(page, 'Save Report...');
    assert.ok(saved.text.includes(sideI) && saved.text.includes(sideII), 'the saved report holds both columns');
    await page.getByRole('button', { name: 'Copy Report' }).click();
    await eventually(async () => assert.equal(await page.evaluate(() => navigator.clipboard.readText()), saved.text));
    await accessible(page, 'a battle report');
  });

  await t.test('a report of earlier armies is marked as such at once, with Fight Again at hand', async () => {
    const earlier = page.getByText('This report is of earlier armies: the armies have changed since.');
    assert.equal(await earlier.isVisible(), false);
    await units(page, 2, 'Archers (arc)').fill('11');
    await units(page, 2, 'Archers (arc)').press('Enter');
    await earlier.waitFor();
    await page.getByRole('button', { name: 'Fight Again' }).click();
    await earlier.waitFor({ state: 'hidden' });
    assert.match(await page.getByLabel('Side II', { exact: true }).textContent(), /Archers\s+:\s+11/);
  });

  await t.test('a simulation of 200 runs shows the averages, the odds and both charts', async () => {
    await page.getByRole('textbox', { name: 'Runs' }).fill('200');
    await page.getByRole('button', { name: 'Simulate Battle' }).click();
    await page.getByRole('heading', { name: 'Simulation Result' }).waitFor({ timeout: 60_000 });
    assert.equal(await page.locator('#results-note').textContent(), 'The average of 200 battles.');
    const saved = await downloadOf(page, 'Save Report...');
    assert.match(saved.text, /ODDS OVER 200 RUNS:/);
    await page.getByRole('button', { name: 'Copy Report' }).click();
    // The copy is the columns alone, as the desktop copies them; the file adds the odds.
    await eventually(async () => assert.equal(await page.evaluate(() => navigator.clipboard.readText()), saved.text.slice(0, saved.text.indexOf('\nODDS OVER')))); 
    // The table tells the same simulation as the saved report.
    const wins = /Side I  wins:\s+([\d.]+%)/.exec(saved.text)[1];
    const table = page.getByRole('table', { name: 'Chances and units left per battle' });
    assert.match(await table.textContent(), new RegExp(`Side I \\(Wizard 1 : Morgana\\) wins ${wins.replace('.', '\\.')}`));
    for (const name of [/^Side I wins/, /^Side II wins/]) {
      const chart = page.getByRole('img', { name });
      assert.ok(await canvasIsDrawn(page, chart), `${name} is drawn`);
    }
    await accessible(page, 'a simulation with its charts');
  });

  await t.test('Cancel stops 999 runs of the largest armies at once', async () => {
    await openArmies(page, LARGEST);
    // The armies have been changed since the sample was opened.
    await question(page).getByRole('button', { name: 'Discard' }).click();
    await eventually(async () => assert.match(await notice(page).textContent(), /largest\.json" opened/));
    await page.getByRole('textbox', { name: 'Runs' }).fill('999');
    await page.getByRole('button', { name: 'Simulate Battle' }).click();
    const label = page.locator('#progress-label');
    await eventually(async () => assert.match(await label.textContent(), /^[1-9]\d* of 999 battles fought/), 60_000);
    const pressed = Date.now();
    await page.getByRole('button', { name: 'Cancel' }).click();
    await eventually(async () => assert.equal(await page.getByRole('button', { name: 'Simulate Battle' }).isEnabled(), true), 10_000);
    // All 999 runs would take minutes; the engine's own test times the
    // workers' stop closely, on a machine this test shares with builds.
    const took = Date.now() - pressed;
    assert.ok(took < 5_000, `the page was busy ${took} ms after Cancel`);
    await eventually(async () => assert.match(await page.locator('#results-note').textContent(), /^Cancelled: the figures are those of the \d+ of 999 battles fought\.$/));
  });

  let needed;
  await t.test('the force finder finds the knights needed, and Apply sets them', async () => {
    await openArmies(page, SAMPLE);
    await eventually(async () => assert.equal(await units(page, 2, 'Knights (KNI)').inputValue(), '30'));
    await page.getByRole('combobox', { name: 'Side' }).selectOption({ index: 1 });
    await page.getByRole('combobox', { name: 'Kind' }).selectOption({ label: 'Knights (KNI)' });
    await page.getByRole('textbox', { name: 'Wanted chance (%)' }).fill('90');
    await page.getByRole('textbox', { name: 'Largest number' }).fill('300');
    await page.getByRole('button', { name: 'Find the Force Needed' }).click();
    const lines = page.getByLabel('Force needed');
    await eventually(async () => assert.match(await lines.textContent(), /^\d+ Knights win/), 60_000);
    needed = /^(\d+) Knights win/.exec(await lines.textContent())[1];
    assert.ok(await canvasIsDrawn(page, page.getByRole('img', { name: /^Knights of player 2/ })));
    assert.equal(await page.getByText(`Apply sets Knights to ${needed} units.`).count(), 1);
    await accessible(page, "the force finder's answer");
    await page.getByRole('button', { name: 'Apply' }).click();
    await eventually(async () => assert.equal(await units(page, 2, 'Knights (KNI)').inputValue(), needed));
  });

  let savedFile;
  await t.test('the saved armies open in orbsim, and open again in the page when dropped onto it', async () => {
    const saved = await downloadOf(page, 'Save Armies...');
    assert.equal(saved.name, 'armies.json');
    savedFile = join(await mkdtemp(join(tmpdir(), 'orb-page-')), saved.name);
    await writeFile(savedFile, saved.text);
    const { stdout } = await promisify(execFile)(ORBSIM, [savedFile, '--report', '--seed', '1']);
    assert.match(stdout, /Wizard 1 : Morgana/);
    assert.match(stdout, new RegExp(`Knights\\s+:\\s+${needed}\\n`));

    await kind(page, 1, 'Golden Dragons (GOD)').getByRole('button', { name: 'Remove Kind' }).click();
    await eventually(async () => assert.equal(await kind(page, 1, 'Golden Dragons (GOD)').count(), 0));
    // The armies have been changed since they were saved: the desktop's question first.
    const text = await readFile(savedFile, 'utf8');
    await dropFile(page, 'armies.json', text);
    await question(page).getByRole('button', { name: 'Discard' }).click();
    await eventually(async () => assert.equal(await units(page, 1, 'Golden Dragons (GOD)').inputValue(), '5'));
    assert.equal(await units(page, 2, 'Knights (KNI)').inputValue(), needed);
  });

  await t.test('a file over changed armies asks Save, Discard or Cancel, and Undo brings the armies before back', async () => {
    const text = await readFile(savedFile, 'utf8');
    await kind(page, 1, 'Golden Dragons (GOD)').getByRole('button', { name: 'Remove Kind' }).click();
    await eventually(async () => assert.equal(await kind(page, 1, 'Golden Dragons (GOD)').count(), 0));
    const asked = question(page);
    await dropFile(page, 'armies.json', text);
    await asked.waitFor();
    assert.equal(
      await asked.textContent().then((t) => t.replace(/\s+/g, ' ').trim()),
      'The armies have been changed since "armies.json" was opened or saved. Do you want to save your changes? SaveDiscardCancel',
    );
    await asked.getByRole('button', { name: 'Cancel' }).click();
    await eventually(async () => assert.equal(await notice(page).textContent(), '"armies.json" was not opened: your armies are as they were.'));
    assert.equal(await kind(page, 1, 'Golden Dragons (GOD)').count(), 0);

    await dropFile(page, 'armies.json', text);
    const [download] = await Promise.all([page.waitForEvent('download'), asked.getByRole('button', { name: 'Save' }).click()]);
    const savedFirst = JSON.parse(await textOf(download));
    assert.equal(savedFirst.players[0].kinds.length, 1, 'Save saved the changed armies, without the dragons');
    await eventually(async () => assert.equal(await units(page, 1, 'Golden Dragons (GOD)').inputValue(), '5'));

    await page.getByRole('button', { name: 'Undo' }).click();
    await eventually(async () => assert.equal(await kind(page, 1, 'Golden Dragons (GOD)').count(), 0));
    await dropFile(page, 'armies.json', text);
    // Saved just now, the armies before are unchanged: nothing to ask.
    await eventually(async () => assert.equal(await units(page, 1, 'Golden Dragons (GOD)').inputValue(), '5'));
  });

  await t.test('a reload keeps the armies', async () => {
    await page.reload();
    await ready(page);
    assert.equal(await units(page, 2, 'Knights (KNI)').inputValue(), needed);
    assert.equal(await units(page, 1, 'Golden Dragons (GOD)').inputValue(), '5');
  });

  await t.test('a shared link shows its armies in a fresh browser, and nothing else happens', async () => {
    await page.getByRole('button', { name: 'Share Link' }).click();
    await eventually(async () => assert.match(page.url(), /#armies=[A-Za-z0-9_-]+$/));
    await accessible(page, 'the share box');
    const link = page.url();
    const friend = await openPage(session.browser, link);
    assert.equal(await units(friend.page, 2, 'Knights (KNI)').inputValue(), needed);
    assert.equal(await player(friend.page, 1).getByRole('textbox', { name: 'Wizard name' }).inputValue(), 'Morgana');
    assert.equal(await friend.page.getByRole('heading', { name: /Battle Report|Simulation Result/ }).count(), 0);
    assert.equal(await friend.page.getByRole('button', { name: 'Cancel' }).isVisible(), false);
    assert.deepEqual(friend.failures, []);
    await friend.context.close();
  });

  await t.test('help is at hand, on the position and type codes too', async () => {
    await page.getByRole('button', { name: 'Help' }).click();
    const help = page.getByRole('dialog', { name: 'How to Play' });
    await help.waitFor();
    assert.match(await help.textContent(), /F foot, M mounted, G go anywhere/);
    assert.match(await help.textContent(), /O, S, U or H/);
    await accessible(page, 'help');
    await help.getByRole('button', { name: 'Close' }).click();
    await help.waitFor({ state: 'hidden' });
  });

  assert.deepEqual(failures, []);
  assert.deepEqual(await policyViolations(page), []);
});

test("a battle needs units on both sides, player 1 asked first, in the desktop's words", async () => {
  const { page, context } = await openPage(session.browser, session.url);
  const report = page.getByRole('button', { name: 'Create Battle Report' });
  const simulate = page.getByRole('button', { name: 'Simulate Battle' });
  const said = async (button, text) => {
    await button.click();
    await eventually(async () => assert.equal(await page.getByRole('alert').filter({ hasText: /./ }).first().textContent(), text));
  };
  await said(report, 'Player 1 does not have an army yet. No battle could take place');
  await said(simulate, 'Player 1 does not have an army yet. As a result no simulation can be run.');
  const form = player(page, 1).getByRole('form', { name: 'Add a kind' });
  await form.getByRole('textbox', { name: 'Abbreviation' }).fill('KNI');
  await eventually(async () => assert.equal(await form.getByRole('textbox', { name: 'Full name' }).inputValue(), 'Knights'));
  await form.getByRole('textbox', { name: 'Number of units' }).fill('3');
  await form.getByRole('button', { name: 'Add Kind' }).click();
  await units(page, 1, 'Knights (KNI)').waitFor();
  await said(report, 'Player 2 does not have an army yet. No battle could take place');
  await said(simulate, 'Player 2 does not have an army yet. As a result no simulation can be run.');
  assert.equal(await page.getByRole('heading', { name: /Battle Report|Simulation Result/ }).count(), 0);
  await context.close();
});

const HOSTILE = '<img src=x onerror=alert(1)>';

async function sampleWith(change) {
  const armies = JSON.parse(await readFile(SAMPLE, 'utf8'));
  change(armies);
  return JSON.stringify(armies);
}

test('hostile names, files and links change nothing and run nothing', async (t) => {
  const { page, context, failures } = await openPage(session.browser, session.url);
  await openArmies(page, SAMPLE);
  await eventually(async () => assert.equal(await units(page, 2, 'Knights (KNI)').inputValue(), '30'));

  const unchanged = async () => {
    assert.equal(await player(page, 1).getByRole('textbox', { name: 'Wizard name' }).inputValue(), 'Morgana');
    assert.equal(await units(page, 2, 'Knights (KNI)').inputValue(), '30');
  };

  await t.test("each hostile file gets the reader's message and changes nothing", async () => {
    const files = [
      ['not JSON', 'notes.txt', Buffer.from('this is no army file'), /^"notes\.txt" is not an army file, so nothing was changed\. \(Not JSON: /],
      ['larger than any army file', 'huge.json', Buffer.alloc(17 * 1024 * 1024, 0x20), /^The armies in "huge\.json" could not be opened: the file is too large for an army file/],
      ['nested 10,000 levels deep', 'deep.json', Buffer.from('['.repeat(10_000) + ']'.repeat(10_000)), /^"deep\.json" is not an army file, so nothing was changed\. \(It nests more than \d+ levels deep\.\)$/],
      ['a number out of range', 'range.json', Buffer.from(await sampleWith((a) => (a.players[1].kinds[0].number = 10_000))), /^The armies in "range\.json" could not be opened: player 2, kind 1 \("Knights"\): "number" must be a whole number from 1 to 9999\. Nothing has been changed\.$/],
    ];
    for (const [what, name, buffer, message] of files) {
      const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.getByRole('button', { name: 'Open Armies...' }).click()]);
      await chooser.setFiles({ name, mimeType: 'application/json', buffer });
      await eventually(async () => assert.match(await notice(page).textContent(), message, what));
      await unchanged();
    }
  });

  await t.test('each hostile link gets a message and changes nothing', async () => {
    const link = (bytes) => `${session.url}#armies=${bytes.toString('base64url')}`;
    const links = [
      ['not base64', `${session.url}#armies=<script>`, /the link is damaged/],
      ['not compressed', link(Buffer.from('plain text')), /the link is damaged/],
      ['not JSON', link(deflateRawSync('no armies here')), /not JSON/],
      ['unpacking into a huge text', link(deflateRawSync(Buffer.alloc(64 * 1024 * 1024, 0x5b))), /too large for an army file/],
      ['a number out of range', link(deflateRawSync(await sampleWith((a) => (a.players[0].kinds[0].offense = 1000)))), /"offense" must be a whole number from 0 to 999/],
    ];
    for (const [what, address, message] of links) {
      await page.goto('about:blank');
      await page.goto(address);
      await ready(page);
      await eventually(async () => assert.match(await notice(page).textContent(), message, what));
      await unchanged();
      assert.equal(new URL(page.url()).hash, '', `${what}: the link is not opened again by a reload`);
    }
  });

  await t.test('names with markup are shown as text', async () => {
    await openArmies(page, {
      name: 'markup.json',
      mimeType: 'application/json',
      buffer: Buffer.from(await sampleWith((a) => (a.players[0].kinds[0].name = HOSTILE))),
    });
    await eventually(async () => assert.equal(await kind(page, 1, `${HOSTILE} (ARC)`).count(), 1));
    const name = player(page, 2).getByRole('textbox', { name: 'Wizard name' });
    await name.fill(HOSTILE);
    await name.press('Tab');
    await eventually(async () => assert.match(await page.getByRole('combobox', { name: 'Side' }).textContent(), /Wizard 2 : <img src=x onerror=alert\(1\)>/));
    await page.getByRole('button', { name: 'Create Battle Report' }).click();
    await eventually(async () => assert.ok((await page.getByLabel('Side II', { exact: true }).textContent()).includes(`Wizard 2 : ${HOSTILE}`)));
    assert.equal(await page.locator('img[src="x"]').count(), 0);
  });

  await t.test('the page allows neither eval nor inline script', async () => {
    // Code run from the test itself is exempt from the page's policy; a
    // timer given text and an added script element are not.
    const outcome = await page.evaluate(async () => {
      const blocked = [];
      document.addEventListener('securitypolicyviolation', (event) => blocked.push(event.violatedDirective));
      setTimeout('window.evalRan = true', 0);
      const script = document.createElement('script');
      script.textContent = 'window.inlineRan = true';
      document.head.append(script);
      await new Promise((done) => setTimeout(done, 200));
      return { ran: [window.evalRan, window.inlineRan].some(Boolean), blocked: blocked.sort() };
    });
    assert.deepEqual(outcome, { ran: false, blocked: ['script-src', 'script-src-elem'] });
  });

  assert.deepEqual(failures, []);
  await context.close();
});

async function addKind(page, n, abbreviation, number) {
  const form = player(page, n).getByRole('form', { name: 'Add a kind' });
  await form.getByRole('textbox', { name: 'Abbreviation' }).fill(abbreviation);
  await eventually(async () => assert.notEqual(await form.getByRole('textbox', { name: 'Full name' }).inputValue(), ''));
  await form.getByRole('textbox', { name: 'Number of units' }).fill(String(number));
  await form.getByRole('button', { name: 'Add Kind' }).click();
  await eventually(async () => assert.match(await form.textContent(), /added to player/));
}

test('a link opened in a tab already open asks before it replaces changed armies, and a reload keeps what was chosen', async () => {
  const { page, context, failures } = await openPage(session.browser, session.url);
  await addKind(page, 1, 'DEA', 7);
  const link = await linkTo(session.url, SAMPLE);
  const asked = question(page);

  // Only the address's fragment changes: the page is not loaded again.
  await page.goto(link);
  await asked.waitFor();
  assert.equal((await asked.textContent()).replace(/\s+/g, ' ').trim(), 'The armies have been changed. Do you want to save your changes? SaveDiscardCancel');
  await asked.getByRole('button', { name: 'Cancel' }).click();
  await eventually(async () => assert.equal(await notice(page).textContent(), 'The armies of the link were not opened: your armies are as they were.'));
  assert.equal(new URL(page.url()).hash, '');
  await page.reload();
  await ready(page);
  assert.equal(await units(page, 1, 'Deamons (DEA)').inputValue(), '7', 'a reload after Cancel keeps the own armies');

  await page.goto(link);
  await asked.getByRole('button', { name: 'Discard' }).click();
  await eventually(async () => assert.equal(await units(page, 2, 'Knights (KNI)').inputValue(), '30'));
  assert.equal(await notice(page).textContent(), 'The armies of the link are shown.');
  await page.getByRole('button', { name: 'Undo' }).click();
  await eventually(async () => assert.equal(await units(page, 1, 'Deamons (DEA)').inputValue(), '7'));
  await page.reload();
  await ready(page);
  assert.equal(await units(page, 1, 'Deamons (DEA)').inputValue(), '7', 'a reload after Undo keeps the own armies');
  assert.deepEqual(failures, []);
  await context.close();
});

test('two tabs never silently overwrite each other: a change is offered to the other tab, and survives its reload', async () => {
  const { page: first, context, failures } = await openPage(session.browser, session.url);
  await openArmies(first, SAMPLE);
  await eventually(async () => assert.equal(await units(first, 2, 'Knights (KNI)').inputValue(), '30'));
  const second = await context.newPage();
  second.on('pageerror', (error) => failures.push(error.message));
  await second.goto(session.url);
  await ready(second);
  assert.equal(await units(second, 2, 'Knights (KNI)').inputValue(), '30', 'a new tab starts from the armies this browser keeps');

  const offered = (page) => page.getByText('The armies have been changed in another tab.');
  await units(first, 2, 'Knights (KNI)').fill('31');
  await units(first, 2, 'Knights (KNI)').press('Enter');
  await offered(second).waitFor();
  assert.equal(await units(second, 2, 'Knights (KNI)').inputValue(), '30', 'offered, not taken');
  // The second tab changes its own armies before it answers; the first tab learns of that in turn.
  await units(second, 2, 'Knights (KNI)').fill('29');
  await units(second, 2, 'Knights (KNI)').press('Enter');
  await offered(first).waitFor();

  await first.reload();
  await ready(first);
  assert.equal(await units(first, 2, 'Knights (KNI)').inputValue(), '31', "a reload keeps the tab's own change");
  await offered(first).waitFor();
  await first.getByRole('button', { name: 'Show Them' }).click();
  await eventually(async () => assert.equal(await units(first, 2, 'Knights (KNI)').inputValue(), '29'));
  await first.getByRole('button', { name: 'Undo' }).click();
  await eventually(async () => assert.equal(await units(first, 2, 'Knights (KNI)').inputValue(), '31'));
  assert.deepEqual(failures, []);
  await context.close();
});

test('kept armies that cannot be read are set aside, said so and offered for download', async () => {
  const { page, context, failures } = await openPage(session.browser, session.url);
  const broken = '{"format": "orb-battle-armies", "version": 1, "players": [tru';
  await page.evaluate((text) => {
    localStorage.setItem('orb-battle-armies', text);
    sessionStorage.clear();
  }, broken);
  await page.reload();
  await ready(page);
  const said = page.getByText('The armies this browser kept could not be read, so the page starts with new armies. The old ones are kept aside.');
  await said.waitFor();
  const kept = await downloadOf(page, 'Download Them');
  assert.equal(kept.text, broken);
  assert.equal(await player(page, 1).getByRole('textbox', { name: 'Wizard name' }).inputValue(), 'Nameless 1');
  await page.reload();
  await ready(page);
  assert.equal(await said.count(), 0, 'said once: the new armies are kept in their place');
  assert.deepEqual(failures, []);
  await context.close();
});

test('a cancelled force search says what it did before the cancel, and shows no empty chart', async () => {
  const { page, context, failures } = await openPage(session.browser, session.url);
  await openArmies(page, LARGEST);
  await eventually(async () => assert.match(await notice(page).textContent(), /largest\.json" opened/));
  await page.getByRole('combobox', { name: 'Side' }).selectOption({ index: 1 });
  await page.getByRole('button', { name: 'Find the Force Needed' }).click();
  const label = page.locator('#progress-label');
  await eventually(async () => assert.match(await label.textContent(), /, [1-9][\d]* battles? fought$/), 60_000);
  const seen = Number(/, (\d+) battles? fought$/.exec(await label.textContent())[1]);
  await page.getByRole('button', { name: 'Cancel' }).click();
  const lines = page.getByLabel('Force needed');
  await eventually(async () => assert.match(await lines.textContent(), /^The search was cancelled after \d+ battles?\./), 10_000);
  const said = await lines.textContent();
  const fought = Number(/after (\d+) battles?/.exec(said)[1]);
  assert.ok(fought >= seen, `the answer counts ${fought} battles, the progress showed ${seen}`);
  if (/No number had been judged yet/.test(said)) assert.equal(await page.getByRole('img', { name: /of player 2/ }).count(), 0, 'no empty chart');
  else assert.ok(await canvasIsDrawn(page, page.getByRole('img', { name: /of player 2/ })));
  assert.equal(await page.getByRole('button', { name: 'Apply' }).isVisible(), false);
  assert.deepEqual(failures, []);
  await context.close();
});

test('a new release waits for the reload the open page offers; the page and its engine workers are always of one release', async () => {
  const folder = await mkdtemp(join(tmpdir(), 'orb-release-'));
  await cp(WEB_DIR, folder, { recursive: true });
  const own = await serve(folder);
  const { page, context, failures } = await openPage(session.browser, own.url);
  try {
    await page.waitForFunction(() => navigator.serviceWorker.controller !== null, null, { timeout: 30_000 });
    await openArmies(page, SAMPLE);
    await eventually(async () => assert.equal(await units(page, 2, 'Knights (KNI)').inputValue(), '30'));
    const releaseOf = () => page.evaluate(async () => (await import('./engine/release.js')).RELEASE);
    for (const release of ['second', 'third']) {
      const before = await releaseOf();
      // A release that changes an engine worker's script: the page's build stamps it anew.
      await appendFile(join(folder, 'engine/worker.js'), `\n// the ${release} release\n`);
      await promisify(execFile)(process.execPath, [join(ROOT, 'web/page/build.mjs'), folder]);
      // As the browser looks for a new version when the player comes back to the page.
      await page.evaluate(() => navigator.serviceWorker.getRegistration().then((registration) => registration.update()));
      await page.getByText('A new version of the simulator is ready.').waitFor({ timeout: 30_000 });
      // The open page starts its battle workers only now: they are of its own release.
      await page.getByRole('textbox', { name: 'Runs' }).fill('20');
      await page.getByRole('button', { name: 'Simulate Battle' }).click();
      await eventually(async () => assert.equal(await page.locator('#results-note').textContent(), 'The average of 20 battles.'), 60_000);
      assert.equal(await page.getByRole('alert').filter({ hasText: /./ }).count(), 0);
      await Promise.all([page.waitForEvent('load'), page.getByRole('button', { name: 'Reload' }).click()]);
      await ready(page);
      assert.notEqual(await releaseOf(), before, `the ${release} release runs after the reload`);
      assert.equal(await units(page, 2, 'Knights (KNI)').inputValue(), '30', 'the reload keeps the armies');
      await page.getByRole('textbox', { name: 'Runs' }).fill('20');
      await page.getByRole('button', { name: 'Simulate Battle' }).click();
      await eventually(async () => assert.equal(await page.locator('#results-note').textContent(), 'The average of 20 battles.'), 60_000);
    }
    assert.deepEqual(failures, []);
  } finally {
    await context.close();
    own.server.closeAllConnections();
    await new Promise((done) => own.server.close(done));
    await rm(folder, { recursive: true, force: true });
  }
});

// V8 told to do without SSE4.1 has no WebAssembly SIMD, as on an older
// processor, so the page must fall back to the engine built without it.
for (const [name, flags, engine] of [
  ['after one visit the page works without its server, on the engine built with SIMD', [], 'orb-engine'],
  ['in a browser without WebAssembly SIMD the page fights on the engine built without it, offline too', ['--js-flags=--no-enable-sse4-1'], 'orb-engine-nosimd'],
]) {
  test(name, async () => {
    const browser = flags.length ? await launch(flags) : session.browser;
    const own = await serve(WEB_DIR);
    try {
      const { page, context, failures } = await openPage(browser, own.url);
      await openArmies(page, SAMPLE);
      await eventually(async () => assert.equal(await units(page, 2, 'Knights (KNI)').inputValue(), '30'));
      await page.waitForFunction(() => navigator.serviceWorker.controller !== null, null, { timeout: 30_000 });
      own.server.closeAllConnections();
      await new Promise((done) => own.server.close(done));
      await page.reload();
      await ready(page);
      await page.getByRole('button', { name: 'Create Battle Report' }).click();
      await page.getByRole('heading', { name: 'Battle Report' }).waitFor();
      assert.match(await page.getByLabel('Side I', { exact: true }).textContent(), /Wizard 1 : Morgana/);
      // The battle's engine was compiled on the page's thread: its file names the build.
      const compiled = await page.evaluate(() =>
        performance.getEntriesByType('resource').map((entry) => new URL(entry.name).pathname).filter((path) => path.endsWith('.wasm')),
      );
      assert.deepEqual(compiled, [`/engine/${engine}.wasm`]);
      assert.deepEqual(failures, []);
      await context.close();
    } finally {
      if (own.server.listening) own.server.close();
      if (browser !== session.browser) await browser.close();
    }
  });
}

test("a phone's screen holds the page without sideways scrolling", async () => {
  const { page, context } = await openPage(session.browser, session.url, { width: 390, height: 844 });
  await openArmies(page, SAMPLE);
  await eventually(async () => assert.equal(await units(page, 2, 'Knights (KNI)').inputValue(), '30'));
  await page.getByRole('textbox', { name: 'Runs' }).fill('50');
  await page.getByRole('button', { name: 'Simulate Battle' }).click();
  await page.getByRole('heading', { name: 'Simulation Result' }).waitFor({ timeout: 60_000 });
  assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 390);
  await context.close();
});

/** orbsim's output, or its refusal (exit status 2) without its "orbsim: " prefix. */
async function orbsimSays(...args) {
  try {
    return { text: (await promisify(execFile)(ORBSIM, args.map(String))).stdout };
  } catch (error) {
    if (error.code !== 2) throw error;
    return { refusal: error.stderr.replace(/^orbsim: /, '').trimEnd() };
  }
}

test("a battle of a simulation, from the list or a tap on a chart at a phone's size, is orbsim --show-run's", async (t) => {
  const { page, context, failures } = await openPage(session.browser, session.url, { width: 390, height: 844, touch: true });
  await openArmies(page, SAMPLE);
  await eventually(async () => assert.equal(await units(page, 2, 'Knights (KNI)').inputValue(), '30'));
  const runs = 200;
  await page.getByRole('textbox', { name: 'Runs' }).fill(String(runs));
  await page.getByRole('button', { name: 'Simulate Battle' }).click();
  await page.getByRole('heading', { name: 'Simulation Result' }).waitFor({ timeout: 60_000 });
  const seed = await page.locator('#results').getAttribute('data-seed');
  const simulation = ['--runs', runs, '--seed', seed];
  const list = page.getByRole('combobox', { name: 'Show a battle of these...' });
  const panel = page.getByRole('region', { name: new RegExp(`^Battle \\d+ of ${runs}: `) });
  // The battle on the panel as Save Report... saves it, checked against orbsim --show-run for its number.
  const shown = async () => {
    const title = await panel.getByRole('heading').textContent();
    const [download] = await Promise.all([page.waitForEvent('download'), panel.getByRole('button', { name: 'Save Report...' }).click()]);
    const text = await textOf(download);
    const run = /^Battle (\d+) of/.exec(title)[1];
    assert.equal(download.suggestedFilename(), `Battle ${run} of ${runs}.txt`);
    assert.equal(text, (await orbsimSays(SAMPLE, ...simulation, '--show-run', run)).text, `battle ${run}`);
    const note = await panel.getByText(/Units left: /).textContent();
    const [, first, second] = /Units left: side I (\d+) of \d+, side II (\d+) of \d+\.$/.exec(note);
    return { title, text, note, left: [Number(first), Number(second)] };
  };
  // Closed before the next pick, so that what is read next is the next battle's.
  const close = async () => {
    if (!(await panel.isVisible())) return;
    await panel.getByRole('button', { name: 'Close' }).tap();
    await panel.waitFor({ state: 'hidden' });
  };

  const picked = new Map();
  await t.test("the list offers what occurred, in orbsim --show's picks, and names what never did", async () => {
    const choices = [
      ['A battle side I won', 'won'],
      ['A battle side II won', '2:won'],
      ['A battle both armies lost', 'draw'],
      ['A typical battle for side I', 'typical'],
      ['The worst battle for side I', 'worst'],
      ['The best battle for side I', 'best'],
      ['A typical battle for side II', '2:typical'],
      ['The worst battle for side II', '2:worst'],
      ['The best battle for side II', '2:best'],
    ];
    const options = await list.locator('option').evaluateAll((all) => all.map((o) => ({ text: o.textContent, offered: !o.disabled })));
    assert.equal(options.length, choices.length);
    for (const [index, [words, which]] of choices.entries()) {
      const expected = await orbsimSays(SAMPLE, ...simulation, '--show', which);
      if (expected.refusal) {
        assert.deepEqual(options[index], { text: expected.refusal.charAt(0).toUpperCase() + expected.refusal.slice(1), offered: false }, words);
        continue;
      }
      assert.deepEqual(options[index], { text: words, offered: true });
      await close();
      await list.selectOption({ label: words });
      await page.getByRole('button', { name: 'Show Battle' }).tap();
      await page.getByRole('heading', { name: expected.text.slice(0, expected.text.indexOf('\n')) }).waitFor();
      const battle = await shown();
      assert.equal(battle.text, expected.text, words);
      assert.ok(battle.note.startsWith(`${words}. `), battle.note);
      picked.set(which, battle);
    }
    // The sample's side I wins every battle (orbsim's odds say 100.0%).
    assert.ok(!options[1].offered, 'a battle side II won is named as never having occurred');
    for (const side of [0, 1]) {
      const [typical, worst, best] = ['typical', 'worst', 'best'].map((pick) => picked.get(side ? `2:${pick}` : pick).left[side]);
      assert.ok(worst <= typical && typical <= best, `side ${side + 1}: worst ${worst}, typical ${typical}, best ${best}`);
    }
    await panel.getByRole('button', { name: 'Copy Report' }).tap();
    await eventually(async () => assert.equal(await page.evaluate(() => navigator.clipboard.readText()), picked.get('2:best').text));
    await accessible(page, 'a battle of a simulation');
    assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 390, 'no sideways scrolling');
  });

  await t.test("a tap at either end of a side's chart shows a battle with that side's fewest or most units left", async () => {
    for (const [side, name] of [[0, /^Side I wins/], [1, /^Side II wins/]]) {
      const chart = page.getByRole('img', { name });
      for (const [end, pick] of [['left', 'worst'], ['right', 'best']]) {
        await close();
        await chart.scrollIntoViewIfNeeded();
        const box = await chart.boundingBox();
        // Beyond the plot's ends: the pointer's count is held to the axis, 0 or its top.
        await chart.tap({ position: { x: end === 'left' ? 2 : box.width - 2, y: box.height / 2 } });
        await eventually(async () => assert.match(await panel.getByText(/^A battle with \d+ of side/).textContent(), new RegExp(`of side ${side ? 'II' : 'I'}'s`)));
        const battle = await shown();
        const wanted = picked.get(side ? `2:${pick}` : pick);
        assert.equal(battle.left[side], wanted.left[side], `side ${side + 1}, ${end} end`);
        if (end === 'left') assert.match(battle.note, new RegExp(`^A battle with ${battle.left[side]} of side I+'s units left(, the nearest count to the 0 chosen on the chart)?\\.`));
      }
    }
  });

  await t.test('a battle of earlier armies is marked, and a pick still fights the armies of its simulation', async () => {
    const worst = picked.get('worst');
    await units(page, 2, 'Knights (KNI)').fill('31');
    await units(page, 2, 'Knights (KNI)').press('Enter');
    await page.getByText('This battle is of earlier armies: the armies have changed since.').waitFor();
    await close();
    await list.selectOption({ label: 'The worst battle for side I' });
    await page.getByRole('button', { name: 'Show Battle' }).tap();
    await page.getByRole('heading', { name: worst.title }).waitFor();
    assert.equal((await shown()).text, worst.text);
    assert.equal(await page.getByText('This battle is of earlier armies: the armies have changed since.').isVisible(), true);
    await accessible(page, 'a battle of earlier armies');
  });
  assert.deepEqual(failures, []);
  await context.close();
});

test('the server of make web-run serves nothing outside its folder', async () => {
  const { server, url } = await serve(WEB_DIR);
  const status = (path) =>
    new Promise((done, fail) => {
      const asked = request(new URL(url), { path }, (response) => {
        response.resume();
        done(response.statusCode);
      });
      asked.on('error', fail);
      asked.end();
    });
  try {
    assert.equal(await status('/index.html'), 200);
    for (const path of ['/../../../../etc/passwd', '/..%2f..%2f..%2f..%2fetc%2fpasswd', '/engine/..%5c..%5c..%5cetc/passwd'])
      assert.equal(await status(path), 404, path);
  } finally {
    server.close();
  }
});
