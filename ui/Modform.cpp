#include "Modform.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <algorithm>

#include "Errors.h"
#include "KindControls.h"
#include "army/Army.h"
#include "document/Document.h"
#include "rules/DialogRules.h"

using namespace dialogrules;

namespace {
const QString restingMessage = QStringLiteral("Errors and messages appear here");
// The list shows at least this many entries, empty ones after the kinds.
constexpr int listEntries = 30;

bool isInteger(const QString& text, int minimum) {
    return StrToIntDef(text, -1) >= minimum;
}

bool legalTypeText(const QString& t) {
    return isTypeCode(t.toStdString());
}
bool legalPositionText(const QString& t) {
    return isPositionCode(t.toStdString());
}
// A name of up to three blanks would show as nothing on the display.
bool legalFullnameText(const QString& t) {
    return t != QString() && t != QStringLiteral(" ") && t != QStringLiteral("  ") && t != QStringLiteral("   ");
}
bool atLeastOne(const QString& t) {
    return isInteger(t, 1);
}
bool atLeastZero(const QString& t) {
    return isInteger(t, 0);
}
}  // namespace

TModform1::TModform1(QWidget* parent, Document& document)
    : Form(QStringLiteral("Modform1"), QStringLiteral("Unit Modification Form"), 405, 418, parent),
      document_(document) {
    modtitle1 = MakeTitle(QStringLiteral("modtitle1"), QStringLiteral("Unit Modification"), this, 40);
    modtitle1->setGeometry(0, 0, 405, 50);

    id1s = MakeLabel(QStringLiteral("id1s"), QStringLiteral("Wizard Number:"), this, true);
    id1s->setGeometry(10, 60, 125, 24);
    Id = new Edit(QStringLiteral("Id"), QStringLiteral("Number"), this);
    Id->setTypingLimit(PlayerNumberDigits);
    Id->setGeometry(140, 60, 70, 24);

    abbs = MakeLabel(QStringLiteral("abbs"), QStringLiteral("Unit Abbreviation:"), this, true);
    abbs->setGeometry(10, 92, 125, 24);
    Abblist = MakeAbbreviationList(this);
    Abblist->setGeometry(140, 92, 110, 24);

    search = MakeBoldButton(QStringLiteral("search"), QStringLiteral("Load Data"), this);
    search->setGeometry(270, 74, 120, 30);

    line = MakeRule(QStringLiteral("line"), this);
    line->setGeometry(0, 126, 405, 9);

    types = MakeLabel(QStringLiteral("types"), QStringLiteral("Unit Type:"), this, true);
    types->setGeometry(10, 145, 80, 24);
    Type = makeUnitField(QStringLiteral("Type"), QStringLiteral("Unit Type"), 1, false);
    Type->setGeometry(95, 145, 80, 24);
    poss = MakeLabel(QStringLiteral("poss"), QStringLiteral("Battle Position:"), this, true);
    poss->setGeometry(190, 145, 115, 24);
    Position = makeUnitField(QStringLiteral("Position"), QStringLiteral("Position"), 1, false);
    Position->setGeometry(310, 145, 80, 24);

    fulls = MakeLabel(QStringLiteral("fulls"), QStringLiteral("Full Unit Name:"), this, true);
    fulls->setGeometry(10, 177, 110, 24);
    Fullname = makeUnitField(QStringLiteral("Fullname"), QStringLiteral("Full Unit Name"), MaxNameLength, false);
    Fullname->setGeometry(125, 177, 265, 24);

    nums = MakeLabel(QStringLiteral("nums"), QStringLiteral("Number:"), this, true);
    nums->setGeometry(10, 209, 60, 24);
    Number = makeUnitField(QStringLiteral("Number"), QStringLiteral("Number"), UnitsDigits, false);
    Number->setGeometry(75, 209, 80, 24);

    const QString valueLabels[] = {QStringLiteral("OFF:"), QStringLiteral("DEF:"), QStringLiteral("ROF:"),
                                   QStringLiteral("ATT:"), QStringLiteral("HIT:")};
    const QString labelNames[] = {QStringLiteral("offs"), QStringLiteral("defs"), QStringLiteral("rofs"),
                                  QStringLiteral("atts"), QStringLiteral("hits")};
    const QString fieldNames[] = {QStringLiteral("Offense"), QStringLiteral("Defense"), QStringLiteral("Rangedoff"),
                                  QStringLiteral("Attacks"), QStringLiteral("Hitpoints")};
    const QString fieldTexts[] = {QStringLiteral("OFF"), QStringLiteral("DEF"), QStringLiteral("ROF"),
                                  QStringLiteral("ATT"), QStringLiteral("HIT")};
    QLabel* valueLabel[5];
    Edit* valueField[5];
    for (int j = 0; j < 5; ++j) {
        const int x = 10 + j * 78;
        valueLabel[j] = MakeLabel(labelNames[j], valueLabels[j], this, true);
        valueLabel[j]->setGeometry(x, 241, 34, 24);
        valueField[j] = makeUnitField(fieldNames[j], fieldTexts[j], ValueDigits, true);
        valueField[j]->setGeometry(x + 35, 241, 40, 24);
    }
    offs = valueLabel[0];
    defs = valueLabel[1];
    rofs = valueLabel[2];
    atts = valueLabel[3];
    hits = valueLabel[4];
    Offense = valueField[0];
    Defense = valueField[1];
    Rangedoff = valueField[2];
    Attacks = valueField[3];
    Hitpoints = valueField[4];

    Modmes1 = MakeMessageLine(QStringLiteral("Modmes1"), restingMessage, this);
    Modmes1->setFont(MessageFont());
    Modmes1->setGeometry(10, 275, 385, 26);

    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Ok, this);
    BitBtn1->setGeometry(100, 308, 90, 32);
    BitBtn1->setDefault(true);
    BitBtn2 = MakeButton(QStringLiteral("BitBtn2"), StandardButton::Cancel, this);
    BitBtn2->setGeometry(215, 308, 90, 32);

    modhelp = MakeMemo(QStringLiteral("modhelp"),
                       {QStringLiteral("You can change unit data with this form. Please type the "),
                        QStringLiteral("abbreviation of the unit you wish to change and then change"),
                        QStringLiteral("its data, and press \"ok\". ")},
                       this);
    modhelp->setGeometry(0, 348, 405, 70);

    // Each field: its placeholder, the text it falls back to, its flag and
    // rule, then its prompt and its legal and illegal messages.
    fields_ = {{
        {Fullname, "Full Unit Name", &savedFullname, &legalFullname, legalFullnameText, "Please type the new unit name",
         "Legal Unit name entered", "Illegal Unit name entered"},
        {Position, "Position", &savedPosition, &legalPosition, legalPositionText,
         "Please type the new battle position (B, M, R, G, F)", "Legal Battle Position entered",
         "Illegal Battle Position entered"},
        {Type, "Type", &savedType, &legalType, legalTypeText, "Please type the new Unit type (O, S or U)",
         "Legal Unit type entered", "Illegal Unit type entered"},
        {Number, "Number", &savedNumber, &legalNumber, atLeastOne, "Please type the new number", "Legal Number entered",
         "Illegal Number entered"},
        {Offense, "OFF", &savedOffense, &legalOffense, atLeastZero, "Please type the new Offense value here",
         "Legal Offense value entered", "Illegal Offense value entered"},
        {Defense, "DEF", &savedDefense, &legalDefense, atLeastZero, "Please type the new Defense value here",
         "Legal Defense value entered", "Illegal Defense value entered"},
        {Rangedoff, "ROF", &savedRangedoff, &legalRangedoff, atLeastZero,
         "Please type the new Ranged Offense value here", "Legal Ranged Offense value entered",
         "Illegal Ranged Offense value entered"},
        {Attacks, "ATT", &savedAttacks, &legalAttacks, atLeastOne, "Please type the new Attacks value here",
         "Legal Attacks value entered", "Illegal Attacks value entered"},
        {Hitpoints, "HIT", &savedHitpoints, &legalHitpoints, atLeastOne, "Please type the new Hitpoints value here",
         "Legal Hitpoints value entered", "Illegal Hitpoints value entered"},
    }};

    connect(Id, &QLineEdit::textChanged, this, &TModform1::IdChange);
    connect(Id, &Edit::clicked, this, &TModform1::IdClick);
    connect(Id, &Edit::exited, this, &TModform1::IdExit);
    connect(Abblist, &QComboBox::activated, this, &TModform1::AbblistClick);
    connect(search, &QPushButton::clicked, this, &TModform1::searchClick);

    for (int i = 0; i < FieldCount; ++i) {
        const auto f = static_cast<FieldId>(i);
        connect(fields_[f].edit, &QLineEdit::textChanged, this, [this, f] { fieldChange(f); });
        connect(fields_[f].edit, &Edit::clicked, this, [this, f] { fieldClick(f); });
        connect(fields_[f].edit, &Edit::exited, this, [this, f] { fieldExit(f); });
    }

    connect(BitBtn1, &QPushButton::clicked, this, [this] {
        RunGuarded([this] { BitBtn1Click(); });
        accept();
    });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    // Positions 0 and 14 to 27 belong to controls without a tab stop; the
    // player-number field is moved to 1 or 20 among these.
    std::vector<QWidget*> order = {nullptr, Id,      search,    Type,    Position,  Fullname, Number,
                                   Offense, Defense, Rangedoff, Attacks, Hitpoints, BitBtn1,  BitBtn2};
    order.resize(28, nullptr);
    order.push_back(Abblist);
    tabOrder().set(order);
}

