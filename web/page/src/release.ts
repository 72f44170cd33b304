// Releases: the service worker keeps the page and its engine workers of one
// release together, so a new release waits until the player reloads. An
// open page learns that a new version is ready and offers the reload.
import { offer } from './dom.js';

const READY = 'A new version of the simulator is ready.';

export async function watchReleases() {
  if (!('serviceWorker' in navigator)) return;
  const container = navigator.serviceWorker;
  // A first visit's page is taken over by the first service worker: no release.
  const controlled = container.controller !== null;
  let asked = false;
  container.addEventListener('controllerchange', () => {
    if (asked) location.reload();
    else if (controlled)
      // Another tab took the new version: this page's next workers would be of it.
      offer('release', `${READY} Reload the page to go on with it.`, [{ label: 'Reload', run: () => location.reload() }]);
  });
  const offerReload = (waiting: ServiceWorker) =>
    offer('release', READY, [
      {
        label: 'Reload',
        run: () => {
          asked = true;
          waiting.postMessage('take-over');
        },
      },
    ]);
  const registration = await container.register('sw.js');
  if (registration.waiting && controlled) offerReload(registration.waiting);
  registration.addEventListener('updatefound', () => {
    const installing = registration.installing;
    installing?.addEventListener('statechange', () => {
      if (installing.state === 'installed' && container.controller) offerReload(installing);
    });
  });
  // The browser looks for a new version at each visit; a page left open looks
  // when the player comes back to it, and every hour.
  const look = () => void registration.update().catch(() => {});
  document.addEventListener('visibilitychange', () => document.visibilityState === 'visible' && look());
  setInterval(look, 3_600_000);
}

/** Whether an engine's refusal to start says that the page is older than the engine's files. */
export function isReleaseMismatch(error: string) {
  return error.includes('has been updated since this page was loaded');
}

export function offerReloadForMismatch() {
  offer('release', `${READY} Reload the page to go on with it.`, [{ label: 'Reload', run: () => location.reload() }]);
}
