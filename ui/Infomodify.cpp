#include "Infomodify.h"

#include <QLabel>

#include "document/Document.h"
#include "rules/DialogRules.h"

namespace {
Edit* makeField(const QString& name, const QString& text, int limit, QWidget* parent) {
    auto* field = new Edit(name, text, parent);
    field->setTypingLimit(limit);
    return field;
}
}  // namespace

TArmymodify::TArmymodify(QWidget* parent, Document& document)
    : Form(QStringLiteral("Armymodify"), QStringLiteral("General Army Modification Form"), 405, 420, parent),
      document_(document) {
    title1 = MakeTitle(QStringLiteral("title1"), QStringLiteral("Info Modification"), this);
    title1->setGeometry(0, 0, 405, 50);

    wizarddata1s = MakeLabel(QStringLiteral("wizarddata1s"), QStringLiteral("Settings of Wizard 1:"), this, true, 23);
    wizarddata1s->setAlignment(Qt::AlignCenter);
    wizarddata1s->setGeometry(0, 58, 405, 30);
    name1s = MakeLabel(QStringLiteral("name1s"), QStringLiteral("Wizard Name:"), this, true);
    name1s->setGeometry(20, 96, 120, 22);
    name1 = makeField(QStringLiteral("name1"), QStringLiteral("Wizard Name "), dialogrules::MaxNameLength, this);
    name1->setGeometry(150, 95, 235, 24);
    id1s = MakeLabel(QStringLiteral("id1s"), QStringLiteral("Player Number:"), this, true);
    id1s->setGeometry(20, 126, 120, 22);
    id1 = makeField(QStringLiteral("id1"), QStringLiteral("Number "), dialogrules::PlayerNumberDigits, this);
    id1->setGeometry(150, 125, 60, 24);

    wizarddata2s = MakeLabel(QStringLiteral("wizarddata2s"), QStringLiteral("Settings of Wizard 2:"), this, true, 23);
    wizarddata2s->setAlignment(Qt::AlignCenter);
    wizarddata2s->setGeometry(0, 160, 405, 30);
    name2s = MakeLabel(QStringLiteral("name2s"), QStringLiteral("Wizard Name:"), this, true);
    name2s->setGeometry(20, 198, 120, 22);
    name2 = makeField(QStringLiteral("name2"), QStringLiteral("Wizard Name"), dialogrules::MaxNameLength, this);
    name2->setGeometry(150, 197, 235, 24);
    id2s = MakeLabel(QStringLiteral("id2s"), QStringLiteral("Player Number:"), this, true);
    id2s->setGeometry(20, 228, 120, 22);
    id2 = makeField(QStringLiteral("id2"), QStringLiteral("Number"), dialogrules::PlayerNumberDigits, this);
    id2->setGeometry(150, 227, 60, 24);

    Modmes1 = MakeMessageLine(QStringLiteral("Modmes1"), QStringLiteral("Errors and Messages appear here"), this);
    Modmes1->setFont(MessageFont());
    Modmes1->setGeometry(12, 264, 381, 24);

    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Ok, this);
    BitBtn1->setGeometry(90, 298, 100, 30);
    BitBtn1->setDefault(true);
    BitBtn2 = MakeButton(QStringLiteral("BitBtn2"), StandardButton::Cancel, this);
    BitBtn2->setGeometry(215, 298, 100, 30);

    helpmemo = MakeMemo(QStringLiteral("helpmemo"),
                        {QStringLiteral("You can change the general army settings here. If you insert"),
                         QStringLiteral("illegal data, the settings will be restored to the values they "),
                         QStringLiteral("had before you opened this dialog box.")},
                        this);
    QFont helpFont = helpmemo->font();
    helpFont.setPixelSize(11);
    helpmemo->setFont(helpFont);
    helpmemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    helpmemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    helpmemo->setGeometry(8, 340, 389, 60);

    connect(id1, &Edit::clicked, this, &TArmymodify::id1Click);
    connect(id2, &Edit::clicked, this, &TArmymodify::id2Click);
    connect(name1, &Edit::clicked, this, &TArmymodify::name1Click);
    connect(name2, &Edit::clicked, this, &TArmymodify::name2Click);
    connect(id1, &QLineEdit::textChanged, this, &TArmymodify::id1Change);
    connect(id2, &QLineEdit::textChanged, this, &TArmymodify::id2Change);
    connect(name1, &QLineEdit::textChanged, this, &TArmymodify::name1Change);
    connect(name2, &QLineEdit::textChanged, this, &TArmymodify::name2Change);
    for (Edit* field : {name1, id1, name2, id2})
        connect(field, &Edit::exited, this, &TArmymodify::id1Exit);
    connect(BitBtn1, &QPushButton::clicked, this, [this] {
        BitBtn1Click();
        accept();
    });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    tabOrder().set({nullptr, name1, id1, name2, id2, BitBtn1, BitBtn2});
}

void TArmymodify::FormActivate() {
    // The values in force in the main window count as acceptable, whatever
    // the change handlers make of them while they are loaded.
    const Players& players = document_.players();
    id1->setText(QString::fromStdString(players.player(1).number));
    id2->setText(QString::fromStdString(players.player(2).number));
    name1->setText(QString::fromStdString(players.player(1).name));
    name2->setText(QString::fromStdString(players.player(2).name));
    legalId1 = legalId2 = legalName1 = legalName2 = true;
    Modmes1->setText(QStringLiteral("Errors and Messages appear here"));
}

void TArmymodify::id1Click() {
    Modmes1->setText(QStringLiteral("Please type the new player number"));
}
void TArmymodify::id2Click() {
    Modmes1->setText(QStringLiteral("Please type the new player number"));
}
void TArmymodify::name1Click() {
    Modmes1->setText(QStringLiteral("Please type the new wizard name here"));
}
void TArmymodify::name2Click() {
    Modmes1->setText(QStringLiteral("Please type the new wizard name here"));
}

void TArmymodify::checkNumber(Edit* field, const Edit* other, bool* legal) {
    *legal = StrToIntDef(field->text(), -1) > 0 && !SameNumber(field->text(), other->text());
    Modmes1->setText(*legal ? QStringLiteral("You've entered a legal number")
                            : QStringLiteral("You've entered an illegal number"));
}

void TArmymodify::id1Change() {
    checkNumber(id1, id2, &legalId1);
}
void TArmymodify::id2Change() {
    checkNumber(id2, id1, &legalId2);
}
void TArmymodify::name1Change() {
    legalName1 = !name1->text().isEmpty();
}
void TArmymodify::name2Change() {
    legalName2 = !name2->text().isEmpty();
}

void TArmymodify::id1Exit() {
    Modmes1->setText(QString());
}

void TArmymodify::BitBtn1Click() {
    auto given = [](bool legal, const Edit* field) {
        return legal ? std::optional<std::string>(field->text().toStdString()) : std::nullopt;
    };
    const Players::InfoWritten written = document_.changeInfo(
        {{given(legalId1, id1), given(legalId2, id2)}, {given(legalName1, name1), given(legalName2, name2)}});
    if (written.refused)
        Modmes1->setText(QStringLiteral("You've entered an illegal number"));
}
