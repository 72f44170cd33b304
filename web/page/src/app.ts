// The page: builds the player panels at once (disabled, so that nothing
// moves when they come alive), starts the engine's worker and pool and the
// page's parts. It only renders: every rule, limit, message, report and
// figure comes from the engine, and every change to the armies is checked
// whole by the army file's own writer before it is taken.
import { ArmiesStore } from './armies.js';
import { BattleCommands } from './battle.js';
import { byId, clearNotice, errorText, offer, withdraw } from './dom.js';
import { ArmyFiles } from './files.js';
import { ForceFinder } from './force.js';
import { Help } from './help.js';
import { PlayerPanels } from './players.js';
import { isReleaseMismatch, offerReloadForMismatch, watchReleases } from './release.js';
import { Results } from './results.js';
import { SimulationBattles } from './runs.js';

async function main() {
  new Help();
  const store = new ArmiesStore();
  const players = new PlayerPanels(store);
  document.body.dataset.built = 'true';
  const status = byId('battle-status');
  try {
    // Loaded once the panels have been painted (the frame after next has
    // begun), so that the first paint never waits for it; a tab in the
    // background, which paints nothing, does not wait long.
    await new Promise((painted) => {
      requestAnimationFrame(() => requestAnimationFrame(painted));
      setTimeout(painted, 500);
    });
    const { EnginePool, startEngineWorker } = await import('../../engine/index.js');
    const engine = await startEngineWorker();
    const [limits, catalogue] = await Promise.all([engine.call('limits'), engine.call('catalogue')]);
    const pool = new EnginePool();
    // A battle of a simulation is not fought while the pool is busy with another command.
    const battles = new SimulationBattles(engine, pool, store, (): boolean => battle.busy);
    const results = new Results(battles);
    const battle = new BattleCommands(engine, pool, store, results);
    const force = new ForceFinder(engine, pool, store, battle);
    const files = new ArmyFiles(engine, store, limits);
    players.start(engine, limits, catalogue);
    store.onChange(() => {
      // The last step's messages go when the next begins; results of other armies are marked.
      clearNotice();
      players.clearStatuses();
      for (const id of ['command-error', 'force-error', 'apply-note', 'report-status', 'run-status', 'pick-error']) byId(id).textContent = '';
      players.render();
      force.renderKinds();
      results.markArmies(store.text);
      battles.markArmies(store.text);
      force.markArmies(store.text);
      if (store.unkept) offer('unkept', 'This browser does not keep the armies: save them to a file before you leave.', [{ label: 'Dismiss', run: () => {} }]);
      else withdraw('unkept');
    });
    // Taken before the kept armies are shown, which clears a link from the address.
    const link = location.hash;
    const unreadable = await store.loadKept(engine);
    if (unreadable) files.offerSetAside();
    await files.openLink(link);
    files.offerOtherTab();
    for (const control of document.querySelectorAll<HTMLButtonElement | HTMLInputElement | HTMLSelectElement>('[data-starting]'))
      control.disabled = false;
    status.textContent = 'One battle for a report, or many for the odds.';
    document.body.dataset.ready = 'true';
  } catch (error) {
    const text = errorText(error);
    status.textContent = `The simulator could not start: ${text}`;
    status.classList.add('command-error');
    if (isReleaseMismatch(text)) offerReloadForMismatch();
    return;
  }
  // After the page is ready, so that keeping its files for offline use does not slow its start.
  void watchReleases().catch(() => {});
}

void main();