Edit* TModform1::makeUnitField(const QString& name, const QString& text, int limit, bool courier) {
    auto* field = new Edit(name, text, this);
    field->setTypingLimit(limit);
    field->setReadOnly(true);
    if (courier) {
        QFont f(QStringLiteral("Courier New"));
        f.setStyleHint(QFont::Monospace);
        field->setFont(f);
    }
    return field;
}

// ---- Choosing the army and filling the list ---------------------------------

const Army* TModform1::armyByText() const {
    const int player = document_.players().byText(Id->text().toStdString());
    return player ? &document_.army(player) : nullptr;
}

void TModform1::fillList(const Army* army) {
    const int kinds = army ? army->currentType + 1 : 0;
    const int wanted = std::max(listEntries, kinds);
    // Entries past the wanted ones would still show another army's kinds.
    while (Abblist->count() > wanted)
        Abblist->removeItem(Abblist->count() - 1);
    WriteAbbreviations(Abblist, army, wanted);
    // Show the entry "Load Data" would use, if it still holds the chosen kind.
    const bool stillChosen = !chosenAbbreviation.isEmpty() && chosenIndex >= 0 && chosenIndex < Abblist->count() &&
                             AnsiUpperCase(Abblist->itemText(chosenIndex)) == chosenAbbreviation;
    Abblist->setCurrentIndex(stillChosen ? chosenIndex : -1);
}

