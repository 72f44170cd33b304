// The service worker: keeps every file of the page, so that after one visit
// it opens without a network. The build puts in the list of files and a
// version that changes with their contents; a new version replaces the
// files kept before.
declare const PAGE_FILES: string[];
declare const PAGE_VERSION: string;

const worker = self as unknown as ServiceWorkerGlobalScope;
const CACHE = `orb-simulator-${PAGE_VERSION}`;

worker.addEventListener('install', (event) => {
  event.waitUntil(
    caches
      .open(CACHE)
      .then((cache) => cache.addAll(PAGE_FILES.map((file) => new Request(file, { cache: 'reload' }))))
      .then(() => worker.skipWaiting()),
  );
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
