// The page: both armies, the battle commands, the force finder, and keeping
// and sharing armies. It only renders: every rule, limit, message, report
// and figure comes from the engine, and every change to the armies is
// checked whole by the army file's own writer before it is taken.
import type { ArmiesFile, CatalogueRow, EngineWorker, Kind, Limits, Player, Trial } from '../../engine/api.js';
import { EnginePool, startEngineWorker } from '../../engine/index.js';
import { drawChanceChart, drawForceChart } from './charts.js';
import { bytesOfFragment, fragmentFor, holdsArmies } from './share.js';

const STORAGE_KEY = 'orb-battle-armies';

// The kind's values as the army file names them, with the page's labels.
const VALUE_FIELDS: { key: keyof Kind; label: string; short: string; numeric: boolean }[] = [
  { key: 'name', label: 'Full name', short: 'Full name', numeric: false },
  { key: 'position', label: 'Position', short: 'Pos', numeric: false },
  { key: 'type', label: 'Type', short: 'Type', numeric: false },
  { key: 'offense', label: 'Offense', short: 'Off', numeric: true },
  { key: 'defense', label: 'Defense', short: 'Def', numeric: true },
  { key: 'rangedoff', label: 'Ranged offense', short: 'Rof', numeric: true },
  { key: 'attacks', label: 'Attacks', short: 'Att', numeric: true },
  { key: 'hitpoints', label: 'Hit points', short: 'Hit', numeric: true },
];
const UNITS_FIELD = { key: 'number' as const, label: 'Units', short: 'Units', numeric: true };

function byId<T extends HTMLElement>(id: string): T {
  const element = document.getElementById(id);
  if (!element) throw new Error(`the page has no #${id}`);
  return element as T;
}

function within<T extends Element>(root: ParentNode, selector: string): T {
  const element = root.querySelector(selector);
  if (!element) throw new Error(`no ${selector}`);
  return element as T;
}

function errorText(error: unknown): string {
  return error instanceof Error ? error.message : String(error);
}

function percent(share: number): string {
  return `${(share * 100).toFixed(1)}%`;
}

