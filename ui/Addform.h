#pragma once

#include <array>
#include <functional>

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
    // Each other field's change, click and exit (PositionChange,
    // PositionClick, PositionExit and so on) are fieldChange, its prompt and
    // fieldExit bound to it.
    void okbuttonClick();

protected:
    void FormActivate() override;
    void FormClose() override;

private:
    struct Field {
        Edit* edit;
        bool Validity::*flag;
        std::function<bool(const QString&)> rule;
        const char* legalMessage;
        const char* illegalMessage;
        const char* prompt;
        const char* replacement;
    };
    void fieldChange(const Field& f);
    void fieldExit(const Field& f);
    bool readValues(KindValues* values) const;
    std::array<Field, 10> fields_;
    Document& document_;
    Validity valid_;
};

extern TAddform1* Addform1;
