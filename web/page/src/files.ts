// Files and share links: Open Armies... and a file dropped onto the page,
// Save Armies..., and Share Link, which puts both armies into the address.
// Armies from a file, a link or another tab replace the player's only as
// the desktop replaces them: changed armies are first offered to be saved,
// and right after, Undo brings them back.
import type { ArmiesFile, EngineWorker, Limits } from '../../engine/api.js';
import type { ArmiesStore, Snapshot } from './armies.js';
import { ask, byId, download, notice, offer, withdraw } from './dom.js';
import { bytesOfFragment, fragmentFor, holdsArmies } from './share.js';

const SAVED_NAME = 'armies.json';

/** A reader's refusal in a player's words: a file that is no army file says so before the parser's detail. */
export function refusalOf(what: string, error: string): string {
  if (/^(not JSON|not an army file|unknown format)/.test(error)) {
    const detail = error.replace(/^not an army file: /, '');
    return `${what} is not an army file, so nothing was changed. (${detail[0].toUpperCase()}${detail.slice(1)}.)`;
  }
  return `The armies in ${what} could not be opened: ${error}. Nothing has been changed.`;
}

export class ArmyFiles {
  private opening: Promise<unknown> = Promise.resolve();

  constructor(
    private engine: EngineWorker,
    private store: ArmiesStore,
    private limits: Limits,
  ) {
    // A link's armies are shown once; changed, they are the player's own.
    store.onChange(() => {
      if (holdsArmies(location.hash)) history.replaceState(null, '', location.pathname + location.search);
      byId('share-box').hidden = true;
    });
    store.onOtherTab(() => this.offerOtherTab());
    // A link opened in this tab while it is open: the address changes, the page does not reload.
    window.addEventListener('hashchange', () => void this.openLink());

    const picker = byId<HTMLInputElement>('open-file');
    byId('open-armies').addEventListener('click', () => picker.click());
    picker.addEventListener('change', () => {
      const file = picker.files?.[0];
      picker.value = '';
      if (file) void this.openFile(file);
    });
    byId('save-armies').addEventListener('click', () => void this.save());
    byId('share-link').addEventListener('click', () => void this.share());

    const zone = byId('drop-zone');
    let depth = 0;
    const carriesFiles = (event: DragEvent) => event.dataTransfer?.types.includes('Files') ?? false;
    window.addEventListener('dragenter', (event) => {
      if (!carriesFiles(event)) return;
      event.preventDefault();
      ++depth;
      zone.hidden = false;
    });
    window.addEventListener('dragleave', () => {
      if (--depth <= 0) {
        depth = 0;
        zone.hidden = true;
      }
    });
    window.addEventListener('dragover', (event) => {
      if (carriesFiles(event)) event.preventDefault();
    });
    window.addEventListener('drop', (event) => {
      event.preventDefault();
      depth = 0;
      zone.hidden = true;
      const file = event.dataTransfer?.files?.[0];
      if (file) void this.openFile(file);
    });
  }

  /** Opens the armies of a link (the address's by default), if it holds any, one opening at a time. */
  openLink(hash = location.hash): Promise<unknown> {
    if (!holdsArmies(hash)) return this.opening;
    // Opened once: a reload shows what the player has made of them since.
    history.replaceState(null, '', location.pathname + location.search);
    return this.one(async () => {
      const unpacked = await bytesOfFragment(hash, this.limits.maxFileBytes);
      const read = 'bytes' in unpacked ? await this.engine.call('readArmies', unpacked.bytes) : { ok: false as const, error: unpacked.error };
      if (!read.ok) {
        notice(`The armies of this link could not be opened: ${read.error}. Nothing has been changed.`, true);
        return;
      }
      await this.replace(read.armies, null, 'The armies of the link');
    });
  }

  /** After a start: another tab changed the armies since this one last kept them. */
  offerOtherTab() {
    if (!this.store.otherTabs()) return;
    offer('other-tab', 'The armies have been changed in another tab.', [
      { label: 'Show Them', run: () => this.takeOtherTab() },
      { label: 'Keep These', run: () => {} },
    ]);
  }

  private async takeOtherTab() {
    await this.store.settled();
    const other = this.store.otherTabs();
    if (!other) return;
    const before = this.store.snapshot();
    await this.store.restore(other);
    notice("The other tab's armies are shown.", false, [this.undo(before, "The armies this tab had are back.")]);
    // Taken from an offer that stays in view: the armies and their Undo are at the top.
    byId('notice').scrollIntoView({ block: 'nearest' });
  }

  private one(step: () => Promise<void>) {
    const run = this.opening.then(step);
    this.opening = run.catch(() => {});
    return run;
  }

  private openFile(file: File) {
    return this.one(async () => {
      const name = `"${file.name}"`;
      // One byte past the largest file is enough for the reader to refuse it.
      const bytes = new Uint8Array(await file.slice(0, this.limits.maxFileBytes + 1).arrayBuffer());
      const read = await this.engine.call('readArmies', bytes);
      if (!read.ok) {
        notice(refusalOf(name, read.error), true);
        return;
      }
      await this.replace(read.armies, file.name, name);
    });
  }

  /**
   * Replaces the armies with opened ones, as the desktop opens a file: over
   * changed armies, asking Save, Discard or Cancel first.
   */
  private async replace(armies: ArmiesFile, file: string | null, what: string) {
    await this.store.settled();
    const written = await this.store.textOf(armies);
    if ('error' in written) {
      notice(refusalOf(what, written.error), true);
      return;
    }
    if (written.text !== this.store.text && this.store.isModified()) {
      const since = this.store.saved?.file;
      const answer = await ask(
        since ? `The armies have been changed since "${since}" was opened or saved.` : 'The armies have been changed.',
        'Do you want to save your changes?',
        ['Save', 'Discard', 'Cancel'],
      );
      if (answer === 'Cancel') {
        notice(`${what} ${file === null ? 'were' : 'was'} not opened: your armies are as they were.`);
        return;
      }
      if (answer === 'Save') await this.save();
    }
    const before = this.store.snapshot();
    await this.store.open(written.text, file);
    const opened = file === null ? `${what} are shown.` : `${what} opened.`;
    notice(opened, false, [this.undo(before, `The armies before ${file === null ? 'the link' : what} are back.`)]);
  }

  private undo(before: Snapshot, said: string) {
    return {
      label: 'Undo',
      run: async () => {
        await this.store.restore(before);
        notice(said);
      },
    };
  }

  private async save() {
    await this.store.settled();
    download(this.store.text, SAVED_NAME, 'application/json');
    this.store.markSaved(SAVED_NAME);
  }

  private async share() {
    await this.store.settled();
    const fragment = await fragmentFor(this.store.text);
    history.replaceState(null, '', location.pathname + location.search + fragment);
    const box = byId('share-box');
    const field = byId<HTMLInputElement>('share-url');
    field.value = location.href;
    box.hidden = false;
    try {
      await navigator.clipboard.writeText(location.href);
      notice('The link to these armies is in the address bar, and has been copied.');
    } catch {
      notice('The link to these armies is in the address bar and below.');
    }
    field.select();
  }

  /** Armies kept that could not be read: set aside, and offered for download. */
  offerSetAside() {
    // Why they cannot be read is a parser's detail: the file downloaded opens in any text editor.
    offer('set-aside', 'The armies this browser kept could not be read, so the page starts with new armies. The old ones are kept aside.', [
      {
        label: 'Download Them',
        run: () => download(this.store.setAside() ?? '', 'unreadable armies.json', 'application/json'),
      },
      { label: 'Dismiss', run: () => withdraw('set-aside') },
    ]);
  }
}
