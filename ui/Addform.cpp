#include "Addform.h"

#include <QLabel>

#include "Errors.h"
#include "army/Army.h"
#include "army/Catalogue.h"
#include "document/Document.h"
#include "rules/DialogRules.h"

using namespace dialogrules;

namespace {
const QStringList helpLines = {
    QStringLiteral("Please fill in the \"abb\" field and the rest of the data "),
    QStringLiteral("will be automatically generated. Note: Don't use RACE "),
    QStringLiteral("codes.  The \"ID\" field is the wizard number of the "),
    QStringLiteral("wizard owning these units. The \"number\" field is the "),
    QStringLiteral("number of these units present in the army."),
    QString(),
};

const QStringList refusedLines = {
    QStringLiteral("Not all data have been inserted corretly."),
    QStringLiteral("As a result, no units have been added to"),
    QStringLiteral("your army."),
};

const QStringList fullLines = {
    QStringLiteral("An army can hold no more than %1 unit kinds.").arg(MaxKinds),
    QStringLiteral("As a result, no units have been added to"),
    QStringLiteral("your army."),
};

QFont fixedFont(int pixelSize) {
    QFont f(QStringLiteral("Courier New"));
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    f.setPixelSize(pixelSize);
    return f;
}
}  // namespace

TAddform1::TAddform1(QWidget* parent, Document& document)
    : Form(QStringLiteral("Addform1"), QStringLiteral("Unit Addition Form"), 405, 420, parent), document_(document) {
    addtitle1 = MakeTitle(QStringLiteral("addtitle1"), QStringLiteral("Unit Addition"), this, 30);
    addtitle1->setGeometry(0, 0, 405, 48);

    auto field = [this](const QString& name, const QString& text, int limit, int x, int y, int width) {
        auto* edit = new Edit(name, text, this);
        edit->setTypingLimit(limit);
        edit->setGeometry(x, y, width, 24);
        return edit;
    };
    auto label = [this](const QString& name, const QString& text, int x, int y, int width) {
        QLabel* l = MakeLabel(name, text, this, true);
        l->setGeometry(x, y, width, 18);
        return l;
    };

    // First row: what the kind is.
    abbs = label(QStringLiteral("abbs"), QStringLiteral("Abb:"), 10, 58, 50);
    Abbreviation = field(QStringLiteral("Abbreviation"), QStringLiteral("Abb"), MaxAbbreviationLength, 10, 78, 50);
    poss = label(QStringLiteral("poss"), QStringLiteral("Position:"), 66, 58, 104);
    Position = field(QStringLiteral("Position"), QStringLiteral("Position"), 1, 66, 78, 104);
    types = label(QStringLiteral("types"), QStringLiteral("Type:"), 176, 58, 50);
    Type = field(QStringLiteral("Type"), QStringLiteral("Type"), 1, 176, 78, 50);
    fullnames = label(QStringLiteral("fullnames"), QStringLiteral("Full Unit Name:"), 232, 58, 163);
    Fullname = field(QStringLiteral("Fullname"), QStringLiteral("Full Unit Name"), AddNameLength, 232, 78, 163);

    // Second row: whose and how many, then the five values.
    ids = label(QStringLiteral("ids"), QStringLiteral("#ID:"), 10, 114, 44);
    id = field(QStringLiteral("id"), QStringLiteral("ID"), PlayerNumberDigits, 10, 134, 44);
    nums = label(QStringLiteral("nums"), QStringLiteral("Number:"), 60, 114, 64);
    Number = field(QStringLiteral("Number"), QStringLiteral("Number"), UnitsDigits, 60, 134, 64);
    offs = label(QStringLiteral("offs"), QStringLiteral("Off:"), 130, 114, 48);
    Offense = field(QStringLiteral("Offense"), QStringLiteral("OFF"), ValueDigits, 130, 134, 48);
    defs = label(QStringLiteral("defs"), QStringLiteral("Def:"), 184, 114, 48);
    Defense = field(QStringLiteral("Defense"), QStringLiteral("DEF"), ValueDigits, 184, 134, 48);
    rofs = label(QStringLiteral("rofs"), QStringLiteral("Rof:"), 238, 114, 48);
    Rangedoff = field(QStringLiteral("Rangedoff"), QStringLiteral("ROF"), ValueDigits, 238, 134, 48);
    atts = label(QStringLiteral("atts"), QStringLiteral("Att:"), 292, 114, 48);
    Attacks = field(QStringLiteral("Attacks"), QStringLiteral("ATT"), ValueDigits, 292, 134, 48);
    hits = label(QStringLiteral("hits"), QStringLiteral("Hit:"), 346, 114, 48);
    Hitpoints = field(QStringLiteral("Hitpoints"), QStringLiteral("HIT"), ValueDigits, 346, 134, 48);
    for (Edit* e : {Offense, Defense, Rangedoff, Attacks, Hitpoints})
        e->setFont(fixedFont(14));

    Addmes1 = MakeMessageLine(QStringLiteral("Addmes1"), QStringLiteral("Errors and messages appear here"), this);
    Addmes1->setGeometry(10, 172, 385, 24);

    okbutton = MakeButton(QStringLiteral("okbutton"), StandardButton::Ok, this);
    okbutton->setGeometry(100, 206, 90, 32);
    okbutton->setDefault(true);
    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Cancel, this);
    BitBtn1->setGeometry(215, 206, 90, 32);

    Addmessage1 = MakeMemo(QStringLiteral("Addmessage1"), helpLines, this);
    Addmessage1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Addmessage1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Addmessage1->setFont(fixedFont(11));
    Addmessage1->setGeometry(6, 248, 393, 164);

    connect(Abbreviation, &QLineEdit::textChanged, this, &TAddform1::AbbreviationChange);
    const auto atLeast = [](int least) { return [least](const QString& t) { return StrToIntDef(t, -1) >= least; }; };
    // Each field: its flag and rule, the messages of a legal (none: the
    // message stays) and an illegal text, its prompt, and the text an
    // illegal one is replaced with on leaving.
    fields_ = {{
        {Position, &Validity::position, [](const QString& t) { return isPositionCode(t.toStdString()); },
         "Battle Position altered", "Invalid Entry. The only options are: F, B, R, M and G",
         "Please change the battle position", "F"},
        {Type, &Validity::type, [](const QString& t) { return isTypeCode(t.toStdString()); },
         "You have entered a legal unit type", "Illegal type entered. (Legal are: O, S and U)",
         "Please set the Unit Type of this unit (O, S or U)", "O"},
        {Fullname, &Validity::fullname, [](const QString& t) { return !t.isEmpty(); }, nullptr,
         "That is no legal unit name", "Please change the name of this unit", "Nameless Unit"},
        {id, &Validity::id, [this](const QString& t) { return document_.players().byText(t.toStdString()) != 0; },
         "You have entered a legal number", "This wizard number is not found, please change",
         "Please fill in the wizard number", "ID"},
        {Number, &Validity::number, atLeast(1), "Number Changed", "Illegal Number of units",
         "How many units do you have of this type?", "0"},
        {Offense, &Validity::offense, atLeast(0), "Offense changed",
         "Invalid Entry. Please enter a positive number or 0", "Please type the value for the offense", "0"},
        {Defense, &Validity::defense, atLeast(0), "Defense changed",
         "Invalid Entry. Please enter a positive number or 0", "Please type the value for the defense", "0"},
        {Rangedoff, &Validity::rangedoff, atLeast(0), "Ranged Offense changed",
         "Invalid Entry. Please enter a positive number or 0", "Please type the value for the ranged offense", "0"},
        {Attacks, &Validity::attacks, atLeast(1), "Attacks changed", "Invalid Entry. Please enter a positive number",
         "Please type the value for the attacks", "0"},
        {Hitpoints, &Validity::hitpoints, atLeast(1), "Hitpoints changed",
         "Invalid Entry. Please enter a positive number", "Please type the value for the hit points", "0"},
    }};
    for (const Field& f : fields_) {
        connect(f.edit, &QLineEdit::textChanged, this, [this, &f] { fieldChange(f); });
        connect(f.edit, &Edit::clicked, this, [this, &f] { Addmes1->setText(QString::fromLatin1(f.prompt)); });
        connect(f.edit, &Edit::exited, this, [this, &f] { fieldExit(f); });
    }
    connect(okbutton, &QPushButton::clicked, this, [this] {
        RunGuarded([this] { okbuttonClick(); });
        accept();
    });
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);

    // The full tab order, positions without a tab stop included, so that the
    // main window's moves of `id` to 1 or 20 land where they should.
    std::vector<QWidget*> order(26, nullptr);
    order[0] = Abbreviation;
    order[1] = Number;
    order[2] = okbutton;
    order[3] = BitBtn1;
    order[4] = id;
    order[5] = Position;
    order[6] = Fullname;
    order[7] = Offense;
    order[8] = Defense;
    order[9] = Rangedoff;
    order[10] = Attacks;
    order[12] = Hitpoints;
    order[25] = Type;
    tabOrder().set(std::move(order));
}