// ---- Unit fields -------------------------------------------------------------

void TModform1::setUnitFieldsReadOnly(bool readOnly) {
    for (const UnitField& f : fields_)
        f.edit->setReadOnly(readOnly);
}

void TModform1::resetUnitFields() {
    // The checks run by the resets must not replace the message shown.
    const QString message = Modmes1->text();
    for (const UnitField& f : fields_) {
        f.edit->setText(QString::fromLatin1(f.placeholder));
        *f.saved = f.edit->text();
    }
    dataLoaded = false;
    setUnitFieldsReadOnly(true);
    Modmes1->setText(message);
}

bool TModform1::anyFieldIllegal() const {
    for (const UnitField& f : fields_)
        if (!*f.legal)
            return true;
    return false;
}

void TModform1::fieldChange(FieldId id) {
    const UnitField& f = fields_[id];
    const bool legal = f.rule(f.edit->text());
    *f.legal = legal;
    Modmes1->setText(QString::fromLatin1(legal ? f.legalMessage : f.illegalMessage));
    if (id == FNumber && legal) {
        const int player = document_.players().byNumber(Id->text().toStdString());
        const Army* army = player ? &document_.army(player) : nullptr;
        if (army && foundIndex >= 0 && foundIndex < army->currentSize)
            numberChange = StrToIntDef(f.edit->text(), -1) - army->kindOf(foundIndex).Number;
    }
}

