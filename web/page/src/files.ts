// Files and share links: Open Armies... and a file dropped onto the page,
// Save Armies..., and Share Link, which puts both armies into the address.
import type { EngineWorker, Limits } from '../../engine/api.js';
import type { ArmiesStore } from './armies.js';
import { byId, download, notice } from './dom.js';
import { bytesOfFragment, fragmentFor, holdsArmies } from './share.js';

export class ArmyFiles {
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
    const picker = byId<HTMLInputElement>('open-file');
    byId('open-armies').addEventListener('click', () => picker.click());
    picker.addEventListener('change', () => {
      const file = picker.files?.[0];
      picker.value = '';
      if (file) void this.openFile(file);
    });
    byId('save-armies').addEventListener('click', async () => {
      await store.settled();
      download(store.text, 'armies.json', 'application/json');
    });
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

  /** Shows the armies of the address's link, if it holds any; whether it did. */
  async openLink(): Promise<boolean> {
    if (!holdsArmies(location.hash)) return false;
    const hash = location.hash;
    // Opened once: a reload shows what the player has made of them since.
    history.replaceState(null, '', location.pathname + location.search);
    const unpacked = await bytesOfFragment(hash, this.limits.maxFileBytes);
    const read = 'bytes' in unpacked ? await this.engine.call('readArmies', unpacked.bytes) : { ok: false as const, error: unpacked.error };
    if (!read.ok) {
      notice(`The armies of this link could not be opened: ${read.error}. Nothing was changed.`, true);
      return false;
    }
    const loaded = (await this.store.replace(read.armies)) === null;
    if (loaded) notice('The armies of the link are shown; this browser now keeps them instead of its own.');
    return loaded;
  }

  private async openFile(file: File) {
    // One byte past the largest file is enough for the reader to refuse it.
    const bytes = new Uint8Array(await file.slice(0, this.limits.maxFileBytes + 1).arrayBuffer());
    const read = await this.engine.call('readArmies', bytes);
    if (!read.ok) {
      notice(`"${file.name}" was not opened: ${read.error}. Nothing was changed.`, true);
      return;
    }
    const refused = await this.store.replace(read.armies);
    if (refused) notice(`"${file.name}" was not opened: ${refused}. Nothing was changed.`, true);
    else notice(`"${file.name}" opened.`);
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
}
