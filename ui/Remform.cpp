#include "Remform.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <algorithm>

#include "KindControls.h"
#include "document/Document.h"

namespace {
// The dialog's list holds at least this many entries; emptying it blanks them all.
constexpr int listEntries = 30;

QLineEdit* makeDisplayField(const QString& name, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    QPalette p = field->palette();
    p.setColor(QPalette::Base, QColor::fromRgb(Palette::olive));
    field->setPalette(p);
    return field;
}
}  // namespace

TRemform1::TRemform1(QWidget* parent, Document& document)
    : Form(QStringLiteral("Remform1"), QStringLiteral("Unit Removal Form"), 404, 419, parent), document_(document) {
    // Smaller than the 40 px of the original look: the fall-back font is wider
    // and the title must fit the window.
    title1 = MakeTitle(QStringLiteral("title1"), QStringLiteral("Unit Removal Form"), this, 34);
    title1->setGeometry(0, 0, 404, 50);

    ids = MakeLabel(QStringLiteral("ids"), QStringLiteral("Wizard Number:"), this, true);
    ids->setGeometry(12, 60, 130, 22);
    Id = new Edit(QStringLiteral("Id"), QStringLiteral("Number"), this);
    Id->setGeometry(150, 59, 90, 24);
    abbs = MakeLabel(QStringLiteral("abbs"), QStringLiteral("Unit Abbreviation:"), this, true);
    abbs->setGeometry(12, 90, 130, 22);
    Abblist = MakeAbbreviationList(this);
    Abblist->setGeometry(150, 89, 120, 24);

    line = MakeRule(QStringLiteral("line"), this);
    line->setGeometry(0, 122, 404, 8);

    // The kind's values, shown only: each label and field with its place.
    const struct {
        QLabel** label;
        const char* labelName;
        const char* caption;
        int x, y, labelWidth;
        QLineEdit** field;
        const char* fieldName;
        int fieldX, fieldWidth;
    } shown[] = {
        {&names, "names", "Full Unit Name:", 12, 140, 130, &Fullname, "Fullname", 150, 240},
        {&types, "types", "Unit Type:", 12, 170, 80, &Type, "Type", 100, 40},
        {&poss, "poss", "Battle Position:", 170, 170, 120, &Position, "Position", 300, 40},
        {&nums, "nums", "Number:", 12, 200, 80, &Number, "Number", 100, 70},
        {&offs, "offs", "OFF:", 12, 230, 40, &Offense, "Offense", 55, 70},
        {&defs, "defs", "DEF:", 140, 230, 40, &Defense, "Defense", 183, 70},
        {&rofs, "rofs", "ROF:", 268, 230, 40, &Rangedoff, "Rangedoff", 311, 70},
        {&atts, "atts", "ATT:", 12, 260, 40, &Attacks, "Attacks", 55, 70},
        {&hits, "hits", "HIT:", 140, 260, 40, &Hitpoints, "Hitpoints", 183, 70},
    };
    for (const auto& s : shown) {
        *s.label = MakeLabel(QString::fromLatin1(s.labelName), QString::fromLatin1(s.caption), this, true);
        (*s.label)->setGeometry(s.x, s.y, s.labelWidth, 22);
        *s.field = makeDisplayField(QString::fromLatin1(s.fieldName), this);
        (*s.field)->setGeometry(s.fieldX, s.y - 1, s.fieldWidth, 24);
    }

    Remmes1 = MakeMessageLine(QStringLiteral("Remmes1"), QStringLiteral("Errors and Messages appear here"), this);
    Remmes1->setFont(MessageFont());
    Remmes1->setGeometry(12, 292, 380, 24);

    Remove = MakeButton(QStringLiteral("Remove"), StandardButton::Ok, this, QStringLiteral("Remove"));
    Remove->setGeometry(90, 322, 100, 30);
    Remove->setDefault(true);
    Remove->hide();
    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Cancel, this);
    BitBtn1->setGeometry(214, 322, 100, 30);

    Reminfo = MakeMemo(QStringLiteral("Reminfo"),
                       {QStringLiteral("With this form you can remove units from an army.  Enter the "),
                        QStringLiteral("wizard number and click an abbreviation, and the data of this "),
                        QStringLiteral("unit will be shown. Press \"Remove\" to remove these units.")},
                       this);
    Reminfo->setGeometry(8, 358, 388, 56);
    QFont helpFont = Reminfo->font();
    helpFont.setPixelSize(11);
    Reminfo->setFont(helpFont);
    Reminfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Reminfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    connect(Id, &Edit::clicked, this, &TRemform1::IdClick);
    connect(Id, &QLineEdit::textChanged, this, &TRemform1::IdChange);
    connect(Id, &Edit::exited, this, &TRemform1::IdExit);
    connect(Abblist, &QComboBox::activated, this, &TRemform1::AbblistClick);
    connect(Remove, &QPushButton::clicked, this, [this] {
        RemoveClick();
        accept();
    });
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);

    // Every control keeps a tab position, those without a tab stop as
    // nullptr, so that the main window's move of Id to position 20 lands it
    // among the others as in the full order of 28 positions.
    std::vector<QWidget*> order{nullptr, Id, Abblist, Remove, BitBtn1};
    order.resize(28, nullptr);
    tabOrder().set(order);
}

