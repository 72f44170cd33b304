// What the page's parts share: their elements, the notice under the file
// commands, and texts handed to the browser to save.

export function byId<T extends HTMLElement>(id: string): T {
  const element = document.getElementById(id);
  if (!element) throw new Error(`the page has no #${id}`);
  return element as T;
}

export function within<T extends Element>(root: ParentNode, selector: string): T {
  const element = root.querySelector(selector);
  if (!element) throw new Error(`no ${selector}`);
  return element as T;
}

export function errorText(error: unknown): string {
  return error instanceof Error ? error.message : String(error);
}

export function notice(text: string, isError = false) {
  const notice = byId('notice');
  notice.textContent = text;
  notice.classList.toggle('error', isError);
}

export function download(text: string, name: string, type: string) {
  const url = URL.createObjectURL(new Blob([text], { type }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10_000);
}
