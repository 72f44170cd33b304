// The armies' store: both armies as the army file's writer last wrote them,
// kept in the browser. Every change is applied to a copy and taken only if
// the writer accepts the result, so what is kept always opens again.
import type { ArmiesFile, EngineWorker } from '../../engine/api.js';
import { notice } from './dom.js';

const STORAGE_KEY = 'orb-battle-armies';

function emptyArmies(): ArmiesFile {
  return {
    format: 'orb-battle-armies',
    version: 1,
    players: [
      { number: '1', name: 'Nameless 1', kinds: [] },
      { number: '2', name: 'Nameless 2', kinds: [] },
    ],
  };
}

export class ArmiesStore {
  armies: ArmiesFile = emptyArmies();
  /** The armies as an army file's text, which battles and files take. */
  text = '';
  private edits: Promise<unknown> = Promise.resolve();
  private listeners: (() => void)[] = [];

  constructor(private engine: EngineWorker) {}

  /** Called after every change taken. */
  onChange(listener: () => void) {
    this.listeners.push(listener);
  }

  /** Resolves once every change asked for so far is taken or refused. */
  settled() {
    return this.edits;
  }

  /** The armies this browser kept, or none. */
  async loadKept() {
    let stored: string | null = null;
    try {
      stored = localStorage.getItem(STORAGE_KEY);
    } catch {
      // Storage may be switched off; the armies then last as long as the page.
    }
    const read = stored ? await this.engine.call('readArmies', stored) : undefined;
    const written = await this.engine.call('writeArmies', read?.ok ? read.armies : emptyArmies());
    if (!written.ok) throw new Error(written.error);
    this.take(written.text);
  }

  /**
   * Applies a change to a copy of the armies and takes it if the army file's
   * writer accepts the result; otherwise returns its refusal and nothing
   * changes. Changes are applied one after another, each to the armies the
   * one before left.
   */
  change(edit: (armies: ArmiesFile) => void): Promise<string | null> {
    const run = this.edits.then(async () => {
      const candidate = structuredClone(this.armies);
      edit(candidate);
      const written = await this.engine.call('writeArmies', candidate);
      if (!written.ok) return written.error;
      this.take(written.text);
      return null;
    });
    this.edits = run.catch(() => {});
    return run;
  }

  replace(armies: ArmiesFile) {
    return this.change((current) => {
      current.players = armies.players;
    });
  }

  private take(text: string) {
    this.text = text;
    this.armies = JSON.parse(text) as ArmiesFile;
    try {
      localStorage.setItem(STORAGE_KEY, text);
    } catch {
      notice('This browser does not keep the armies: save them to a file before you leave.', true);
    }
    for (const listener of this.listeners) listener();
  }
}
