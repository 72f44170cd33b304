// The release the engine's files belong to: the page's build stamps it with
// the version of all the files it puts together. A worker refuses to start
// for a page of another release (see worker.js).
export const RELEASE = 'unreleased';
