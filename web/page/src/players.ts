// The two player panels: each player's number and wizard name, a line of
// values per kind, and the form that adds a kind from the catalogue.
import type { CatalogueRow, EngineWorker, Kind, Limits, Player } from '../../engine/api.js';
import type { ArmiesStore } from './armies.js';
import { byId, count, within } from './dom.js';

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

// The desktop dialogs' own words for a refused value: the add dialog's for
// the add form, the modify dialog's for a kind's line, the army info
// dialog's for a player number. A wizard name has none there.
const ADD_REFUSED: Partial<Record<keyof Kind, string>> = {
  name: 'That is no legal unit name',
  position: 'Invalid Entry. The only options are: F, B, R, M and G',
  type: 'Illegal type entered. (Legal are: O, S and U)',
  offense: 'Invalid Entry. Please enter a positive number or 0',
  defense: 'Invalid Entry. Please enter a positive number or 0',
  rangedoff: 'Invalid Entry. Please enter a positive number or 0',
  attacks: 'Invalid Entry. Please enter a positive number',
  hitpoints: 'Invalid Entry. Please enter a positive number',
  number: 'Illegal Number of units',
};
const ADD_NOT_ADDED = 'Not all data have been inserted corretly. As a result, no units have been added to your army.';
const MODIFY_REFUSED: Partial<Record<keyof Kind, string>> = {
  name: 'Illegal Unit name entered',
  position: 'Illegal Battle Position entered. Please type the new battle position (B, M, R, G, F)',
  type: 'Illegal Unit type entered. Please type the new Unit type (O, S or U)',
  number: 'Illegal Number entered',
  offense: 'Illegal Offense value entered',
  defense: 'Illegal Defense value entered',
  rangedoff: 'Illegal Ranged Offense value entered',
  attacks: 'Illegal Attacks value entered',
  hitpoints: 'Illegal Hitpoints value entered',
};
const ILLEGAL_PLAYER_NUMBER = "You've entered an illegal number";