// ---- Field checks ------------------------------------------------------------

void TAddform1::fieldChange(const Field& f) {
    const bool ok = f.rule(f.edit->text());
    if (ok && f.legalMessage)
        Addmes1->setText(QString::fromLatin1(f.legalMessage));
    else if (!ok)
        Addmes1->setText(QString::fromLatin1(f.illegalMessage));
    valid_.*f.flag = ok;
}

void TAddform1::fieldExit(const Field& f) {
    if (!(valid_.*f.flag))
        f.edit->setText(QString::fromLatin1(f.replacement));
    Addmes1->setText(QString());
}

// ---- Catalogue fill ----------------------------------------------------------

void TAddform1::AbbreviationChange() {
    // Each text set below runs its field's own check; the flags and the
    // message that follow decide.
    const CatalogueRow* row = Unitcatalogue::find(Abbreviation->text().toStdString());
    if (row) {
        auto text = [](std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); };
        Position->setText(text(row->Position));
        Fullname->setText(text(row->Fullname));
        Offense->setText(IntToStr(row->Offense));
        Defense->setText(IntToStr(row->Defense));
        Rangedoff->setText(IntToStr(row->Rangedoff));
        Attacks->setText(IntToStr(row->Attacks));
        Hitpoints->setText(IntToStr(row->Hitpoints));
        Type->setText(text(row->Type));
        valid_.position = valid_.fullname = valid_.offense = valid_.defense = valid_.rangedoff = true;
        valid_.attacks = valid_.hitpoints = valid_.type = true;
        Addmes1->setText(QStringLiteral("Abbreviation recognized: Unit info altered"));
    } else {
        Position->setText(QStringLiteral("F"));
        Type->setText(QStringLiteral("O"));
        Fullname->setText(QString());
        for (Edit* e : {Offense, Defense, Rangedoff, Attacks, Hitpoints})
            e->setText(QStringLiteral("0"));
        valid_.position = valid_.type = valid_.fullname = true;
        valid_.offense = valid_.defense = valid_.rangedoff = valid_.attacks = valid_.hitpoints = false;
        Addmes1->setText(QStringLiteral("Abbreviation not recognized"));
    }
}