function download(text: string, name: string, type: string) {
  const url = URL.createObjectURL(new Blob([text], { type }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10_000);
}

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

/** Shows a field's refusal beside it; the army keeps its old value. */
function markField(input: HTMLInputElement, message: HTMLElement, text: string) {
  input.setAttribute('aria-invalid', 'true');
  message.textContent = text;
}

function clearField(input: HTMLInputElement, message: HTMLElement) {
  input.removeAttribute('aria-invalid');
  message.textContent = '';
}

interface PlayerView {
  section: HTMLElement;
  number: HTMLInputElement;
  name: HTMLInputElement;
  numberError: HTMLElement;
  nameError: HTMLElement;
  kinds: HTMLOListElement;
  empty: HTMLElement;
  add: HTMLFormElement;
  addAbbreviation: HTMLInputElement;
  addSearch: HTMLInputElement;
  addNumber: HTMLInputElement;
  addValues: Map<keyof Kind, HTMLInputElement>;
  addStatus: HTMLElement;
  addError: HTMLElement;
  // The catalogue row whose values the add form shows, if any.
  filled: CatalogueRow | null;
}

// What Copy Report copies (the columns) and Save Report saves (with the odds after a simulation).
type LastReport = { text: string; copy: string; file: string };

class Page {
  private armies: ArmiesFile = emptyArmies();
  private armiesText = '';
  private views: PlayerView[] = [];
  private edits: Promise<unknown> = Promise.resolve();
  private busy = false;
  private cancelling = false;
  private lastReport: LastReport | undefined;
  private lookupCount = 0;
  private found: { side: number; kind: number; number: number; text: string; name: string } | undefined;

  constructor(
    private engine: EngineWorker,
    private pool: EnginePool,
    private limits: Limits,
    private catalogue: CatalogueRow[],
  ) {}

  async start() {
    const names = byId<HTMLDataListElement>('catalogue-names');
    for (const row of this.catalogue) {
      const option = document.createElement('option');
      option.value = `${row.name} (${row.abbreviation})`;
      names.append(option);
    }
    const players = byId('players');
    for (let side = 0; side < 2; ++side) {
      const view = this.buildPlayer(side);
      this.views.push(view);
      players.append(view.section);
    }
    this.wireCommands();
    this.wireFiles();
    await this.loadArmies();
    byId('loading').hidden = true;
  }

  // ---- The armies -------------------------------------------------------

  private async loadArmies() {
    let loaded = false;
    if (holdsArmies(location.hash)) {
      const hash = location.hash;
      // Opened once: a reload shows what the player has made of them since.
      history.replaceState(null, '', location.pathname + location.search);
      const unpacked = await bytesOfFragment(hash, this.limits.maxFileBytes);
      const read = 'bytes' in unpacked ? await this.engine.call('readArmies', unpacked.bytes) : { ok: false as const, error: unpacked.error };
      if (read.ok) {
        loaded = (await this.replaceArmies(read.armies)) === null;
        if (loaded) this.notice('The armies of the link are shown; this browser now keeps them instead of its own.');
      } else {
        this.notice(`The armies of this link could not be opened: ${read.error}. Nothing was changed.`, true);
      }
    }
    if (!loaded) {
      let stored: string | null = null;
      try {
        stored = localStorage.getItem(STORAGE_KEY);
      } catch {
        // Storage may be switched off; the armies then last as long as the page.
      }
      const read = stored ? await this.engine.call('readArmies', stored) : undefined;
      const start = read?.ok ? read.armies : emptyArmies();
      const written = await this.engine.call('writeArmies', start);
      if (!written.ok) throw new Error(written.error);
      this.take(written.text);
    }
  }

  private take(text: string) {
    this.armiesText = text;
    this.armies = JSON.parse(text) as ArmiesFile;
    try {
      localStorage.setItem(STORAGE_KEY, text);
    } catch {
      this.notice('This browser does not keep the armies: save them to a file before you leave.', true);
    }
    if (holdsArmies(location.hash)) history.replaceState(null, '', location.pathname + location.search);
    byId('share-box').hidden = true;
    this.render();
  }

  /**
   * Applies a change to a copy of the armies and takes it if the army file's
   * writer accepts the result; otherwise returns its refusal and nothing
   * changes. Changes are applied one after another, each to the armies the
   * one before left.
   */
  private change(edit: (armies: ArmiesFile) => void): Promise<string | null> {
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

  private replaceArmies(armies: ArmiesFile) {
    return this.change((current) => {
      current.players = armies.players;
    });
  }

  /** A field's text as the value the army file takes: numbers as the dialogs read them. */
  private async valueOf(text: string, numeric: boolean): Promise<string | number> {
    if (!numeric) return text;
    const number = await this.engine.call('dialogInteger', text);
    // Not a whole number: the writer's refusal names the rule.
    return number ?? text;
  }

  private buildPlayer(side: number): PlayerView {
    const template = byId<HTMLTemplateElement>('player-template');
    const section = (template.content.firstElementChild as HTMLElement).cloneNode(true) as HTMLElement;
    const heading = within<HTMLElement>(section, '.player-heading');
    heading.id = `player-${side + 1}-heading`;
    heading.textContent = `Player ${side + 1}`;
    section.setAttribute('aria-labelledby', heading.id);
    section.id = `player-${side + 1}`;

    // Labels tie to their fields by id, unique per player.
    for (const label of section.querySelectorAll<HTMLLabelElement>('label[data-for]')) {
      const field = label.nextElementSibling as HTMLElement;
      field.id = `p${side + 1}-${label.dataset.for}`;
      label.htmlFor = field.id;
    }
    const number = within<HTMLInputElement>(section, '[data-field="number"]');
    const name = within<HTMLInputElement>(section, '[data-field="name"]');
    number.maxLength = this.limits.playerNumberDigits;
    name.maxLength = this.limits.maxNameLength;
    const numberError = within<HTMLElement>(section, '[data-error="number"]');
    const nameError = within<HTMLElement>(section, '[data-error="name"]');
    numberError.id = `p${side + 1}-number-error`;
    nameError.id = `p${side + 1}-name-error`;
    number.setAttribute('aria-describedby', numberError.id);
    name.setAttribute('aria-describedby', nameError.id);

    const add = within<HTMLFormElement>(section, 'form.add-kind');
    const addHeading = within<HTMLElement>(add, 'h3');
    addHeading.id = `p${side + 1}-add-heading`;
    add.setAttribute('aria-labelledby', addHeading.id);
    const values = within<HTMLFieldSetElement>(add, 'fieldset.values');
    const addValues = new Map<keyof Kind, HTMLInputElement>();
    for (const field of VALUE_FIELDS) {
      const input = this.valueInput(field, `p${side + 1}-add-${field.key}`, values, field.key === 'name' ? this.limits.addNameLength : undefined);
      addValues.set(field.key, input);
    }
    const view: PlayerView = {
      section,
      number,
      name,
      numberError,
      nameError,
      kinds: within(section, 'ol.kinds'),
      empty: within(section, '.empty-army'),
      add,
      addAbbreviation: within(add, '[data-add="abbreviation"]'),
      addSearch: within(add, '[data-add="search"]'),
      addNumber: within(add, '[data-add="number"]'),
      addValues,
      addStatus: within(add, '.add-status'),
      addError: within(add, '.add-error'),
      filled: null,
    };
    view.addError.id = `p${side + 1}-add-error`;
    view.addAbbreviation.maxLength = this.limits.maxAbbreviationLength;
    view.addNumber.maxLength = String(this.limits.maxUnits).length;
    view.addSearch.setAttribute('list', 'catalogue-names');

    const player = () => this.armies.players[side];
    number.addEventListener('change', async () => {
      const text = number.value;
      const refused = await this.change((a) => void (a.players[side].number = text));
      if (refused) markField(number, numberError, refused);
      else clearField(number, numberError);
      this.render();
    });
    name.addEventListener('change', async () => {
      const text = name.value;
      const refused = await this.change((a) => void (a.players[side].name = text));
      if (refused) markField(name, nameError, refused);
      else clearField(name, nameError);
      this.render();
    });
    for (const input of [number, name])
      input.addEventListener('keydown', (event) => {
        // Escape takes back a refused entry.
        if (event.key === 'Escape') {
          clearField(input, input === number ? numberError : nameError);
          input.value = input === number ? player().number : player().name;
        }
      });

    view.addAbbreviation.addEventListener('input', () => this.lookUp(view, view.addAbbreviation.value));
    view.addSearch.addEventListener('input', () => {
      const row = this.catalogue.find((r) => `${r.name} (${r.abbreviation})` === view.addSearch.value);
      if (!row) return;
      view.addAbbreviation.value = row.abbreviation;
      this.lookUp(view, row.abbreviation);
    });
    add.addEventListener('submit', (event) => {
      event.preventDefault();
      void this.addKind(side, view);
    });
    return view;
  }

  private valueInput(field: (typeof VALUE_FIELDS)[number], id: string, into: HTMLElement, maxLength?: number) {
    const wrap = document.createElement('div');
    wrap.className = `field value-${field.key}`;
    const label = document.createElement('label');
    // Short on the screen, whole for a screen reader.
    label.textContent = field.short;
    label.htmlFor = id;
    const input = document.createElement('input');
    input.type = 'text';
    input.id = id;
    input.setAttribute('aria-label', field.label);
    input.autocomplete = 'off';
    input.dataset.key = field.key;
    if (field.numeric) input.inputMode = 'numeric';
    input.maxLength =
      maxLength ?? (field.numeric ? String(this.limits.maxValue).length : field.key === 'name' ? this.limits.maxNameLength : 1);
    wrap.append(label, input);
    into.append(wrap);
    return input;
  }

  private async lookUp(view: PlayerView, text: string) {
    const asked = ++this.lookupCount;
    const row = text.trim() ? await this.engine.call('lookup', text) : null;
    if (asked !== this.lookupCount) return;
    if (!row) {
      // Values the catalogue filled in belong to another kind; values typed stay.
      const filled = view.filled;
      if (filled && [...view.addValues].every(([key, input]) => input.value === String(filled[key as keyof CatalogueRow])))
        for (const input of view.addValues.values()) input.value = '';
      view.filled = null;
      // Said only once the abbreviation is whole, not at every letter.
      view.addStatus.textContent =
        text.length >= this.limits.maxAbbreviationLength ? `${text} is not in the catalogue: type the kind's values below.` : '';
      return;
    }
    for (const [key, input] of view.addValues) input.value = String(row[key as keyof CatalogueRow]);
    view.filled = row;
    view.addStatus.textContent = `${row.name}: the catalogue's values are filled in.`;
  }

  private async addKind(side: number, view: PlayerView) {
    if (this.armies.players[side].kinds.length >= this.limits.maxKinds) {
      // The writer refuses the 41st kind too; this says it in a player's words first.
      view.addError.textContent = `An army holds at most ${this.limits.maxKinds} kinds: remove one first.`;
      return;
    }
    const kind: Record<string, string | number> = { abbreviation: view.addAbbreviation.value };
    for (const field of VALUE_FIELDS) kind[field.key] = await this.valueOf(view.addValues.get(field.key)!.value, field.numeric);
    kind.number = await this.valueOf(view.addNumber.value, true);
    const refused = await this.change((a) => void a.players[side].kinds.push(kind as unknown as Kind));
    for (const input of [view.addNumber, view.addAbbreviation, ...view.addValues.values()]) input.removeAttribute('aria-invalid');
    if (refused) {
      view.addError.textContent = refused;
      // The refusal names the field: mark it and go there.
      const key = /: "(\w+)" /.exec(refused)?.[1];
      const field = key === 'number' ? view.addNumber : key === 'abbreviation' ? view.addAbbreviation : view.addValues.get(key as keyof Kind);
      if (field) {
        field.setAttribute('aria-invalid', 'true');
        field.setAttribute('aria-describedby', view.addError.id);
        field.focus();
      }
      return;
    }
    view.addError.textContent = '';
    view.addStatus.textContent = `${kind.number} ${kind.name} added to player ${side + 1}'s army.`;
    for (const input of [view.addNumber, view.addAbbreviation, view.addSearch, ...view.addValues.values()]) input.value = '';
    view.filled = null;
    view.addAbbreviation.focus();
  }

  private render() {
    this.armies.players.forEach((player, side) => this.renderPlayer(player, this.views[side], side));
    this.renderForceKinds();
  }

  private renderPlayer(player: Player, view: PlayerView, side: number) {
    const keep = (input: HTMLInputElement) => input === document.activeElement || input.getAttribute('aria-invalid') === 'true';
    if (!keep(view.number)) view.number.value = player.number;
    if (!keep(view.name)) view.name.value = player.name;
    view.empty.hidden = player.kinds.length > 0;

    const template = byId<HTMLTemplateElement>('kind-template');
    while (view.kinds.children.length > player.kinds.length) view.kinds.lastElementChild!.remove();
    while (view.kinds.children.length < player.kinds.length) {
      const item = (template.content.firstElementChild as HTMLElement).cloneNode(true) as HTMLLIElement;
      this.wireKind(item, side, view);
      view.kinds.append(item);
    }
    player.kinds.forEach((kind, index) => {
      const item = view.kinds.children[index] as HTMLLIElement;
      within(item, 'legend').textContent = kind.abbreviation ? `${kind.name} (${kind.abbreviation})` : kind.name;
      for (const input of item.querySelectorAll<HTMLInputElement>('input[data-key]')) {
        if (keep(input)) continue;
        input.value = String(kind[input.dataset.key as keyof Kind]);
      }
    });
  }

  private wireKind(item: HTMLLIElement, side: number, view: PlayerView) {
    const at = () => Array.prototype.indexOf.call(view.kinds.children, item) as number;
    const values = within<HTMLElement>(item, '.kind-values');
    const error = within<HTMLElement>(item, '.kind-error');
    const serial = `p${side + 1}-k${Math.random().toString(36).slice(2, 8)}`;
    error.id = `${serial}-error`;
    const fields = [...VALUE_FIELDS, UNITS_FIELD];
    for (const field of fields) {
      const input = this.valueInput(
        field,
        `${serial}-${field.key}`,
        values,
        field.key === 'number' ? String(this.limits.maxUnits).length : undefined,
      );
      input.setAttribute('aria-describedby', error.id);
      input.addEventListener('change', async () => {
        const value = await this.valueOf(input.value, field.numeric);
        const kind = at();
        const refused = await this.change((a) => {
          (a.players[side].kinds[kind] as unknown as Record<string, unknown>)[field.key] = value;
        });
        for (const other of values.querySelectorAll('input')) other.removeAttribute('aria-invalid');
        if (refused) markField(input, error, refused);
        else error.textContent = '';
        this.render();
      });
      input.addEventListener('keydown', (event) => {
        if (event.key !== 'Escape') return;
        clearField(input, error);
        input.value = String(this.armies.players[side].kinds[at()]?.[field.key] ?? '');
      });
    }
    const remove = within<HTMLButtonElement>(item, 'button.remove');
    // Beside the name on a wide screen, after the values on a narrow one.
    values.querySelector('.value-name')!.after(remove);
    remove.addEventListener('click', async () => {
      const kind = at();
      const name = this.armies.players[side].kinds[kind]?.name ?? '';
      const refused = await this.change((a) => void a.players[side].kinds.splice(kind, 1));
      if (refused) {
        error.textContent = refused;
        return;
      }
      view.addStatus.textContent = `${name} removed from player ${side + 1}'s army.`;
      const next = view.kinds.children[Math.min(kind, view.kinds.children.length - 1)];
      (next ? within<HTMLButtonElement>(next, 'button.remove') : view.addAbbreviation).focus();
    });
  }

  // ---- Messages and results ------------------------------------------------

  private notice(text: string, isError = false) {
    const notice = byId('notice');
    notice.textContent = text;
    notice.classList.toggle('error', isError);
  }

  private setBusy(busy: boolean, label = '') {
    this.busy = busy;
    this.cancelling = false;
    for (const id of ['create-report', 'simulate', 'find-force', 'apply-force']) byId<HTMLButtonElement>(id).disabled = busy;
    const box = byId('progress-box');
    box.hidden = !busy;
    byId<HTMLButtonElement>('cancel').disabled = false;
    byId('progress-label').textContent = label;
    const bar = byId<HTMLProgressElement>('progress');
    bar.removeAttribute('value');
    if (busy) byId('cancel').focus();
  }

  private showColumns(columns: string[][]) {
    columns.forEach((lines, side) => {
      const shown = [...lines];
      while (shown.length && shown[shown.length - 1] === '') shown.pop();
      byId(`column-${side + 1}`).textContent = shown.join('\n');
    });
  }

  private openResults(title: string, note: string, report: LastReport) {
    this.lastReport = report;
    const results = byId('results');
    results.hidden = false;
    byId('results-heading').textContent = title;
    byId('results-note').textContent = note;
    byId('report-status').textContent = '';
    byId('results-heading').focus();
    results.scrollIntoView({ block: 'start' });
  }

  private commandError(text: string) {
    byId('command-error').textContent = text;
  }

  // ---- Commands ------------------------------------------------------------

  private wireCommands() {
    byId('create-report').addEventListener('click', () => void this.createReport());
    byId('simulate').addEventListener('click', () => void this.simulate());
    byId('runs').addEventListener('keydown', (event) => {
      if (event.key === 'Enter') void this.simulate();
    });
    byId('cancel').addEventListener('click', () => {
      this.cancelling = true;
      byId<HTMLButtonElement>('cancel').disabled = true;
      byId('progress-label').textContent = 'Cancelling...';
      this.pool.cancel();
    });
    byId('copy-report').addEventListener('click', () => void this.copyReport());
    byId('save-report').addEventListener('click', () => {
      if (this.lastReport) download(this.lastReport.text, this.lastReport.file, 'text/plain');
    });
    byId('force-side').addEventListener('change', () => this.renderForceKinds());
    byId('find-force').addEventListener('click', () => void this.findForce());
    byId('apply-force').addEventListener('click', () => void this.applyForce());
  }

  private async createReport() {
    if (this.busy) return;
    this.commandError('');
    await this.edits;
    if (!(await this.guard('report', 'create-report'))) return;
    try {
      const report = await this.pool.report(this.armiesText);
      byId('odds').hidden = true;
      this.showColumns(report.columns);
      this.openResults('Battle Report', '', { text: report.text, copy: report.text, file: 'Battle Report.txt' });
    } catch (error) {
      this.commandError(errorText(error));
    }
  }

  /** The desktop's guard: a battle needs units on both sides. */
  private async guard(command: 'report' | 'simulation', button: string, show = (text: string) => this.commandError(text)) {
    const guard = await this.engine.call('battleGuard', this.armiesText, command);
    if (guard.ok) return true;
    show(guard.error);
    byId(button).focus();
    return false;
  }

  private async simulate() {
    if (this.busy) return;
    this.commandError('');
    await this.edits;
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
    await this.edits;
    const armiesText = this.armiesText;
    this.setBusy(true, `Fighting ${runs} battles...`);
    const bar = byId<HTMLProgressElement>('progress');
    try {
      const outcome = await this.pool.simulate(armiesText, {
        runs,
        onProgress: (done: number, total: number) => {
          if (this.cancelling) return;
          bar.max = total;
          bar.value = done;
          byId('progress-label').textContent = `${done} of ${total} battles fought`;
        },
      });
      this.setBusy(false);
      if (outcome.runsDone < 1) {
        this.commandError('The simulation was cancelled before any battle ended.');
        byId('simulate').focus();
        return;
      }
      this.showSimulation(outcome);
    } catch (error) {
      this.setBusy(false);
      this.commandError(errorText(error));
      byId('simulate').focus();
    }
  }

  private showSimulation(outcome: Awaited<ReturnType<EnginePool['simulate']>>) {
    this.showColumns(outcome.columns);
    const table = byId<HTMLTableElement>('odds-table');
    for (const part of [...table.children]) if (part.tagName !== 'CAPTION') part.remove();
    const head = table.createTHead().insertRow();
    for (const title of ['', 'Units', 'Mean left', 'SD', 'Min', 'Max']) {
      const cell = document.createElement('th');
      cell.scope = 'col';
      cell.textContent = title;
      head.append(cell);
    }
    const sideNames = ['Side I', 'Side II'];
    outcome.sides.forEach((side, s) => {
      const body = table.createTBody();
      const row = body.insertRow();
      row.className = `side side-${s + 1}`;
      const cell = document.createElement('th');
      cell.scope = 'rowgroup';
      cell.colSpan = 6;
      cell.textContent = `${sideNames[s]} (Wizard ${side.number} : ${side.name}) wins ${percent(side.chance.value)} (95% interval ${percent(side.chance.low)} to ${percent(side.chance.high)})`;
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
      cell.textContent = `Neither side left: ${percent(outcome.draws / outcome.runsDone)}`;
    }
    byId('odds').hidden = false;
    outcome.sides.forEach((side, s) => {
      const size = side.kinds.reduce((sum, kind) => sum + kind.number, 0);
      drawChanceChart(byId(`chart-${s + 1}`), s, `${sideNames[s]} wins ${percent(side.chance.value)} of the battles`, side.totalLeft, size);
    });
    const note = outcome.cancelled
      ? `Cancelled: the figures are those of the ${outcome.runsDone} of ${outcome.runs} battles fought.`
      : `The average of ${outcome.runsDone} battles.`;
    this.openResults('Simulation Result', note, { text: outcome.text, copy: outcome.columnsText, file: 'Simulation Report.txt' });
  }

  private async copyReport() {
    if (!this.lastReport) return;
    try {
      await navigator.clipboard.writeText(this.lastReport.copy);
      byId('report-status').textContent = 'The report has been copied.';
    } catch {
      byId('report-status').textContent = 'The browser did not allow copying: select the report and copy it, or use Save Report...';
    }
  }

  private renderForceKinds() {
    const side = Number(byId<HTMLSelectElement>('force-side').value);
    const select = byId<HTMLSelectElement>('force-kind');
    const chosen = select.value;
    select.replaceChildren();
    this.armies.players[side].kinds.forEach((kind, index) => {
      const option = document.createElement('option');
      option.value = String(index);
      option.textContent = kind.abbreviation ? `${kind.name} (${kind.abbreviation})` : kind.name;
      select.append(option);
    });
    if ([...select.options].some((o) => o.value === chosen)) select.value = chosen;
    const sides = byId<HTMLSelectElement>('force-side');
    this.armies.players.forEach((player, s) => {
      sides.options[s].textContent = `Player ${s + 1} (Wizard ${player.number} : ${player.name})`;
    });
  }

  private async findForce() {
    if (this.busy) return;
    const error = byId('force-error');
    error.textContent = '';
    await this.edits;
    if (!(await this.guard('simulation', 'find-force', (text) => (error.textContent = text)))) return;
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
    await this.edits;
    const armiesText = this.armiesText;
    const kind = Number(kindText);
    this.setBusy(true, 'Searching...');
    byId('force-result').hidden = true;
    try {
      const answer: any = await this.pool.findForce(armiesText, {
        side,
        kind,
        // Percent as a share, rounded as typed: 99.9 is 0.999, not 0.9990000000000001.
        target: Number((target / 100).toFixed(6)),
        largest,
        onProgress: (progress: { numbersTried: number; battles: number; current: number }) => {
          if (this.cancelling) return;
          byId('progress-label').textContent = `Trying ${progress.current}: ${progress.numbersTried} numbers tried, ${progress.battles} battles fought`;
        },
      });
      this.setBusy(false);
      byId('force-lines').textContent = (answer.lines as string[]).join('\n');
      byId('force-result').hidden = false;
      const trials = (answer.trials as Trial[]) ?? [];
      drawForceChart(byId('force-chart'), `${answer.kind.name} of player ${side + 1}`, trials, answer.target);
      const found = answer.found as number | null;
      this.found =
        found !== null && !answer.cancelled ? { side, kind, number: found, text: armiesText, name: answer.kind.name } : undefined;
      byId<HTMLButtonElement>('apply-force').disabled = !this.found;
      byId('apply-note').textContent = this.found ? `Apply sets ${answer.kind.name} to ${found} units.` : '';
      byId('force-lines').focus();
    } catch (failure) {
      this.setBusy(false);
      error.textContent = errorText(failure);
      byId('find-force').focus();
    }
  }

  private async applyForce() {
    const found = this.found;
    if (!found || this.busy) return;
    const kind = this.armies.players[found.side].kinds[found.kind];
    if (!kind || kind.name !== found.name) {
      byId('apply-note').textContent = 'The armies have changed since the search: search again.';
      return;
    }
    const refused = await this.change((a) => void (a.players[found.side].kinds[found.kind].number = found.number));
    byId('apply-note').textContent = refused ?? `${found.name} of player ${found.side + 1} now number ${found.number}.`;
  }

  // ---- Keeping and sharing ----------------------------------------------------

  private wireFiles() {
    const picker = byId<HTMLInputElement>('open-file');
    byId('open-armies').addEventListener('click', () => picker.click());
    picker.addEventListener('change', () => {
      const file = picker.files?.[0];
      picker.value = '';
      if (file) void this.openFile(file);
    });
    byId('save-armies').addEventListener('click', async () => {
      await this.edits;
      download(this.armiesText, 'armies.json', 'application/json');
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

  private async openFile(file: File) {
    // One byte past the largest file is enough for the reader to refuse it.
    const bytes = new Uint8Array(await file.slice(0, this.limits.maxFileBytes + 1).arrayBuffer());
    const read = await this.engine.call('readArmies', bytes);
    if (!read.ok) {
      this.notice(`"${file.name}" was not opened: ${read.error}. Nothing was changed.`, true);
      return;
    }
    const refused = await this.replaceArmies(read.armies);
    if (refused) this.notice(`"${file.name}" was not opened: ${refused}. Nothing was changed.`, true);
    else this.notice(`"${file.name}" opened.`);
  }

  private async share() {
    await this.edits;
    const fragment = await fragmentFor(this.armiesText);
    history.replaceState(null, '', location.pathname + location.search + fragment);
    const box = byId('share-box');
    const field = byId<HTMLInputElement>('share-url');
    field.value = location.href;
    box.hidden = false;
    try {
      await navigator.clipboard.writeText(location.href);
      this.notice('The link to these armies is in the address bar, and has been copied.');
    } catch {
      this.notice('The link to these armies is in the address bar and below.');
    }
    field.select();
  }
}

async function main() {
  try {
    const engine = await startEngineWorker();
    const [limits, catalogue] = await Promise.all([engine.call('limits'), engine.call('catalogue')]);
    const page = new Page(engine, new EnginePool(), limits, catalogue);
    await page.start();
    document.body.dataset.ready = 'true';
  } catch (error) {
    byId('loading').textContent = `The simulator could not start: ${errorText(error)}`;
    return;
  }
  if ('serviceWorker' in navigator) navigator.serviceWorker.register('sw.js').catch(() => {});
}

void main();