/** The field a writer's refusal names: the last quoted key, after the kind's own name. */
function refusedKey(refusal: string): string | undefined {
  const keys = [...refusal.matchAll(/"(\w+)" (?:must|is missing)/g)];
  return keys[keys.length - 1]?.[1];
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

type PlayerView = ReturnType<PlayerPanels['buildPlayer']>;

export class PlayerPanels {
  private views: PlayerView[] = [];
  private lookupCount = 0;
  private engine!: EngineWorker;
  private limits!: Limits;
  private catalogue: CatalogueRow[] = [];

  /** Built at once, before the engine has started, with every field disabled until it has. */
  constructor(private store: ArmiesStore) {
    const players = byId('players');
    for (let side = 0; side < 2; ++side) {
      const view = this.buildPlayer(side);
      this.views.push(view);
      players.append(view.section);
    }
    this.render();
  }

  /** The engine has started: the fields take the dialogs' lengths and are enabled. */
  start(engine: EngineWorker, limits: Limits, catalogue: CatalogueRow[]) {
    this.engine = engine;
    this.limits = limits;
    this.catalogue = catalogue;
    const names = byId<HTMLDataListElement>('catalogue-names');
    for (const row of catalogue) {
      const option = document.createElement('option');
      option.value = `${row.name} (${row.abbreviation})`;
      names.append(option);
    }
    for (const view of this.views) {
      for (const control of view.section.querySelectorAll<HTMLInputElement | HTMLButtonElement>('input, button')) {
        control.disabled = false;
        if (control instanceof HTMLInputElement) this.limitLength(control);
      }
    }
  }

  /** A field's longest text, as the dialogs' fields allow. */
  private limitLength(input: HTMLInputElement) {
    const limits = this.limits;
    if (!limits) return;
    const key = input.dataset.key ?? input.dataset.field ?? input.dataset.add;
    const numeric = VALUE_FIELDS.find((f) => f.key === key)?.numeric;
    if (input.dataset.field === 'number') input.maxLength = limits.playerNumberDigits;
    else if (input.dataset.field === 'name') input.maxLength = limits.maxNameLength;
    else if (input.dataset.add === 'abbreviation') input.maxLength = limits.maxAbbreviationLength;
    else if (input.dataset.add === 'number' || (key === 'number' && input.dataset.key)) input.maxLength = String(limits.maxUnits).length;
    else if (input.dataset.add === 'search') return;
    else if (key === 'name') input.maxLength = input.dataset.adding ? limits.addNameLength : limits.maxNameLength;
    else if (numeric) input.maxLength = String(limits.maxValue).length;
    else if (key) input.maxLength = 1;
  }

  /** The last step's messages go when the next begins. */
  clearStatuses() {
    for (const view of this.views) view.addStatus.textContent = '';
  }

  render() {
    this.store.armies.players.forEach((player, side) => this.renderPlayer(player, this.views[side], side));
  }

  /** A field's text as the value the army file takes: numbers as the dialogs read them. */
  private async valueOf(text: string, numeric: boolean): Promise<string | number> {
    if (!numeric) return text;
    const number = await this.engine.call('dialogInteger', text);
    // Not a whole number: the writer's refusal names the rule.
    return number ?? text;
  }

  private buildPlayer(side: number) {
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
    for (const [input, key] of [[number, 'number'], [name, 'name']] as const) {
      const error = within<HTMLElement>(section, `[data-error="${key}"]`);
      error.id = `p${side + 1}-${key}-error`;
      input.setAttribute('aria-describedby', error.id);
      const changed = async () => {
        const text = input.value;
        const refused = await this.store.change((a) => void (a.players[side][key] = text));
        if (refused)
          markField(input, error, key === 'number' ? ILLEGAL_PLAYER_NUMBER : `A wizard name is 1 to ${this.limits.maxNameLength} characters long.`);
        else clearField(input, error);
        this.render();
      };
      input.addEventListener('change', () => void changed());
      input.addEventListener('keydown', (event) => {
        // Escape takes back a refused entry.
        if (event.key === 'Escape') {
          clearField(input, error);
          input.value = this.store.armies.players[side][key];
        }
      });
    }

    const add = within<HTMLFormElement>(section, 'form.add-kind');
    const addHeading = within<HTMLElement>(add, 'h3');
    addHeading.id = `p${side + 1}-add-heading`;
    within(addHeading, '[data-add-whose]').textContent = ` to player ${side + 1}'s army`;
    add.setAttribute('aria-labelledby', addHeading.id);
    const values = within<HTMLFieldSetElement>(add, 'fieldset.values');
    const addValues = new Map<keyof Kind, HTMLInputElement>();
    for (const field of VALUE_FIELDS) {
      const input = this.valueInput(field, `p${side + 1}-add-${field.key}`, values);
      input.dataset.adding = 'true';
      addValues.set(field.key, input);
    }
    const view = {
      section,
      number,
      name,
      kinds: within<HTMLOListElement>(section, 'ol.kinds'),
      empty: within<HTMLElement>(section, '.empty-army'),
      addAbbreviation: within<HTMLInputElement>(add, '[data-add="abbreviation"]'),
      addSearch: within<HTMLInputElement>(add, '[data-add="search"]'),
      addNumber: within<HTMLInputElement>(add, '[data-add="number"]'),
      addValues,
      addStatus: within<HTMLElement>(add, '.add-status'),
      addError: within<HTMLElement>(add, '.add-error'),
      // The catalogue row whose values the add form shows, if any.
      filled: null as CatalogueRow | null,
    };
    view.addError.id = `p${side + 1}-add-error`;
    view.addSearch.setAttribute('list', 'catalogue-names');
    for (const control of section.querySelectorAll<HTMLInputElement | HTMLButtonElement>('input, button')) control.disabled = true;

    view.addAbbreviation.addEventListener('input', () => void this.lookUp(view, view.addAbbreviation.value));
    view.addSearch.addEventListener('input', () => {
      const row = this.catalogue.find((r) => `${r.name} (${r.abbreviation})` === view.addSearch.value);
      if (!row) return;
      view.addAbbreviation.value = row.abbreviation;
      void this.lookUp(view, row.abbreviation);
    });
    add.addEventListener('submit', (event) => {
      event.preventDefault();
      void this.addKind(side, view);
    });
    return view;
  }

  private valueInput(field: (typeof VALUE_FIELDS)[number], id: string, into: HTMLElement) {
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
    input.disabled = !this.engine;
    wrap.append(label, input);
    into.append(wrap);
    this.limitLength(input);
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
    if (this.store.armies.players[side].kinds.length >= this.limits.maxKinds) {
      // The writer refuses the 41st kind too; this says it in a player's words first.
      view.addError.textContent = `An army can hold no more than ${this.limits.maxKinds} unit kinds.\nAs a result, no units have been added to your army.`;
      return;
    }
    const kind: Record<string, string | number> = { abbreviation: view.addAbbreviation.value };
    for (const field of VALUE_FIELDS) kind[field.key] = await this.valueOf(view.addValues.get(field.key)!.value, field.numeric);
    kind.number = await this.valueOf(view.addNumber.value, true);
    const refused = await this.store.change((a) => void a.players[side].kinds.push(kind as unknown as Kind));
    for (const input of [view.addNumber, view.addAbbreviation, ...view.addValues.values()]) input.removeAttribute('aria-invalid');
    if (refused) {
      // The refusal names the field: say what the add dialog says of it, mark it and go there.
      const key = refusedKey(refused);
      const said = ADD_REFUSED[key as keyof Kind];
      view.addError.textContent = said ? `${said}\n${ADD_NOT_ADDED}` : ADD_NOT_ADDED;
      const field = key === 'number' ? view.addNumber : key === 'abbreviation' ? view.addAbbreviation : view.addValues.get(key as keyof Kind);
      if (field) {
        field.setAttribute('aria-invalid', 'true');
        field.setAttribute('aria-describedby', view.addError.id);
        field.focus();
      }
      return;
    }
    view.addError.textContent = '';
    view.addStatus.textContent = `${count(Number(kind.number), 'unit')} of ${kind.name} added to player ${side + 1}'s army.`;
    for (const input of [view.addNumber, view.addAbbreviation, view.addSearch, ...view.addValues.values()]) input.value = '';
    view.filled = null;
    view.addAbbreviation.focus();
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
    const at = () => [...view.kinds.children].indexOf(item);
    const values = within<HTMLElement>(item, '.kind-values');
    const error = within<HTMLElement>(item, '.kind-error');
    const serial = `p${side + 1}-k${Math.random().toString(36).slice(2, 8)}`;
    error.id = `${serial}-error`;
    const fields = [...VALUE_FIELDS, UNITS_FIELD];
    for (const field of fields) {
      const input = this.valueInput(field, `${serial}-${field.key}`, values);
      input.setAttribute('aria-describedby', error.id);
      const changed = async () => {
        const value = await this.valueOf(input.value, field.numeric);
        const kind = at();
        const refused = await this.store.change((a) => {
          (a.players[side].kinds[kind] as unknown as Record<string, unknown>)[field.key] = value;
        });
        for (const other of values.querySelectorAll('input')) other.removeAttribute('aria-invalid');
        if (refused) markField(input, error, MODIFY_REFUSED[field.key] ?? refused);
        else error.textContent = '';
        this.render();
      };
      input.addEventListener('change', () => void changed());
      input.addEventListener('keydown', (event) => {
        if (event.key !== 'Escape') return;
        clearField(input, error);
        input.value = String(this.store.armies.players[side].kinds[at()]?.[field.key] ?? '');
      });
    }
    const remove = within<HTMLButtonElement>(item, 'button.remove');
    remove.disabled = !this.engine;
    // Beside the name on a wide screen, after the values on a narrow one.
    values.querySelector('.value-name')!.after(remove);
    const removed = async () => {
      const kind = at();
      const name = this.store.armies.players[side].kinds[kind]?.name ?? '';
      const refused = await this.store.change((a) => void a.players[side].kinds.splice(kind, 1));
      if (refused) {
        error.textContent = refused;
        return;
      }
      view.addStatus.textContent = `${name} removed from player ${side + 1}'s army.`;
      const next = view.kinds.children[Math.min(kind, view.kinds.children.length - 1)];
      (next ? within<HTMLButtonElement>(next, 'button.remove') : view.addAbbreviation).focus();
    };
    remove.addEventListener('click', () => void removed());
  }
}
