#pragma once

#include <array>

#include "Toolkit.h"

class Army;
class Document;
class QComboBox;
class QFrame;
class QLabel;

// The modify-units dialog: loads one kind of a player's army into its fields,
// checks every field while it is typed and applies the fields to the kind on OK.
class TModform1 : public Form {
    Q_OBJECT
public:
    TModform1(QWidget* parent, Document& document);

    QLabel* modtitle1;
    QLabel* id1s;
    Edit* Id;
    QLabel* abbs;
    QComboBox* Abblist;
    QPushButton* search;
    QFrame* line;
    QLabel* types;
    QLabel* poss;
    QLabel* fulls;
    Edit* Type;
    Edit* Position;
    Edit* Fullname;
    QLabel* nums;
    QLabel* offs;
    QLabel* defs;
    QLabel* rofs;
    QLabel* atts;
    QLabel* hits;
    Edit* Number;
    Edit* Offense;
    Edit* Defense;
    Edit* Rangedoff;
    Edit* Attacks;
    Edit* Hitpoints;
    QLineEdit* Modmes1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QPlainTextEdit* modhelp;

    // Dialog state, kept across openings except what a close resets.
    bool legalId = false;
    int chosenIndex = 0;
    QString chosenAbbreviation;
    bool dataLoaded = false;
    int foundIndex = 0;
    int numberChange = 0;
    QString savedType, savedPosition, savedFullname, savedNumber, savedOffense, savedDefense, savedRangedoff,
        savedAttacks, savedHitpoints;
    bool legalType = false, legalPosition = false, legalFullname = false, legalNumber = false, legalOffense = false,
         legalDefense = false, legalRangedoff = false, legalAttacks = false, legalHitpoints = false;

    void IdChange();
    void IdClick();
    void IdExit();
    void AbblistClick();
    void searchClick();
    void BitBtn1Click();

protected:
    void FormActivate() override;
    void FormClose() override;

private:
    // The nine unit fields, in the order a reset walks them. Each field's
    // change, click and exit (TypeChange, TypeClick, TypeExit and so on) are
    // fieldChange, fieldClick and fieldExit bound to it.
    enum FieldId {
        FFullname,
        FPosition,
        FType,
        FNumber,
        FOffense,
        FDefense,
        FRangedoff,
        FAttacks,
        FHitpoints,
        FieldCount
    };
    struct UnitField {
        Edit* edit;
        const char* placeholder;
        QString* saved;
        bool* legal;
        bool (*rule)(const QString&);
        const char* prompt;
        const char* legalMessage;
        const char* illegalMessage;
    };
    std::array<UnitField, FieldCount> fields_;

    Edit* makeUnitField(const QString& name, const QString& text, int limit, bool courier);
    void fieldChange(FieldId id);
    void fieldClick(FieldId id);
    void fieldExit(FieldId id);
    void resetUnitFields();
    void setUnitFieldsReadOnly(bool readOnly);
    void fillList(const Army* army);
    // The army whose player-number text equals Id's, or nullptr.
    const Army* armyByText() const;
    bool anyFieldIllegal() const;
    void showNoChanges() const;
    Document& document_;
};

extern TModform1* Modform1;