bool TRemform1::namesPlayer(int player) const {
    return document_.players().byText(Id->text().toStdString()) == player;
}

void TRemform1::fillList(const Army& army) {
    emptyList();
    WriteAbbreviations(Abblist, &army, army.currentType + 1);
}

void TRemform1::emptyList() {
    // Entries beyond the first 30 (from an army with more kinds) are blanked
    // too, so no abbreviation of an earlier player stays in the list.
    WriteAbbreviations(Abblist, nullptr, std::max(listEntries, Abblist->count()));
    Abblist->setCurrentIndex(-1);
}

void TRemform1::clearDisplay() {
    for (QLineEdit* field : {Fullname, Position, Number, Type, Offense, Defense, Rangedoff, Attacks, Hitpoints})
        field->setText(QString());
}

void TRemform1::FormActivate() {
    chosenIndex = 0;
    dataLoaded = false;
    Remove->hide();
    const bool player1 = namesPlayer(1);
    if (player1)
        fillList(document_.army(1));
    const bool player2 = namesPlayer(2);
    if (player2)
        fillList(document_.army(2));
    legalId = player1 || player2;
    Remmes1->setText(QStringLiteral("Errors and messages appear here"));
}

void TRemform1::IdClick() {
    Remmes1->setText(QStringLiteral("Please enter the wizard number"));
}

void TRemform1::IdChange() {
    const int number = StrToIntDef(Id->text(), -1);
    if (number <= 0) {
        Remmes1->setText(QStringLiteral("No legal wizard number entered"));
        legalId = false;
        emptyList();
    } else {
        legalId = document_.players().byNumber(Id->text().toStdString()) != 0;
        Remmes1->setText(legalId ? QStringLiteral("Wizard number found") : QStringLiteral("Wizard number not found"));
        if (namesPlayer(1))
            fillList(document_.army(1));
        if (namesPlayer(2))
            fillList(document_.army(2));
    }
    Remove->hide();
    Abblist->setCurrentIndex(-1);
    clearDisplay();
}

void TRemform1::IdExit() {
    if (!legalId)
        Id->setText(QStringLiteral("Number"));
    Remmes1->setText(QString());
}

void TRemform1::AbblistClick() {
    chosenIndex = Abblist->currentIndex();
    const auto hasUnits = [this](int player) {
        const Army& army = document_.army(player);
        return chosenIndex >= 0 && chosenIndex < Army::maxTypes && namesPlayer(player) &&
               army.unittypes[chosenIndex].Number != 0;
    };
    int shown = 0;
    if (hasUnits(1))
        shown = 1;
    else if (hasUnits(2))
        shown = 2;
    if (shown != 0) {
        ShowKind(document_.army(shown).unittypes[chosenIndex],
                 {Fullname, Type, Position, Number, Offense, Defense, Rangedoff, Attacks, Hitpoints});
        Remove->show();
        dataLoaded = true;
        Remmes1->setText(QStringLiteral("Unit found - click 'Remove' to remove them"));
    } else {
        dataLoaded = false;
        Remmes1->setText(QStringLiteral("Unit not found"));
        Remove->hide();
        clearDisplay();
    }
}

void TRemform1::RemoveClick() {
    if (!dataLoaded)
        return;
    if (namesPlayer(1))
        document_.removeKind(1, chosenIndex);
    else if (namesPlayer(2))
        document_.removeKind(2, chosenIndex);
}

void TRemform1::FormClose() {
    Id->setText(QStringLiteral("Number"));
}
