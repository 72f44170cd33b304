#pragma once

// The list of a player's kinds, by abbreviation, that the modify and remove
// dialogs choose from.

class Army;
class QComboBox;
class QWidget;

// Not editable: only kinds of the army can be chosen.
QComboBox* MakeAbbreviationList(QWidget* parent);
// Entries 0 to entries - 1 become the army's abbreviations in kind order and
// blanks after them (all blanks without an army); missing entries are added.
// Entries beyond and the current entry are left to the dialog.
void WriteAbbreviations(QComboBox* list, const Army* army, int entries);