void TModform1::fieldClick(FieldId id) {
    const UnitField& f = fields_[id];
    if (!f.edit->isReadOnly())
        Modmes1->setText(QString::fromLatin1(f.prompt));
}

void TModform1::fieldExit(FieldId id) {
    const UnitField& f = fields_[id];
    if (!*f.legal)
        f.edit->setText(*f.saved);
    Modmes1->setText(QString());
}

// ---- Player number, list and loading ----------------------------------------

void TModform1::IdChange() {
    const Army* army = armyByText();
    legalId = army != nullptr;
    Modmes1->setText(legalId ? QStringLiteral("Legal wizard number entered")
                             : QStringLiteral("Illegal wizard number entered"));
    fillList(army);
    resetUnitFields();
}

void TModform1::IdClick() {
    Modmes1->setText(QStringLiteral("Please change the wizard number"));
}

void TModform1::IdExit() {
    if (!legalId)
        Id->setText(QStringLiteral("0"));
    Modmes1->setText(QString());
}

void TModform1::AbblistClick() {
    chosenIndex = Abblist->currentIndex();
    chosenAbbreviation = AnsiUpperCase(Abblist->itemText(chosenIndex));
}

void TModform1::searchClick() {
    if (!legalId) {
        Modmes1->setText(QStringLiteral("No legal player number entered yet"));
        return;
    }
    numberChange = 0;
    const Army* army = armyByText();
    if (!army)
        return;

    bool found = false;
    for (int i = 0; i < army->currentSize && !found; ++i) {
        if (AnsiUpperCase(QString::fromStdString(army->kindOf(i).Abbreviation)) == chosenAbbreviation &&
            army->units[i].Typeindex == chosenIndex) {
            foundIndex = i;
            found = true;
        }
    }
    if (!found) {
        resetUnitFields();
        Modmes1->setText(QStringLiteral("Unit not found"));
        return;
    }

    ShowKind(army->kindOf(foundIndex),
             {Fullname, Type, Position, Number, Offense, Defense, Rangedoff, Attacks, Hitpoints});
    Modmes1->setText(QStringLiteral("Unit found"));
    for (const UnitField& f : fields_)
        *f.saved = f.edit->text();
    setUnitFieldsReadOnly(false);
    dataLoaded = true;
}

// ---- OK, activation and close ------------------------------------------------

void TModform1::showNoChanges() const {
    ShowError({QStringLiteral("No valid data entered. As a result"),
               QStringLiteral("no changes have been made to your army")});
}

void TModform1::BitBtn1Click() {
    // Enter presses OK without leaving the field being typed, so a refused
    // text can still stand in a field: then nothing at all is applied.
    if (!dataLoaded || anyFieldIllegal()) {
        showNoChanges();
        return;
    }
    const int player = document_.players().byNumber(Id->text().toStdString());
    if (player == 0)
        return;
    const Army& army = document_.army(player);
    if (foundIndex < 0 || foundIndex >= army.currentSize)
        return;
    const int k = army.units[foundIndex].Typeindex;

    // Every text is converted before the kind is touched, so a conversion
    // error leaves the kind as it was.
    const int number = StrToInt(Number->text());
    KindValues values;
    values.Position = Position->text().toStdString();
    values.Offense = StrToFloat(Offense->text());
    values.Defense = StrToFloat(Defense->text());
    values.Rangedoff = StrToFloat(Rangedoff->text());
    values.Attacks = StrToInt(Attacks->text());
    values.Hitpoints = StrToInt(Hitpoints->text());
    values.Type = Type->text().toStdString();
    values.Fullname = Fullname->text().toStdString();
    if (!document_.modifyKind(player, k, values, number))
        showNoChanges();
}

void TModform1::FormActivate() {
    Modmes1->setText(restingMessage);
    const Army* army = armyByText();
    if (army)
        legalId = true;
    fillList(army);
    dataLoaded = false;
}

void TModform1::FormClose() {
    Modmes1->setText(QStringLiteral("Errors and Messages appear here"));
    foundIndex = 0;
    legalId = false;
    Id->setText(QStringLiteral("Number"));
    for (const UnitField& f : fields_)
        *f.legal = false;
    resetUnitFields();
    dataLoaded = false;
    numberChange = 0;
}
