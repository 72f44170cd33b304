// The battle commands: Create Battle Report and Simulate Battle, and the
// progress box with Cancel, which the force finder shares.
import type { EngineWorker } from '../../engine/api.js';
import type { EnginePool } from '../../engine/index.js';
import type { ArmiesStore } from './armies.js';
import { byId, count, errorText } from './dom.js';
import { isReleaseMismatch, offerReloadForMismatch } from './release.js';
import type { Results } from './results.js';

export class BattleCommands {
  busy = false;
  cancelling = false;

  constructor(
    private engine: EngineWorker,
    private pool: EnginePool,
    private store: ArmiesStore,
    private results: Results,
  ) {
    byId('create-report').addEventListener('click', () => void this.createReport());
    byId('simulate').addEventListener('click', () => void this.simulate());
    byId('fight-again').addEventListener('click', () => void (results.shown === 'report' ? this.createReport() : this.simulate()));
    byId('runs').addEventListener('keydown', (event) => {
      if (event.key === 'Enter') void this.simulate();
    });
    byId('cancel').addEventListener('click', () => {
      this.cancelling = true;
      byId<HTMLButtonElement>('cancel').disabled = true;
      byId('progress-label').textContent = 'Cancelling...';
      this.pool.cancel();
    });
  }

  /** The desktop's guard: a battle needs units on both sides. */
  async guard(command: 'report' | 'simulation', button: string, show = (text: string) => this.commandError(text)) {
    const guard = await this.engine.call('battleGuard', this.store.text, command);
    if (guard.ok) return true;
    show(guard.error);
    byId(button).focus();
    return false;
  }

  setBusy(busy: boolean, label = '') {
    this.busy = busy;
    this.cancelling = false;
    for (const id of ['create-report', 'simulate', 'find-force', 'apply-force', 'fight-again', 'search-again', 'show-battle'])
      byId<HTMLButtonElement>(id).disabled = busy;
    const box = byId('progress-box');
    box.hidden = !busy;
    byId<HTMLButtonElement>('cancel').disabled = false;
    byId('progress-label').textContent = label;
    const bar = byId<HTMLProgressElement>('progress');
    bar.removeAttribute('value');
    if (busy) byId('cancel').focus();
  }

  commandError(text: string) {
    byId('command-error').textContent = text;
    if (isReleaseMismatch(text)) offerReloadForMismatch();
  }

  private async createReport() {
    if (this.busy) return;
    this.commandError('');
    await this.store.settled();
    if (!(await this.guard('report', 'create-report'))) return;
    const armiesText = this.store.text;
    try {
      this.results.showReport(await this.pool.report(armiesText), armiesText, this.store.text);
    } catch (error) {
      this.commandError(errorText(error));
    }
  }

  private async simulate() {
    if (this.busy) return;
    this.commandError('');
    await this.store.settled();
    if (!(await this.guard('simulation', 'simulate'))) return;
    const runsInput = byId<HTMLInputElement>('runs');
    const runs = await this.engine.call('dialogInteger', runsInput.value);
    if (runs === null || runs < 1) {
      runsInput.setAttribute('aria-invalid', 'true');
      byId('runs-error').textContent = `Runs must be a whole number from 1 to ${'9'.repeat(runsInput.maxLength)}.`;
      runsInput.focus();
      return;
    }
    runsInput.removeAttribute('aria-invalid');
    byId('runs-error').textContent = '';
    await this.store.settled();
    const armiesText = this.store.text;
    this.setBusy(true, `Fighting ${count(runs, 'battle')}...`);
    const bar = byId<HTMLProgressElement>('progress');
    try {
      const outcome = await this.pool.simulate(armiesText, {
        runs,
        onProgress: (done: number, total: number) => {
          if (this.cancelling) return;
          bar.max = total;
          bar.value = done;
          byId('progress-label').textContent = `${done} of ${count(total, 'battle')} fought`;
        },
      });
      this.setBusy(false);
      if (outcome.runs < 1) {
        this.commandError('The simulation was cancelled before any battle ended.');
        byId('simulate').focus();
        return;
      }
      await this.results.showSimulation(outcome, armiesText, this.store.text);
    } catch (error) {
      this.setBusy(false);
      this.commandError(errorText(error));
      byId('simulate').focus();
    }
  }
}
