#pragma once

// What the modify and remove dialogs show a player's kinds with: the list
// of abbreviations to choose from, and the fields of the kind chosen.

#include <array>

class Army;
class QComboBox;
class QLineEdit;
class QWidget;
struct Unittype;

// Not editable: only kinds of the army can be chosen.
QComboBox* MakeAbbreviationList(QWidget* parent);
// Entries 0 to entries - 1 become the army's abbreviations in kind order and
// blanks after them (all blanks without an army); missing entries are added.
// Entries beyond and the current entry are left to the dialog.
void WriteAbbreviations(QComboBox* list, const Army* army, int entries);
// Shows a kind's values in a dialog's fields, filled in this order (each
// fill runs the field's change event): Fullname, Type, Position, Number,
// Offense, Defense, Rangedoff, Attacks, Hitpoints.
void ShowKind(const Unittype& kind, const std::array<QLineEdit*, 9>& fields);
