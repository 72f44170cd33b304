// How the tests, the screenshots and the audit start Debian's Chromium: this
// machine reaches no network but package registries, so nothing that would
// call out; a bare machine or a chroot may have no shared memory folder.
export const CHROMIUM_FLAGS = [
  '--no-sandbox',
  '--disable-gpu',
  '--disable-quic',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  '--disable-dev-shm-usage',
];
