#pragma once

#include "Toolkit.h"

class Document;
class QLabel;
struct KindValues;

// The add-units dialog: one kind of unit, with its number of units, added to
// the army of the player whose number is in `id`.
class TAddform1 : public Form {
    Q_OBJECT
public:
    TAddform1(QWidget* parent, Document& document);

    QLabel* addtitle1;
    Edit* Abbreviation;
    Edit* Position;
    Edit* Type;
    Edit* Fullname;
    Edit* id;
    Edit* Number;
    Edit* Offense;
    Edit* Defense;
    Edit* Rangedoff;
    Edit* Attacks;
    Edit* Hitpoints;
    QLabel* abbs;
    QLabel* poss;
    QLabel* types;
    QLabel* fullnames;
    QLabel* ids;
    QLabel* nums;
    QLabel* offs;
    QLabel* defs;
    QLabel* rofs;
    QLabel* atts;
    QLabel* hits;
    QLineEdit* Addmes1;
    QPushButton* okbutton;
    QPushButton* BitBtn1;
    QPlainTextEdit* Addmessage1;

    // What each field's last check decided; the exit checks and OK read them.
    struct Validity {
        bool position = false;
        bool type = false;
        bool fullname = false;
        bool id = false;
        bool number = false;
        bool offense = false;
        bool defense = false;
        bool rangedoff = false;
        bool attacks = false;
        bool hitpoints = false;
    };
    const Validity& validity() const { return valid_; }

    void AbbreviationChange();
    void PositionChange();
    void TypeChange();
    void FullnameChange();
    void idChange();
    void NumberChange();
    void OffenseChange();
    void DefenseChange();
    void RangedoffChange();
    void AttacksChange();
    void HitpointsChange();

    void PositionClick();
    void TypeClick();
    void FullnameClick();
    void idClick();
    void NumberClick();
    void OffenseClick();
    void DefenseClick();
    void RangedoffClick();
    void AttacksClick();
    void HitpointsClick();

    void PositionExit();
    void TypeExit();
    void FullnameExit();
    void idExit();
    void NumberExit();
    void OffenseExit();
    void DefenseExit();
    void RangedoffExit();
    void AttacksExit();
    void HitpointsExit();

    void okbuttonClick();

protected:
    void FormActivate() override;
    void FormClose() override;

private:
    void check(bool* flag, bool ok, const char* validMessage, const char* invalidMessage);
    void leave(Edit* field, bool flag, const char* replacement);
    bool readValues(KindValues* values) const;
    Document& document_;
    Validity valid_;
};

extern TAddform1* Addform1;
