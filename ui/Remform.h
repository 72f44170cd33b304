#pragma once

#include "Toolkit.h"

class QComboBox;
class QFrame;
class QLabel;
class Army;
class Document;

// The remove-units dialog: takes one kind, with all its units, out of the
// army of the player named in Id.
class TRemform1 : public Form {
    Q_OBJECT
public:
    TRemform1(QWidget* parent, Document& document);

    QLabel* title1;
    QLabel* ids;
    Edit* Id;
    QLabel* abbs;
    QComboBox* Abblist;
    QFrame* line;
    QLabel* types;
    QLabel* poss;
    QLabel* names;
    QLineEdit* Type;
    QLineEdit* Position;
    QLineEdit* Fullname;
    QLabel* nums;
    QLabel* offs;
    QLabel* defs;
    QLabel* rofs;
    QLabel* atts;
    QLabel* hits;
    QLineEdit* Number;
    QLineEdit* Offense;
    QLineEdit* Defense;
    QLineEdit* Rangedoff;
    QLineEdit* Attacks;
    QLineEdit* Hitpoints;
    QLineEdit* Remmes1;
    QPushButton* Remove;
    QPushButton* BitBtn1;
    QPlainTextEdit* Reminfo;

    void IdClick();
    void IdChange();
    void IdExit();
    void AbblistClick();
    void RemoveClick();

    bool legalId = false;
    int chosenIndex = 0;
    bool dataLoaded = false;

protected:
    void FormActivate() override;
    void FormClose() override;

private:
    // Whether Id holds the player's number exactly as the main window shows it.
    bool namesPlayer(int player) const;
    void fillList(const Army& army);
    void emptyList();
    void clearDisplay();
    Document& document_;
};

extern TRemform1* Remform1;
