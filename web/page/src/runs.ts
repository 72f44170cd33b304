// "How did that happen?": one battle of the simulation just shown, picked
// from the list "Show a battle of these..." or by a click (or tap) on a
// side's chart, fought again from its own seed with its full report, in a
// panel of its own with Copy and Save. A pick is read from the units left
// the simulation kept per run: it never fights the simulation again.
import type { EngineWorker, RunPick, ShownRun, SimulationOutcome } from '../../engine/api.js';
import type { EnginePool } from '../../engine/index.js';
import type { ArmiesStore } from './armies.js';
import { byId, copyText, download, errorText, showColumn } from './dom.js';
import { isReleaseMismatch, offerReloadForMismatch } from './release.js';

// The desktop's list, in its order and words; each a pick from a side's view.
const CHOICES: { side: 0 | 1; pick: 'won' | 'draw' | 'typical' | 'worst' | 'best'; text: string }[] = [
  { side: 0, pick: 'won', text: 'A battle side I won' },
  { side: 1, pick: 'won', text: 'A battle side II won' },
  { side: 0, pick: 'draw', text: 'A battle both armies lost' },
  { side: 0, pick: 'typical', text: 'A typical battle for side I' },
  { side: 0, pick: 'worst', text: 'The worst battle for side I' },
  { side: 0, pick: 'best', text: 'The best battle for side I' },
  { side: 1, pick: 'typical', text: 'A typical battle for side II' },
  { side: 1, pick: 'worst', text: 'The worst battle for side II' },
  { side: 1, pick: 'best', text: 'The best battle for side II' },
];
const SIDES = ['side I', 'side II'];

/** A simulation whose battles can be shown: its armies, seed and runs asked, and the units left per run. */
type Simulation = {
  armiesText: string;
  seed: string;
  runs: number;
  totals: Pick<RunPick, 'totalLeft' | 'fought'>;
  picked: (number | null)[]; // each choice's run, or null when it never occurred
};

export class SimulationBattles {
  private simulation: Simulation | undefined;
  private shown: { battle: ShownRun; armiesText: string } | undefined;
  // Counts the battles asked for: the answer to an earlier one is dropped.
  private asked = 0;

  constructor(
    private engine: EngineWorker,
    private pool: EnginePool,
    private store: ArmiesStore,
    private busy: () => boolean,
  ) {
    const list = byId<HTMLSelectElement>('battle-pick');
    byId('show-battle').addEventListener('click', () => {
      const run = this.simulation?.picked[list.selectedIndex];
      if (run !== undefined && run !== null) void this.show(run, CHOICES[list.selectedIndex].text);
    });
    byId('run-copy').addEventListener('click', () => {
      if (this.shown) void copyText(this.shown.battle.text, byId('run-status'), 'The battle has been copied.');
    });
    byId('run-save').addEventListener('click', () => {
      const battle = this.shown?.battle;
      if (battle) download(battle.text, `Battle ${battle.run} of ${battle.runs}.txt`, 'text/plain');
    });
    byId('run-close').addEventListener('click', () => {
      this.close();
      if (this.simulation) list.focus();
    });
  }

  /**
   * Offers the battles of a simulation just shown: an outcome that never
   * occurred is named in the engine's words and cannot be chosen.
   */
  async offer(outcome: SimulationOutcome & { seed: string }, armiesText: string) {
    this.forget();
    const totals = { totalLeft: outcome.players.map((player) => player.totalLeft), fought: outcome.fought };
    const answers = await Promise.all(CHOICES.map(({ side, pick }) => this.engine.call('pickRun', { side, pick, ...totals })));
    // A cancelled simulation's battles are of the runs it was asked for, as orbsim --runs counts them.
    this.simulation = { armiesText, seed: outcome.seed, runs: outcome.asked, totals, picked: answers.map((a) => (a.ok ? a.run : null)) };
    const list = byId<HTMLSelectElement>('battle-pick');
    list.replaceChildren(
      ...CHOICES.map((choice, index) => {
        const answer = answers[index];
        const option = new Option(answer.ok ? choice.text : answer.error.charAt(0).toUpperCase() + answer.error.slice(1), String(index));
        option.disabled = !answer.ok;
        return option;
      }),
    );
    list.selectedIndex = answers.findIndex((answer) => answer.ok);
  }

  /** The battle with this many of a side's units left, or the nearest count that occurred. */
  async pickUnits(side: 0 | 1, units: number) {
    const simulation = this.simulation;
    if (!simulation || this.busy()) return;
    const answer = await this.engine.call('pickRun', { side, units, ...simulation.totals });
    if (!answer.ok || simulation !== this.simulation) return;
    void this.show(answer.run, (battle) => {
      const left = battle.players[side].left;
      const nearest = left === units ? '' : `, the nearest count to the ${units} chosen on the chart`;
      return `A battle with ${left} of ${SIDES[side]}'s units left${nearest}`;
    });
  }

  /** Marks the battle as one of earlier armies once the armies differ from the simulation's. */
  markArmies(current: string) {
    if (!this.shown) return;
    const earlier = current !== this.shown.armiesText;
    byId('run').classList.toggle('earlier', earlier);
    byId('run-stale').hidden = !earlier;
  }

  /** The simulation is no longer on the screen: neither its list nor its battle is. */
  forget() {
    this.simulation = undefined;
    byId('pick-error').textContent = '';
    this.close();
  }

  private close() {
    ++this.asked;
    this.shown = undefined;
    byId('run').hidden = true;
  }

  /** Fights run `run` (from 0) again with the simulation's own armies, whatever they are now. */
  private async show(run: number, what: string | ((battle: ShownRun) => string)) {
    const simulation = this.simulation;
    if (!simulation || this.busy()) return;
    const asked = ++this.asked;
    const error = byId('pick-error');
    error.textContent = '';
    let battle: ShownRun;
    try {
      battle = await this.pool.showRun(simulation.armiesText, { seed: simulation.seed, run, runs: simulation.runs });
    } catch (failure) {
      if (asked !== this.asked) return;
      error.textContent = errorText(failure);
      if (isReleaseMismatch(error.textContent)) offerReloadForMismatch();
      return;
    }
    if (asked !== this.asked) return;
    this.shown = { battle, armiesText: simulation.armiesText };
    byId('run-heading').textContent = battle.title;
    // The title speaks of the winner; both sides' units left, and what was asked for, are said here.
    const left = battle.players.map((player, s) => {
      const size = player.kinds.reduce((sum, kind) => sum + kind.number, 0);
      return `${SIDES[s]} ${player.left} of ${size}`;
    });
    byId('run-note').textContent = `${typeof what === 'string' ? what : what(battle)}. Units left: ${left.join(', ')}.`;
    battle.players.forEach((player, s) => showColumn(byId(`run-column-${s + 1}`), player.report));
    byId('run-status').textContent = '';
    this.markArmies(this.store.text);
    const panel = byId('run');
    panel.hidden = false;
    byId('run-heading').focus();
    panel.scrollIntoView({ block: 'start' });
  }
}
