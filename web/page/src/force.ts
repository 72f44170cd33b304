// The force finder: the fewest units of one kind that win the wanted share
// of battles, its chart, and Apply, which sets the kind to the number found.
import type { EngineWorker } from '../../engine/api.js';
import type { EnginePool } from '../../engine/index.js';
import type { ArmiesStore } from './armies.js';
import type { BattleCommands } from './battle.js';
import { byId, count, errorText } from './dom.js';
import { isReleaseMismatch, offerReloadForMismatch } from './release.js';

export class ForceFinder {
  private found: { side: number; kind: number; number: number; text: string; name: string } | undefined;
  /** The armies the answer on the screen was searched with. */
  private answeredFor: string | undefined;

  constructor(
    private engine: EngineWorker,
    private pool: EnginePool,
    private store: ArmiesStore,
    private battle: BattleCommands,
  ) {
    byId('force-side').addEventListener('change', () => this.renderKinds());
    byId('find-force').addEventListener('click', () => void this.findForce());
    byId('apply-force').addEventListener('click', () => void this.applyForce());
    byId('search-again').addEventListener('click', () => void this.findForce());
  }

  /** Marks the answer as one for earlier armies once the armies differ from its own. */
  markArmies(current: string) {
    if (this.answeredFor === undefined) return;
    const earlier = current !== this.answeredFor;
    byId('force-result').classList.toggle('earlier', earlier);
    byId('force-stale').hidden = !earlier;
    byId('apply-force').hidden = earlier || !this.found;
  }

  renderKinds() {
    const side = Number(byId<HTMLSelectElement>('force-side').value);
    const select = byId<HTMLSelectElement>('force-kind');
    const chosen = select.value;
    select.replaceChildren();
    this.store.armies.players[side].kinds.forEach((kind, index) => {
      const option = document.createElement('option');
      option.value = String(index);
      option.textContent = kind.abbreviation ? `${kind.name} (${kind.abbreviation})` : kind.name;
      select.append(option);
    });
    if ([...select.options].some((o) => o.value === chosen)) select.value = chosen;
    const sides = byId<HTMLSelectElement>('force-side');
    this.store.armies.players.forEach((player, s) => {
      sides.options[s].textContent = `Player ${s + 1} (Wizard ${player.number} : ${player.name})`;
    });
  }

  private async findForce() {
    if (this.battle.busy) return;
    const error = byId('force-error');
    error.textContent = '';
    await this.store.settled();
    if (!(await this.battle.guard('simulation', 'find-force', (text) => (error.textContent = text)))) return;
    const side = Number(byId<HTMLSelectElement>('force-side').value) as 0 | 1;
    const kindText = byId<HTMLSelectElement>('force-kind').value;
    if (kindText === '') {
      error.textContent = `Player ${side + 1} has no kind to search: add one first.`;
      return;
    }
    const targetText = byId<HTMLInputElement>('force-target').value.trim();
    const target = targetText === '' ? NaN : Number(targetText);
    if (!Number.isFinite(target)) {
      error.textContent = 'The wanted chance must be a number of percent, such as 90.';
      return;
    }
    const largest = await this.engine.call('dialogInteger', byId<HTMLInputElement>('force-largest').value);
    if (largest === null) {
      error.textContent = 'The largest number must be a whole number.';
      return;
    }
    await this.store.settled();
    const armiesText = this.store.text;
    const kind = Number(kindText);
    this.battle.setBusy(true, 'Searching...');
    byId('force-result').hidden = true;
    const charts = import('./charts.js');
    charts.catch(() => {}); // a failure is seen where the chart is drawn
    let fought = 0;
    try {
      const answer = await this.pool.findForce(armiesText, {
        side,
        kind,
        // Percent as a share, rounded as typed: 99.9 is 0.999, not 0.9990000000000001.
        target: Number((target / 100).toFixed(6)),
        largest,
        onProgress: (progress) => {
          fought = Math.max(fought, progress.battles);
          if (this.battle.cancelling) return;
          byId('progress-label').textContent = `Trying ${progress.current}: ${count(progress.numbersTried, 'number')} tried, ${count(progress.battles, 'battle')} fought`;
        },
      });
      this.battle.setBusy(false);
      const found = answer.found;
      this.found =
        found !== null && !answer.cancelled ? { side, kind, number: found, text: armiesText, name: answer.kind.name } : undefined;
      this.answeredFor = armiesText;
      byId('force-lines').textContent = answer.cancelled ? this.cancelledLines(answer.trials.length, Math.max(fought, answer.battles)) : answer.lines.join('\n');
      byId('force-result').hidden = false;
      // A search cancelled before any number was judged has nothing to chart.
      const figure = byId('force-figure');
      figure.hidden = answer.trials.length === 0;
      if (!figure.hidden)
        (await charts).drawForceChart(byId('force-chart'), `${answer.kind.name} of player ${side + 1}`, answer.trials, answer.target);
      byId<HTMLButtonElement>('apply-force').disabled = false;
      byId('apply-note').textContent = this.found ? `Apply sets ${answer.kind.name} to ${count(this.found.number, 'unit')}.` : '';
      this.markArmies(this.store.text);
      byId('force-lines').focus();
    } catch (failure) {
      this.battle.setBusy(false);
      error.textContent = errorText(failure);
      if (isReleaseMismatch(error.textContent)) offerReloadForMismatch();
      byId('find-force').focus();
    }
  }

  /** What a cancelled search did before the cancel, in place of the engine's count of whole batches. */
  private cancelledLines(judged: number, battles: number) {
    return [
      `The search was cancelled after ${count(battles, 'battle')}.`,
      judged === 0
        ? 'No number had been judged yet, so there is nothing to show or apply.'
        : `${count(judged, 'number')} had been tried: the chart shows their chances so far. A cancelled search applies nothing.`,
    ].join('\n');
  }

  private async applyForce() {
    const found = this.found;
    if (!found || this.battle.busy) return;
    const kind = this.store.armies.players[found.side].kinds[found.kind];
    if (!kind || kind.name !== found.name) {
      byId('apply-note').textContent = 'The armies have changed since the search: search again.';
      return;
    }
    const refused = await this.store.change((a) => void (a.players[found.side].kinds[found.kind].number = found.number));
    byId('apply-note').textContent = refused ?? `${found.name} of player ${found.side + 1} now number ${found.number}.`;
    this.answeredFor = this.store.text;
    this.markArmies(this.store.text);
  }
}
