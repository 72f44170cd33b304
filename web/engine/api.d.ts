// The browser engine's API, described once: what its calls take and give.
// The page's TypeScript imports it, and so does the JSDoc of the engine's
// own scripts. The C++ binding writes every answer as JSON of these shapes.

/** A row of the unit catalogue: a kind of unit without its number. Positions are F, G, B, R or M; types O, S, U or H. */
export type CatalogueRow = { abbreviation: string; name: string; position: string; type: string } &
  Record<'offense' | 'defense' | 'rangedoff' | 'attacks' | 'hitpoints', number>;

/** A kind of unit as an army file holds it. */
export type Kind = CatalogueRow & { number: number };

export type Player = { number: string; name: string; kinds: Kind[] };

/** An army file's JSON object, as the file's writer writes it. */
export type ArmiesFile = { format: string; version: number; players: [Player, Player] };

/** What the unit and army dialogs accept. */
export type Limits = Record<
  | 'maxUnits' | 'maxValue' | 'maxPlayerNumber' | 'playerNumberDigits' | 'maxNameLength' | 'addNameLength'
  | 'maxAbbreviationLength' | 'maxKinds' | 'maxFileBytes',
  number
>;

/** Text or bytes (UTF-8) of an army file, as a file picker gives them. */
export type FileText = string | Uint8Array | ArrayBuffer;

/** An answer, or the engine's refusal with its message. */
export type Answer<T = object> = ({ ok: true } & T) | { ok: false; error: string };

/** A 64-bit seed: JavaScript numbers hold only 53 bits, so larger ones come as a BigInt or text. */
export type Seed = number | bigint | string;

/** A player as orbsim --json names one: side I is player 1. */
export type PlayerTexts = { side: 'I' | 'II'; number: string; name: string };

/** A battle as orbsim --report --json gives it: each player's report column; and as the text orbsim prints. */
export type BattleReport = { players: (PlayerTexts & { report: string[] })[]; text: string };

/** A kind's units, the average left as the averaged report shows it, and the spread of the units left. */
export type KindFigures = { name: string; abbreviation: string } & Record<'number' | 'averageLeft' | 'mean' | 'sd' | 'min' | 'max', number>;

export type PlayerFigures = PlayerTexts & {
  wins: number;
  winChance: { value: number; low: number; high: number }; // with its 95% interval
  kinds: KindFigures[];
  report: string[]; // the player's column of the averaged report
  totalLeft: number[]; // units left of the whole army, per run in run order
  // The chart of the share of battles (in %) with at least x units left: a
  // step curve of [x, share] points; the axis runs to `top` in steps of `step`.
  curve: { points: [number, number][]; top: number; step: number };
};

/**
 * A simulation as orbsim --json gives it, with the averaged report and the
 * per-run totals; one cancelled before a run ended has only `asked`, `runs`
 * (0) and `cancelled`.
 */
export interface SimulationOutcome {
  asked: number; // the runs asked for
  runs: number; // the runs fought
  cancelled: boolean;
  draws: number;
  strikes: string; // 64-bit, as decimal text
  text: string; // what orbsim prints for the same seed
  columnsText: string; // the averaged report's two columns as text, without the odds
  players: PlayerFigures[];
  fought: [number, number][]; // the runs the totals belong to, as ranges [first, last)
}

/**
 * A battle of a simulation fought again, as orbsim --show-run --json gives
 * it: its number (from 1) of the simulation's `runs`, its title ("Battle 412
 * of 999: side I won with 12 units left"), per player the units left, all
 * and per kind, and the report column; `text` is the title and the report.
 */
export type ShownRun = {
  run: number;
  runs: number;
  seed: string;
  title: string;
  text: string;
  players: (PlayerTexts & { left: number; kinds: { name: string; abbreviation: string; number: number; left: number }[]; report: string[] })[];
};

/** Which battle of a simulation: by what happened in it for a side, or by that side's units left (the nearest that occurred). */
export type RunPick = { side: 0 | 1; totalLeft: number[][]; fought: [number, number][] } & (
  | { pick: 'won' | 'lost' | 'draw' | 'typical' | 'worst' | 'best' }
  | { units: number }
);

/** Side 0 is player 1; a kind is named by its abbreviation (any case) or its index. */
export type ForceChoice = { side: 0 | 1; kind: string | number };

/** A batch of a force search, fought by the workers. */
export type Batch = Record<'number' | 'battles' | 'fought' | 'wins', number> & { seed: string };

