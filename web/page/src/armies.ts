// The armies as a document: both armies as the army file's writer last
// wrote them, what was last opened or saved (to tell whether they have
// been changed since), and where the browser keeps them. Every change is
// applied to a copy and taken only if the writer accepts the result, so
// what is kept always opens again.
//
// Each tab keeps its own armies in its session storage, which outlives a
// reload of that tab, and the latest change of any tab in local storage,
// which a new tab starts from: a reload never takes another tab's armies
// silently, and another tab's change is offered, not taken.
import type { ArmiesFile, EngineWorker } from '../../engine/api.js';

const ARMIES_KEY = 'orb-battle-armies';
const SAVED_KEY = 'orb-battle-saved';
const ASIDE_KEY = 'orb-battle-armies-unreadable';

/** What was last opened or saved: a file's name (none for a link) and the armies' text then. */
export type Saved = { file: string | null; text: string };

/** The document at one moment, to go back to (Undo). */
export type Snapshot = { text: string; saved: Saved | null };

export function emptyArmies(): ArmiesFile {
  return {
    format: 'orb-battle-armies',
    version: 1,
    players: [
      { number: '1', name: 'Nameless 1', kinds: [] },
      { number: '2', name: 'Nameless 2', kinds: [] },
    ],
  };
}

function storageOf(kind: 'local' | 'session'): Storage | null {
  try {
    return kind === 'local' ? window.localStorage : window.sessionStorage;
  } catch {
    // Storage may be switched off; the armies then last as long as the page.
    return null;
  }
}

function read(storage: Storage | null, key: string): string | null {
  try {
    return storage?.getItem(key) ?? null;
  } catch {
    return null;
  }
}

function write(storage: Storage | null, key: string, value: string): boolean {
  try {
    if (!storage) return false;
    storage.setItem(key, value);
    return true;
  } catch {
    return false;
  }
}

function savedOf(text: string | null): Saved | null {
  if (!text) return null;
  try {
    const saved = JSON.parse(text) as Saved;
    return typeof saved?.text === 'string' && (saved.file === null || typeof saved.file === 'string') ? saved : null;
  } catch {
    return null;
  }
}

/** Whether parsed JSON has the army file's shape, enough to be shown before the engine has checked it. */
function looksLikeArmies(value: unknown): value is ArmiesFile {
  const players = (value as ArmiesFile | null)?.players;
  return (
    Array.isArray(players) &&
    players.length === 2 &&
    players.every((p) => typeof p?.number === 'string' && typeof p.name === 'string' && Array.isArray(p.kinds) && p.kinds.every((k) => typeof k?.name === 'string'))
  );
}

export type Unreadable = { text: string; error: string };

export class ArmiesStore {
  armies: ArmiesFile = emptyArmies();
  /** The armies as an army file's text, which battles and files take. */
  text = '';
  saved: Saved | null = null;
  private engine: EngineWorker | undefined;
  private edits: Promise<unknown> = Promise.resolve();
  private listeners: (() => void)[] = [];
  private otherTabListeners: (() => void)[] = [];
  private local = storageOf('local');
  private session = storageOf('session');
  /** Whether the browser refused to keep the last change. */
  unkept = false;

  constructor() {
    // Shown at once, so that the page does not jump when the engine has
    // read them; taken only once it has.
    const kept = read(this.session, ARMIES_KEY) ?? read(this.local, ARMIES_KEY);
    try {
      const parsed: unknown = kept ? JSON.parse(kept) : null;
      if (looksLikeArmies(parsed)) this.armies = parsed;
    } catch {
      // Read again by the engine, which says what is wrong.
    }
    window.addEventListener('storage', (event) => {
      if (event.storageArea !== this.local || event.key !== ARMIES_KEY || !event.newValue) return;
      if (event.newValue === this.text) return;
      for (const listener of this.otherTabListeners) listener();
    });
  }

  /** Called after every change taken. */
  onChange(listener: () => void) {
    this.listeners.push(listener);
  }

  /** Called when another tab has changed the armies this browser keeps. */
  onOtherTab(listener: () => void) {
    this.otherTabListeners.push(listener);
  }

  /** Resolves once every change asked for so far is taken or refused. */
  settled() {
    return this.edits;
  }

