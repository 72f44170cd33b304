// The service worker: keeps every file of the page, so that after one visit
// it opens without a network. The build puts in the list of files and a
// version that changes with their contents. A new version waits until the
// player asks for it (the page offers a reload), so that a page and the
// engine workers it starts always come from one release.
declare const PAGE_FILES: string[];
declare const PAGE_VERSION: string;

const worker = self as unknown as ServiceWorkerGlobalScope;
const CACHE = `orb-simulator-${PAGE_VERSION}`;

worker.addEventListener('install', (event) => {
  event.waitUntil(
    (async () => {
      const cache = await caches.open(CACHE);
      await cache.addAll(PAGE_FILES.map((file) => new Request(file, { cache: 'reload' })));
      // Files fetched while the next release was being put up are not this
      // release's: refused, the browser tries again later.
      const stamp = await (await cache.match('engine/release.js'))?.text();
      if (!stamp?.includes(PAGE_VERSION)) {
        await caches.delete(CACHE);
        throw new Error('the files served are not all of one release');
      }
    })(),
  );
});

worker.addEventListener('message', (event) => {
  if (event.data === 'take-over') void worker.skipWaiting();
});

worker.addEventListener('activate', (event) => {
  event.waitUntil(
    caches
      .keys()
      .then((names) => Promise.all(names.filter((name) => name.startsWith('orb-simulator-') && name !== CACHE).map((name) => caches.delete(name))))
      .then(() => worker.clients.claim()),
  );
});

worker.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== location.origin) return;
  event.respondWith(
    caches.open(CACHE).then(async (cache) => {
      // The page's own files come from the cache, its address with or without a query.
      const kept = await cache.match(request, { ignoreSearch: true });
      return kept ?? fetch(request);
    }),
  );
});