export type ForceProgress = Record<'numbersTried' | 'battles' | 'current', number>;

/** A number tried by a force search: its chance to win, with the 95% interval. */
export type Trial = Record<'number' | 'chance' | 'low' | 'high', number>;

/** The fields of orbsim --find --json, with the answer's `lines` and `text`. */
export type ForceAnswer = Record<'chance' | 'low' | 'high' | 'battles' | 'target' | 'largest' | 'cap', number> & {
  done: true;
  cancelled: boolean;
  found: number | null;
  number: number | null;
  lower: Trial | null;
  seed: string;
  player: { side: 'I' | 'II'; number: string; name: string };
  kind: { abbreviation: string; name: string };
  trials: (Trial & { battles: number; wins: number; reaches: boolean; atCap: boolean })[];
  falls: [number, number][];
  lines: string[];
  text: string;
};

/**
 * The engine's calls, on the calling thread or in a worker. Each takes and
 * gives plain data, so that it can cross between threads.
 */
export interface Engine {
  /** Every row of the unit catalogue, in its order. */
  catalogue(): CatalogueRow[];
  limits(): Limits;
  /** A whole number as the dialogs read one, or null. */
  dialogInteger(text: string): number | null;
  /** The catalogue's row for an abbreviation in any case, or null. */
  lookup(abbreviation: string): CatalogueRow | null;
  /** Whether both armies have units for a battle ("report") or a simulation; when not, the main window's message for the first player without units. */
  battleGuard(armies: FileText, command: 'report' | 'simulation'): Answer;
  /** Reads an army file, checking it whole. */
  readArmies(armies: FileText): Answer<{ armies: ArmiesFile }>;
  /** The text of an army file holding these armies, or why they break a rule. */
  writeArmies(armies: ArmiesFile | string): Answer<{ text: string }>;

  /** Whether a simulation of `runs` runs can be fought, with orbsim's message when not. */
  checkBattle(armies: FileText, runs: number): Answer;
  /** One battle with its full report, as orbsim --report fights it. */
  report(armies: FileText, seed: string): Answer<BattleReport>;
  /** Runs [first, last) of a seeded simulation, as JSON text: its sums are 64-bit, so only finishSimulation reads it. */
  simulateRuns(armies: FileText, seed: string, first: number, last: number): string;
  /** The parts (a JSON array of simulateRuns' answers) merged into the simulation of `runs` runs. */
  finishSimulation(armies: FileText, runs: number, parts: string): Answer<SimulationOutcome>;
  /** Runs [first, last) of one batch of a force search, with the searched kind set to `number`. */
  forceRuns(armies: FileText, request: ForceChoice & { number: number; seed: string; first: number; last: number }): Answer<{ battles: number; wins: number }>;
  /** Battle `run` (from 0) of the simulation of `runs` runs seeded `seed`, fought again with its full report. */
  showRun(armies: FileText, seed: string, run: number, runs: number): Answer<ShownRun>;
  /** The battle (from 0) a pick names; a refusal says when none fits ("no battle of the 200 ended with side II winning"). */
  pickRun(request: RunPick): Answer<{ run: number }>;
  /** The search replayed over the batches fought so far: the next batch it needs, or its answer. */
  findStep(
    armies: FileText,
    request: ForceChoice & { target: number; largest?: number; seed: string; batches: Batch[]; cancelled: boolean; seconds: number },
  ): Answer<ForceAnswer | { done: false; need: { number: number; battles: number; seed: string; progress: ForceProgress } }>;
}

/**
 * A worker's calls: its engine's, once `start` has instantiated the module compiled by the thread that started it.
 * A worker whose files are of another release than the starting thread's refuses to start.
 */
export type WorkerCalls = Engine & { start(module: WebAssembly.Module, release: string): Promise<void> };

/** An engine in a worker, its calls made as async functions. */
export interface EngineWorker {
  call<K extends keyof WorkerCalls>(name: K, ...args: Parameters<WorkerCalls[K]>): Promise<Awaited<ReturnType<WorkerCalls[K]>>>;
  /** A call with the milliseconds the worker took over it. */
  timed<K extends keyof WorkerCalls>(name: K, ...args: Parameters<WorkerCalls[K]>): Promise<{ result: Awaited<ReturnType<WorkerCalls[K]>>; ms: number }>;
  /** Stops the worker at once; every call still waiting is rejected with `reason`. */
  close(reason: Error): void;
  /** Why the worker stopped, once it has. */
  readonly dead: Error | undefined;
}