// ---- Add -----------------------------------------------------------------------

// Converts every value of the kind; false if one does not convert. Run before
// the army changes, so that a bad text cannot leave it half-changed.
bool TAddform1::readValues(KindValues* v) const {
    try {
        v->Offense = StrToFloat(Offense->text());
        v->Defense = StrToFloat(Defense->text());
        v->Rangedoff = StrToInt(Rangedoff->text());
        v->Attacks = StrToInt(Attacks->text());
        v->Hitpoints = StrToInt(Hitpoints->text());
    } catch (const ConversionError&) {
        return false;
    }
    v->Fullname = Fullname->text().toStdString();
    v->Abbreviation = Abbreviation->text().toStdString();
    v->Position = Position->text().toStdString();
    v->Type = Type->text().toStdString();
    return true;
}

void TAddform1::okbuttonClick() {
    if (!valid_.number || !valid_.attacks || !valid_.hitpoints) {
        ShowError(refusedLines);
        return;
    }
    const int n = StrToInt(Number->text());
    const int player = document_.players().byValue(StrToInt(id->text()));
    if (player == 0)
        return;  // a number that belongs to nobody adds nothing

    KindValues values;
    if (!readValues(&values)) {
        ShowError(refusedLines);
        return;
    }
    switch (document_.addKind(player, values, n)) {
        case Army::AddResult::Added:
            break;
        case Army::AddResult::ArmyFull:
            ShowError(fullLines);
            break;
        case Army::AddResult::BadValues:
            ShowError(refusedLines);
            break;
    }
}

// ---- Opening and closing -------------------------------------------------------

void TAddform1::FormActivate() {
    Addmes1->setText(QStringLiteral("Errors and Messages appear here"));
    valid_ = Validity{};
}

void TAddform1::FormClose() {
    id->setText(QStringLiteral("ID"));
    Abbreviation->setText(QStringLiteral("Abb"));
    Position->setText(QStringLiteral("Battle Position"));
    Fullname->setText(QStringLiteral("Full Unit Name"));
    Type->setText(QStringLiteral("Type"));
    Number->setText(QStringLiteral("Number"));
    Offense->setText(QStringLiteral("OFF"));
    Defense->setText(QStringLiteral("DEF"));
    Rangedoff->setText(QStringLiteral("ROF"));
    Attacks->setText(QStringLiteral("ATT"));
    Hitpoints->setText(QStringLiteral("HIT"));
    Addmes1->setText(QStringLiteral("Errors and messages appear here"));
    // The full name's flag is not among those cleared; activation clears it.
    valid_.hitpoints = valid_.defense = valid_.offense = valid_.number = valid_.type = false;
    valid_.position = valid_.id = valid_.rangedoff = valid_.attacks = false;
}
