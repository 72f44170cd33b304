// The engine on the calling thread, for cheap synchronous calls: the
// catalogue, the dialogs' limits and integer rule, and army files. Battles
// are fought by an EnginePool, off the page's thread.
import { compileEngine, instantiateEngine } from './module.js';

/**
 * @typedef {object} CatalogueRow
 * @property {string} abbreviation
 * @property {string} name
 * @property {string} position  F, G, B, R or M
 * @property {string} type      O, S, U or H
 * @property {number} offense
 * @property {number} defense
 * @property {number} rangedoff
 * @property {number} attacks
 * @property {number} hitpoints
 */

/**
 * @typedef {object} Limits
 * @property {number} maxUnits
 * @property {number} maxValue
 * @property {number} maxPlayerNumber
 * @property {number} playerNumberDigits
 * @property {number} maxNameLength
 * @property {number} addNameLength
 * @property {number} maxAbbreviationLength
 * @property {number} maxKinds
 * @property {number} maxFileBytes
 */

/** Text or bytes (UTF-8) of an army file, as a file picker gives them. */
/** @typedef {string | Uint8Array | ArrayBuffer} FileText */

export class Engine {
  /** @param {any} binding */
  constructor(binding) {
    this.binding = binding;
    /** @type {CatalogueRow[] | undefined} */
    this.rows = undefined;
  }

  /** @returns {CatalogueRow[]} every row of the unit catalogue, in its order */
  catalogue() {
    this.rows ??= JSON.parse(this.binding.catalogue());
    return this.rows.map((row) => ({ ...row }));
  }

  /** @returns {Limits} what the unit and army dialogs accept */
  limits() {
    return JSON.parse(this.binding.limits());
  }

  /**
   * A whole number as the dialogs read one, or null.
   * @param {string} text
   * @returns {number | null}
   */
  dialogInteger(text) {
    return JSON.parse(this.binding.dialogInteger(String(text)));
  }

  /**
   * The catalogue's row for an abbreviation in any case, or null.
   * @param {string} abbreviation
   * @returns {CatalogueRow | null}
   */
  lookup(abbreviation) {
    return JSON.parse(this.binding.lookup(String(abbreviation)));
  }

  /**
   * Whether both armies have units for a battle ("report") or a simulation
   * (any other command); when not, the main window's message for the first
   * player without units.
   * @param {FileText} text  an army file
   * @param {'report' | 'simulation'} command
   * @returns {{ok: true} | {ok: false, error: string}}
   */
  battleGuard(text, command) {
    return JSON.parse(this.binding.battleGuard(bytesOrText(text), String(command)));
  }

  /**
   * Reads an army file, checking it whole. The armies come as the file's
   * JSON object, as the file's writer writes it.
   * @param {FileText} text
   * @returns {{ok: true, armies: object} | {ok: false, error: string}}
   */
  readArmies(text) {
    return JSON.parse(this.binding.readArmies(bytesOrText(text)));
  }

  /**
   * The text of an army file holding these armies, or why they break a rule.
   * @param {object | string} armies  the file's JSON object (or its text)
   * @returns {{ok: true, text: string} | {ok: false, error: string}}
   */
  writeArmies(armies) {
    return JSON.parse(this.binding.writeArmies(typeof armies === 'string' ? armies : JSON.stringify(armies)));
  }
}

/**
 * @param {FileText} text
 * @returns {string | Uint8Array}
 */
export function bytesOrText(text) {
  if (typeof text === 'string' || text instanceof Uint8Array) return text;
  if (text instanceof ArrayBuffer) return new Uint8Array(text);
  throw new TypeError('an army file must be given as text or bytes');
}

/**
 * The engine on the current thread.
 * @returns {Promise<Engine>}
 */
export async function loadEngine() {
  return new Engine(await instantiateEngine(await compileEngine()));
}
