// The page: starts the engine's worker and pool and the page's parts. It
// only renders: every rule, limit, message, report and figure comes from
// the engine, and every change to the armies is checked whole by the army
// file's own writer before it is taken.
import { EnginePool, startEngineWorker } from '../../engine/index.js';
import { ArmiesStore } from './armies.js';
import { BattleCommands } from './battle.js';
import { byId, errorText } from './dom.js';
import { ArmyFiles } from './files.js';
import { ForceFinder } from './force.js';
import { PlayerPanels } from './players.js';
import { Results } from './results.js';

async function main() {
  try {
    const engine = await startEngineWorker();
    const [limits, catalogue] = await Promise.all([engine.call('limits'), engine.call('catalogue')]);
    const pool = new EnginePool();
    const store = new ArmiesStore(engine);
    const players = new PlayerPanels(engine, store, limits, catalogue);
    const battle = new BattleCommands(engine, pool, store, new Results());
    const force = new ForceFinder(engine, pool, store, battle);
    const files = new ArmyFiles(engine, store, limits);
    store.onChange(() => {
      players.render();
      force.renderKinds();
    });
    if (!(await files.openLink())) await store.loadKept();
    byId('loading').hidden = true;
    document.body.dataset.ready = 'true';
  } catch (error) {
    byId('loading').textContent = `The simulator could not start: ${errorText(error)}`;
    return;
  }
  if ('serviceWorker' in navigator) navigator.serviceWorker.register('sw.js').catch(() => {});
}

void main();
