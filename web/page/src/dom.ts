// What the page's parts share: their elements, the notice under the file
// commands with the step's own commands (such as Undo), the offers that
// wait for an answer, and texts handed to the browser to save.

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

export type Action = { label: string; run: () => void | Promise<void> };

function buttonsFor(actions: Action[], done: () => void) {
  return actions.map(({ label, run }) => {
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = label;
    button.addEventListener('click', () => {
      done();
      void run();
    });
    return button;
  });
}

/** The step's message, with its commands; the next step's first change clears it. */
export function notice(text: string, isError = false, actions: Action[] = []) {
  const notice = byId('notice');
  notice.textContent = text;
  notice.classList.toggle('error', isError);
  byId('notice-line').classList.toggle('quiet', !text);
  byId('notice-actions').replaceChildren(...buttonsFor(actions, () => notice.textContent === text && clearNotice()));
}

export function clearNotice() {
  byId('notice-line').classList.add('quiet');
  byId('notice').textContent = '';
  byId('notice-actions').replaceChildren();
}

/**
 * A question that stays until answered (or withdrawn): another tab's
 * armies, a new version, armies that could not be read. One per `key`.
 */
export function offer(key: string, text: string, actions: Action[]) {
  const offers = byId('offers');
  const line = document.createElement('div');
  line.className = 'offer';
  line.dataset.offer = key;
  const said = document.createElement('span');
  said.textContent = text;
  const buttons = document.createElement('span');
  buttons.className = 'offer-actions';
  buttons.append(...buttonsFor(actions, () => line.remove()));
  line.append(said, buttons);
  const old = offers.querySelector(`[data-offer="${key}"]`);
  if (old) old.replaceWith(line);
  else offers.append(line);
}

export function withdraw(key: string) {
  byId('offers').querySelector(`[data-offer="${key}"]`)?.remove();
}

/** Puts a report's text on the clipboard, and says whether the browser allowed it. */
export async function copyText(text: string, status: HTMLElement, copied: string) {
  try {
    await navigator.clipboard.writeText(text);
    status.textContent = copied;
  } catch {
    status.textContent = 'The browser did not allow copying: select the report and copy it, or use Save Report...';
  }
}

/** A report column's lines, without the blank lines that end it. */
export function showColumn(element: HTMLElement, lines: string[]) {
  const shown = [...lines];
  while (shown.length && shown[shown.length - 1] === '') shown.pop();
  element.textContent = shown.join('\n');
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

/** "1 unit", "2 units": a count with its noun, singular or plural. */
export function count(n: number, singular: string, plural = `${singular}s`) {
  return `${n} ${n === 1 ? singular : plural}`;
}

/**
 * Asks a question in the page's dialog and resolves with the label of the
 * button pressed; Escape answers the last one (Cancel).
 */
export function ask(text: string, info: string, labels: string[]): Promise<string> {
  const dialog = byId<HTMLDialogElement>('question');
  byId('question-text').textContent = text;
  byId('question-info').textContent = info;
  const cancel = labels[labels.length - 1];
  return new Promise((answer) => {
    const finish = (label: string) => {
      dialog.removeEventListener('cancel', onCancel);
      dialog.close();
      answer(label);
    };
    const onCancel = (event: Event) => {
      event.preventDefault();
      finish(cancel);
    };
    dialog.addEventListener('cancel', onCancel);
    const buttons = labels.map((label, index) => {
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = label;
      if (index === 0) button.className = 'primary';
      button.addEventListener('click', () => finish(label));
      return button;
    });
    byId('question-buttons').replaceChildren(...buttons);
    dialog.showModal();
    buttons[0].focus();
  });
}
