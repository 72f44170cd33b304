// The results: a battle's report or a simulation's averages in two
// columns, a simulation's odds table and charts, and the report's Copy
// and Save commands. A simulation's battles are offered for showing.
import type { BattleReport, SimulationOutcome } from '../../engine/api.js';
import { byId, copyText, count, download, showColumn } from './dom.js';
import type { SimulationBattles } from './runs.js';

function percent(share: number): string {
  return `${(share * 100).toFixed(1)}%`;
}

// What Copy Report copies (the columns) and Save Report saves (with the odds after a simulation).
type LastReport = { text: string; copy: string; file: string };

export class Results {
  private lastReport: LastReport | undefined;
  /** What the results on the screen are, and the armies they were fought with. */
  shown: 'report' | 'simulation' | undefined;
  private armiesText = '';

  constructor(private battles: SimulationBattles) {
    byId('copy-report').addEventListener('click', () => void this.copyReport());
    byId('save-report').addEventListener('click', () => {
      if (this.lastReport) download(this.lastReport.text, this.lastReport.file, 'text/plain');
    });
  }

  /** Marks the results as those of earlier armies once the armies differ from theirs, with Fight Again at hand. */
  markArmies(current: string) {
    if (!this.shown) return;
    const earlier = current !== this.armiesText;
    byId('results').classList.toggle('earlier', earlier);
    byId('results-stale').hidden = !earlier;
    byId('results-stale-text').textContent = `This ${this.shown === 'report' ? 'report' : 'simulation'} is of earlier armies: the armies have changed since.`;
  }

  showReport(report: BattleReport, armiesText: string, current: string) {
    this.battles.forget();
    delete byId('results').dataset.seed;
    byId('odds').hidden = true;
    this.showColumns(report.players.map((player) => player.report));
    this.open('report', armiesText, current, 'Battle Report', '', { text: report.text, copy: report.text, file: 'Battle Report.txt' });
  }

  async showSimulation(outcome: SimulationOutcome & { seed: string }, armiesText: string, current: string) {
    // The chart library is loaded the first time a chart is drawn.
    const { drawChanceChart } = await import('./charts.js');
    this.showColumns(outcome.players.map((player) => player.report));
    const table = byId<HTMLTableElement>('odds-table');
    for (const part of [...table.children]) if (part.tagName !== 'CAPTION') part.remove();
    const head = table.createTHead().insertRow();
    for (const title of ['Kind', 'Units', 'Mean left', 'SD', 'Min', 'Max']) {
      const cell = document.createElement('th');
      cell.scope = 'col';
      cell.textContent = title;
      head.append(cell);
    }
    const sideNames = ['Side I', 'Side II'];
    outcome.players.forEach((side, s) => {
      const body = table.createTBody();
      const row = body.insertRow();
      row.className = `side side-${s + 1}`;
      const cell = document.createElement('th');
      cell.scope = 'rowgroup';
      cell.colSpan = 6;
      cell.textContent = `${sideNames[s]} (Wizard ${side.number} : ${side.name}) wins ${percent(side.winChance.value)} (95% interval ${percent(side.winChance.low)} to ${percent(side.winChance.high)})`;
      row.append(cell);
      for (const kind of side.kinds) {
        const line = body.insertRow();
        const name = document.createElement('th');
        name.scope = 'row';
        name.textContent = kind.name;
        line.append(name);
        for (const value of [String(kind.number), kind.mean.toFixed(2), kind.sd.toFixed(2), String(kind.min), String(kind.max)])
          line.insertCell().textContent = value;
      }
    });
    if (outcome.draws > 0) {
      const row = table.createTBody().insertRow();
      const cell = row.insertCell();
      cell.colSpan = 6;
      cell.textContent = `Neither side left: ${percent(outcome.draws / outcome.runs)}`;
    }
    byId('odds').hidden = false;
    outcome.players.forEach((side, s) =>
      drawChanceChart(byId(`chart-${s + 1}`), s, `${sideNames[s]} wins ${percent(side.winChance.value)} of the battles`, side.curve, (units) =>
        void this.battles.pickUnits(s as 0 | 1, units),
      ),
    );
    await this.battles.offer(outcome, armiesText);
    // The seed its battles were fought from, for whoever fights them again: orbsim --seed fights the same ones.
    byId('results').dataset.seed = outcome.seed;
    const note = outcome.cancelled
      ? `Cancelled: the figures are those of the ${outcome.runs} of ${count(outcome.asked, 'battle')} fought.`
      : `The average of ${count(outcome.runs, 'battle')}.`;
    this.open('simulation', armiesText, current, 'Simulation Result', note, {
      text: outcome.text,
      copy: outcome.columnsText,
      file: 'Simulation Report.txt',
    });
  }

  private async copyReport() {
    if (this.lastReport) await copyText(this.lastReport.copy, byId('report-status'), 'The report has been copied.');
  }

  private showColumns(columns: string[][]) {
    columns.forEach((lines, side) => showColumn(byId(`column-${side + 1}`), lines));
  }

  private open(shown: 'report' | 'simulation', armiesText: string, current: string, title: string, note: string, report: LastReport) {
    this.lastReport = report;
    this.shown = shown;
    this.armiesText = armiesText;
    this.markArmies(current);
    const results = byId('results');
    results.hidden = false;
    byId('results-heading').textContent = title;
    byId('results-note').textContent = note;
    byId('report-status').textContent = '';
    byId('results-heading').focus();
    results.scrollIntoView({ block: 'start' });
  }
}