  /** Whether the armies differ from what was last opened or saved; new, empty armies do not. */
  isModified() {
    return this.saved ? this.saved.text !== this.text : this.armies.players.some((p) => p.kinds.length > 0);
  }

  snapshot(): Snapshot {
    return { text: this.text, saved: this.saved };
  }

  /**
   * The armies this tab kept, else the ones this browser kept, else new
   * ones. Kept armies that cannot be read are set aside and returned, to be
   * offered for download; new armies take their place.
   */
  async loadKept(engine: EngineWorker): Promise<Unreadable | null> {
    this.engine = engine;
    const own = read(this.session, ARMIES_KEY);
    const kept = own ?? read(this.local, ARMIES_KEY);
    const saved = savedOf(read(own !== null ? this.session : this.local, SAVED_KEY));
    let unreadable: Unreadable | null = null;
    if (kept !== null) {
      const readBack = await engine.call('readArmies', kept);
      if (readBack.ok) {
        const written = await engine.call('writeArmies', readBack.armies);
        if (written.ok) {
          this.take(written.text, saved, false);
          return null;
        }
      } else {
        unreadable = { text: kept, error: readBack.error };
        write(this.local, ASIDE_KEY, kept);
        // The other store may still hold them: they are set aside now.
        for (const storage of [this.session, this.local])
          if (read(storage, ARMIES_KEY) === kept) storage?.removeItem(ARMIES_KEY);
      }
    }
    const written = await engine.call('writeArmies', emptyArmies());
    if (!written.ok) throw new Error(written.error);
    this.take(written.text, { file: null, text: written.text }, false);
    return unreadable;
  }

  /** The armies set aside because they could not be read, if any. */
  setAside(): string | null {
    return read(this.local, ASIDE_KEY);
  }

  /** The armies another tab left in this browser's keeping, if they differ from these. */
  otherTabs(): { text: string; saved: Saved | null } | null {
    const text = read(this.local, ARMIES_KEY);
    return text !== null && text !== this.text ? { text, saved: savedOf(read(this.local, SAVED_KEY)) } : null;
  }

  /** The army file text of armies, or the writer's refusal. */
  async textOf(armies: ArmiesFile | string): Promise<{ text: string } | { error: string }> {
    const written = await this.engine!.call('writeArmies', armies);
    return written.ok ? { text: written.text } : { error: written.error };
  }

  /**
   * Applies a change to a copy of the armies and takes it if the army file's
   * writer accepts the result; otherwise returns its refusal and nothing
   * changes. Changes are applied one after another, each to the armies the
   * one before left.
   */
  change(edit: (armies: ArmiesFile) => void): Promise<string | null> {
    return this.queue(async () => {
      const candidate = structuredClone(this.armies);
      edit(candidate);
      const written = await this.textOf(candidate);
      if ('error' in written) return written.error;
      this.take(written.text, this.saved);
      return null;
    });
  }

  /** Takes armies that were opened (from a file, or a link when `file` is null): they are unchanged since. */
  open(text: string, file: string | null) {
    return this.queue(() => Promise.resolve(this.take(text, { file, text })));
  }

  /** The document as it was at a snapshot (Undo), or as another tab left it. */
  restore(snapshot: Snapshot) {
    return this.queue(() => Promise.resolve(this.take(snapshot.text, snapshot.saved)));
  }

  /** After Save Armies...: the armies are unchanged since. */
  markSaved(file: string) {
    this.saved = { file, text: this.text };
    this.keep(true);
  }

  private queue<T>(step: () => Promise<T>): Promise<T> {
    const run = this.edits.then(step);
    this.edits = run.catch(() => {});
    return run;
  }

  private take(text: string, saved: Saved | null, share = true) {
    this.text = text;
    this.armies = JSON.parse(text) as ArmiesFile;
    this.saved = saved;
    this.keep(share);
    for (const listener of this.listeners) listener();
  }

  /** In this tab's keeping, and, for a change, as the latest of this browser's. */
  private keep(share: boolean) {
    const saved = JSON.stringify(this.saved);
    let kept = write(this.session, ARMIES_KEY, this.text) && write(this.session, SAVED_KEY, saved);
    if (share) kept = write(this.local, ARMIES_KEY, this.text) && write(this.local, SAVED_KEY, saved) && kept;
    this.unkept = !kept;
  }
}
