// How to Play: the commands, the codes of a kind's values and what the
// odds and charts mean, from the Help button (or F1) in every state.
import { byId } from './dom.js';

export class Help {
  constructor() {
    const dialog = byId<HTMLDialogElement>('help');
    const open = () => {
      if (!dialog.open) dialog.showModal();
    };
    byId('help-open').addEventListener('click', open);
    byId('help-close').addEventListener('click', () => dialog.close());
    // A click on the backdrop closes it too.
    dialog.addEventListener('click', (event) => {
      if (event.target === dialog) dialog.close();
    });
    window.addEventListener('keydown', (event) => {
      if (event.key !== 'F1') return;
      event.preventDefault();
      open();
    });
  }
}
