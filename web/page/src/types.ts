// The shapes the engine gives and takes: an army file's JSON object and
// the catalogue's rows.
export interface Kind {
  abbreviation: string;
  name: string;
  position: string;
  type: string;
  offense: number;
  defense: number;
  rangedoff: number;
  attacks: number;
  hitpoints: number;
  number: number;
}

export interface Player {
  number: string;
  name: string;
  kinds: Kind[];
}

export interface ArmiesFile {
  format: string;
  version: number;
  players: [Player, Player];
}

export type CatalogueRow = Omit<Kind, 'number'>;

export interface Limits {
  maxUnits: number;
  maxValue: number;
  maxPlayerNumber: number;
  playerNumberDigits: number;
  maxNameLength: number;
  addNameLength: number;
  maxAbbreviationLength: number;
  maxKinds: number;
  maxFileBytes: number;
}
