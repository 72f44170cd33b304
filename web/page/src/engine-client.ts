// The page's side of its engine thread: every call is an ordinary async
// function, and every rule, limit and message is the engine's.
import type { ArmiesFile, CatalogueRow, Limits } from './types.js';

type Answer = { id: number; result?: unknown; error?: string };

export class PageEngine {
  private worker: Worker;
  private next = 1;
  private waiting = new Map<number, { resolve: (value: any) => void; reject: (error: Error) => void }>();

  constructor(url: URL) {
    this.worker = new Worker(url, { type: 'module' });
    this.worker.addEventListener('message', (event: MessageEvent<Answer>) => {
      const call = this.waiting.get(event.data.id);
      if (!call) return;
      this.waiting.delete(event.data.id);
      if (event.data.error !== undefined) call.reject(new Error(event.data.error));
      else call.resolve(event.data.result);
    });
    this.worker.addEventListener('error', (event) => {
      const error = new Error(`the engine could not start: ${event.message || 'unknown error'}`);
      for (const call of this.waiting.values()) call.reject(error);
      this.waiting.clear();
    });
  }

  private call<T>(call: string, ...args: unknown[]): Promise<T> {
    const id = this.next++;
    return new Promise<T>((resolve, reject) => {
      this.waiting.set(id, { resolve, reject });
      this.worker.postMessage({ id, call, args });
    });
  }

  catalogue() {
    return this.call<CatalogueRow[]>('catalogue');
  }
  limits() {
    return this.call<Limits>('limits');
  }
  dialogInteger(text: string) {
    return this.call<number | null>('dialogInteger', text);
  }
  lookup(abbreviation: string) {
    return this.call<CatalogueRow | null>('lookup', abbreviation);
  }
  readArmies(text: string | Uint8Array) {
    return this.call<{ ok: true; armies: ArmiesFile } | { ok: false; error: string }>('readArmies', text);
  }
  /** Whether both armies have units for a battle or a simulation, with the main window's message when not. */
  battleGuard(text: string, command: 'report' | 'simulation') {
    return this.call<{ ok: true } | { ok: false; error: string }>('battleGuard', text, command);
  }
  writeArmies(armies: ArmiesFile) {
    return this.call<{ ok: true; text: string } | { ok: false; error: string }>('writeArmies', armies);
  }
}
