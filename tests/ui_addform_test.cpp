#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>

#include "UiTestSupport.h"

using namespace ui_test;

namespace {

const QStringList refused = {QStringLiteral("Not all data have been inserted corretly."),
                             QStringLiteral("As a result, no units have been added to"), QStringLiteral("your army.")};
const QStringList armyFull = {QStringLiteral("An army can hold no more than 40 unit kinds."),
                              QStringLiteral("As a result, no units have been added to"), QStringLiteral("your army.")};

// The first lines of the error window's memo as it was shown.
QStringList firstLines(const QString& memo, int count) {
    return memo.split(QLatin1Char('\n')).mid(0, count);
}

TAddform1* dialog() {
    return Addform1;
}

// Judged by the glyphs, since some monospaced fonts do not declare themselves so.
bool fixedPitch(const QFont& font) {
    const QFontMetrics m(font);
    return m.horizontalAdvance(QLatin1Char('i')) == m.horizontalAdvance(QLatin1Char('W'));
}

// Counts the standard exception displays shown while it lives, closing each.
struct ExceptionWatch : QObject {
    int shown = 0;
    ExceptionWatch() { qApp->installEventFilter(this); }
    ~ExceptionWatch() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Show && o->objectName() == QLatin1String("ExceptionDisplay")) {
            ++shown;
            QTimer::singleShot(0, o, [o] { static_cast<QMessageBox*>(o)->accept(); });
        }
        return false;
    }
};

// Opens the dialog with opener (a menu action, or a right click on a display)
// and runs steps on it; a dialog the steps leave open is cancelled.
void runDialog(const std::function<void()>& opener, const std::function<void(TAddform1*)>& steps) {
    bool ran = false;
    whenModal(QStringLiteral("Addform1"), [&](QWidget*) {
        steps(Addform1);
        ran = true;
        if (Addform1->isVisible())
            QTest::mouseClick(Addform1->BitBtn1, Qt::LeftButton);
    });
    opener();
    QVERIFY2(ran, "the add dialog never opened");
    QVERIFY(!Addform1->isVisible());
}

void fromMainMenu(const std::function<void(TAddform1*)>& steps) {
    runDialog([] { Mainform->AddUnits2->trigger(); }, steps);
}

// Right-clicks a player's army display and chooses "Add Units" with the mouse.
void fromPopup(int player, const std::function<void(TAddform1*)>& steps) {
    QPlainTextEdit* display = player == 1 ? Mainform->Armydisplay1 : Mainform->Armydisplay2;
    QMenu* menu = player == 1 ? Mainform->Unitmenu1 : Mainform->Unitmenu2;
    QAction* item = player == 1 ? Mainform->AddUnits1 : Mainform->AddUnits3;
    runDialog(
        [=] {
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20),
                                    display->viewport()->mapToGlobal(QPoint(20, 20)));
            QApplication::sendEvent(display->viewport(), &event);
            QTRY_VERIFY(menu->isVisible());
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
        },
        steps);
}

// Types into a field and leaves it with the mouse for the abbreviation field,
// whose click changes nothing.
void typeAndLeave(TAddform1* d, Edit* field, const QString& text) {
    typeInto(field, text);
    QTest::mouseClick(d->Abbreviation, Qt::LeftButton);
}

// The usual entry: abbreviation, player number, number of units.
void enterKind(TAddform1* d, const QString& abb, const QString& player, const QString& number) {
    typeInto(d->Abbreviation, abb);
    typeInto(d->id, player);
    typeInto(d->Number, number);
}

void clickOk(TAddform1* d) {
    QTest::mouseClick(d->okbutton, Qt::LeftButton);
}

const Army& army(int player) {
    return armyOf(player);
}

QStringList tabNames(const std::vector<QWidget*>& chain) {
    QStringList names;
    for (QWidget* w : chain)
        names << w->objectName();
    return names;
}

}  // namespace

class AddformTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { startProgram(); }

    // Every test starts from empty armies and fresh displays.
    void init() { freshArmies(); }

    // Runs before any opening: the texts the dialog is created with.
    void createdAsLaidOut() {
        TAddform1* d = dialog();
        QCOMPARE(d->windowTitle(), QStringLiteral("Unit Addition Form"));
        QCOMPARE(d->size(), QSize(405, 420));
        QCOMPARE(d->addtitle1->text(), QStringLiteral("Unit Addition"));
        const std::vector<std::tuple<Edit*, QString, QString, int>> fields = {
            {d->Abbreviation, "Abb", "Abb:", 3},
            {d->Position, "Position", "Position:", 1},
            {d->Type, "Type", "Type:", 1},
            {d->Fullname, "Full Unit Name", "Full Unit Name:", 28},
            {d->id, "ID", "#ID:", 2},
            {d->Number, "Number", "Number:", 4},
            {d->Offense, "OFF", "Off:", 3},
            {d->Defense, "DEF", "Def:", 3},
            {d->Rangedoff, "ROF", "Rof:", 3},
            {d->Attacks, "ATT", "Att:", 3},
            {d->Hitpoints, "HIT", "Hit:", 3},
        };
        const QList<QLabel*> labels = {d->abbs, d->poss, d->types, d->fullnames, d->ids, d->nums,
                                       d->offs, d->defs, d->rofs,  d->atts,      d->hits};
        QList<QWidget*> placed;
        for (size_t i = 0; i < fields.size(); ++i) {
            const auto& [edit, text, label, limit] = fields[i];
            QCOMPARE(edit->text(), text);
            QCOMPARE(labels[static_cast<int>(i)]->text(), label);
            QCOMPARE(edit->typingLimit(), limit);
            QCOMPARE(edit->maxLength(), 32767);  // placeholders longer than the limit stay whole
            placed << edit << labels[static_cast<int>(i)];
        }
        for (Edit* e : {d->Offense, d->Defense, d->Rangedoff, d->Attacks, d->Hitpoints})
            QVERIFY2(fixedPitch(e->font()), qPrintable(e->objectName()));
        QCOMPARE(d->Addmes1->text(), QStringLiteral("Errors and messages appear here"));
        QVERIFY(d->Addmes1->isReadOnly());
        QCOMPARE(d->Addmes1->focusPolicy(), Qt::NoFocus);
        QVERIFY(d->okbutton->isDefault());
        QCOMPARE(d->okbutton->text(), QStringLiteral("OK"));
        QCOMPARE(d->BitBtn1->text(), QStringLiteral("Cancel"));

        const QString help = QStringLiteral(
            "Please fill in the \"abb\" field and the rest of the data \n"
            "will be automatically generated. Note: Don't use RACE \n"
            "codes.  The \"ID\" field is the wizard number of the \n"
            "wizard owning these units. The \"number\" field is the \n"
            "number of these units present in the army.\n");
        QCOMPARE(d->Addmessage1->toPlainText(), help);
        QCOMPARE(d->Addmessage1->document()->blockCount(), 6);
        QVERIFY(fixedPitch(d->Addmessage1->font()));
        // The help text fits its memo: no line is cut off.
        const QFontMetrics helpMetrics(d->Addmessage1->font());
        for (const QString& line : d->Addmessage1->toPlainText().split(QLatin1Char('\n')))
            QVERIFY2(helpMetrics.horizontalAdvance(line) < d->Addmessage1->contentsRect().width() - 8,
                     qPrintable(line));

        // Nothing cut off by the window or overlapping another control.
        placed << d->Addmes1 << d->okbutton << d->BitBtn1 << d->Addmessage1 << d->addtitle1;
        const QRect window(QPoint(0, 0), d->size());
        for (int i = 0; i < placed.size(); ++i) {
            QVERIFY2(window.contains(placed[i]->geometry()), qPrintable(placed[i]->objectName()));
            for (int j = i + 1; j < placed.size(); ++j)
                QVERIFY2(!placed[i]->geometry().intersects(placed[j]->geometry()),
                         qPrintable(placed[i]->objectName() + " / " + placed[j]->objectName()));
        }
    }

    void tabOrderKeepsPositionsWithoutTabStop() {
        TabOrder& order = dialog()->tabOrder();
        QCOMPARE(tabNames(order.focusChain()),
                 QStringList({"Abbreviation", "Number", "okbutton", "BitBtn1", "id", "Position", "Fullname", "Offense",
                              "Defense", "Rangedoff", "Attacks", "Hitpoints", "Type"}));
        order.SetTabOrder(dialog()->id, 20);
        QCOMPARE(tabNames(order.focusChain()),
                 QStringList({"Abbreviation", "Number", "okbutton", "BitBtn1", "Position", "Fullname", "Offense",
                              "Defense", "Rangedoff", "Attacks", "Hitpoints", "id", "Type"}));
        // The main menu puts it right behind the abbreviation; Tab follows.
        QWidget* second = nullptr;
        fromMainMenu([&](TAddform1* d) {
            QCOMPARE(QApplication::focusWidget(), d->Abbreviation);
            QTest::keyClick(d->Abbreviation, Qt::Key_Tab);
            second = QApplication::focusWidget();
        });
        QCOMPARE(second, dialog()->id);
        QCOMPARE(tabNames(order.focusChain()),
                 QStringList({"Abbreviation", "id", "Number", "okbutton", "BitBtn1", "Position", "Fullname", "Offense",
                              "Defense", "Rangedoff", "Attacks", "Hitpoints", "Type"}));
    }

    void archersTypedInLowerCase() {
        QString afterFill, message;
        QStringList filled;
        fromMainMenu([&](TAddform1* d) {
            QCOMPARE(d->Addmes1->text(), QStringLiteral("Errors and Messages appear here"));
            typeInto(d->Abbreviation, QStringLiteral("arc"));
            message = d->Addmes1->text();
            for (Edit* e :
                 {d->Position, d->Fullname, d->Offense, d->Defense, d->Rangedoff, d->Attacks, d->Hitpoints, d->Type})
                filled << e->text();
            afterFill = d->Abbreviation->text();
            typeInto(d->id, QStringLiteral("1"));
            typeInto(d->Number, QStringLiteral("20"));
            clickOk(d);
        });
        QCOMPARE(message, QStringLiteral("Abbreviation recognized: Unit info altered"));
        QCOMPARE(filled, QStringList({"R", "Archers", "1", "0", "2", "1", "1", "O"}));
        QCOMPARE(afterFill, QStringLiteral("arc"));

        const Army& a = army(1);
        QCOMPARE(a.currentSize, 20);
        QCOMPARE(a.SizeMinusB, 20);
        QCOMPARE(a.NumberR, 20);
        QCOMPARE(a.unittypes[0].Fullname, std::string("Archers"));
        QCOMPARE(a.unittypes[0].Number, 20);
        QCOMPARE(a.unittypes[0].Abbreviation, std::string("arc"));
        QCOMPARE(a.checkInvariants(), std::string());
        QCOMPARE(army(2).currentSize, 0);
        QCOMPARE(Mainform->display(1).line(1), QStringLiteral("Archers : 20  (O:1 D:0 R:2 A:1 H:1)"));
        QCOMPARE(Mainform->display(2).line(1), QString());
    }

    void catalogueKindsCountByPosition_data() {
        QTest::addColumn<int>("player");
        QTest::newRow("player 1") << 1;
        QTest::newRow("player 2") << 2;
    }
    void catalogueKindsCountByPosition() {
        QFETCH(int, player);
        const QString number = QString::number(player);
        // Dragons shoot from the air: they count with the ranged troops too.
        fromMainMenu([&](TAddform1* d) {
            enterKind(d, QStringLiteral("GOD"), number, QStringLiteral("5"));
            clickOk(d);
        });
        const Army& a = army(player);
        QCOMPARE(a.NumberG, 5);
        QCOMPARE(a.NumberR, 5);
        QCOMPARE(a.SizeMinusB, 5);

        // Jesters stand behind everyone; the knights added after them are
        // still shown under their own name.
        fromMainMenu([&](TAddform1* d) {
            enterKind(d, QStringLiteral("JES"), number, QStringLiteral("3"));
            clickOk(d);
        });
        fromMainMenu([&](TAddform1* d) {
            enterKind(d, QStringLiteral("KNI"), number, QStringLiteral("4"));
            clickOk(d);
        });
        QCOMPARE(a.NumberB, 3);
        QCOMPARE(a.SizeMinusB, 9);
        QCOMPARE(a.currentSize, 12);
        for (int i = a.currentSize - 3; i < a.currentSize; ++i)
            QCOMPARE(a.kindOf(i).Fullname, std::string("Jesters"));
        QCOMPARE(a.checkInvariants(), std::string());
        const MemoBoard& board = Mainform->display(player);
        QCOMPARE(board.line(1), QStringLiteral("Golden Dragons : 5  (O:10 D:15 R:4 A:8 H:6)"));
        QCOMPARE(board.line(2), QStringLiteral("Jesters : 3  (O:0 D:1 R:0 A:1 H:1)"));
        QCOMPARE(board.line(3), QStringLiteral("Knights : 4  (O:4 D:4 R:0 A:1 H:2)"));
        QCOMPARE(army(3 - player).currentSize, 0);
    }

    void sameKindTwiceMakesTwoKinds() {
        for (const char* n : {"2", "3"})
            fromMainMenu([&](TAddform1* d) {
                enterKind(d, QStringLiteral("ARC"), QStringLiteral("1"), QString::fromLatin1(n));
                clickOk(d);
            });
        const Army& a = army(1);
        QCOMPARE(a.kindCount(), 2);
        QCOMPARE(a.unittypes[1].Number, 3);
        QCOMPARE(Mainform->display(1).line(1), QStringLiteral("Archers : 2  (O:1 D:0 R:2 A:1 H:1)"));
        QCOMPARE(Mainform->display(1).line(2), QStringLiteral("Archers : 3  (O:1 D:0 R:2 A:1 H:1)"));
    }

    void sharedNumberGoesToPlayer1() {
        setNumber(2, QStringLiteral("1"));
        fromMainMenu([&](TAddform1* d) {
            enterKind(d, QStringLiteral("KNI"), QStringLiteral("1"), QStringLiteral("6"));
            clickOk(d);
        });
        QCOMPARE(army(1).currentSize, 6);
        QCOMPARE(army(2).currentSize, 0);
    }

    // OK with an entry that is not confirmed valid, or that does not convert:
    // the three-line message, and neither army nor display changes.
    void refusedAddChangesNothing_data() {
        QTest::addColumn<QString>("abb");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enter");
        QTest::newRow("number 0") << "ARC"
                                  << "0"
                                  << ""
                                  << "" << false;
        QTest::newRow("attacks never filled") << ""
                                              << "5"
                                              << "Hitpoints"
                                              << "1" << false;
        QTest::newRow("hit points never filled") << ""
                                                 << "5"
                                                 << "Attacks"
                                                 << "1" << false;
        QTest::newRow("unknown kind, attacks not typed") << "ZZZ"
                                                         << "5"
                                                         << "Hitpoints"
                                                         << "2" << false;
        // The flags OK reads hold, but a value does not convert.
        QTest::newRow("offense placeholder") << ""
                                             << "5"
                                             << "Attacks+Hitpoints"
                                             << "1" << false;
        QTest::newRow("offense confirmed with Enter") << "ARC"
                                                      << "5"
                                                      << "Offense"
                                                      << "x" << true;
        QTest::newRow("fractional ranged offense with Enter") << "ARC"
                                                              << "5"
                                                              << "Rangedoff"
                                                              << "1.5" << true;
        QTest::newRow("blank defense with Enter") << "ARC"
                                                  << "5"
                                                  << "Defense"
                                                  << "" << true;
    }
    void refusedAddChangesNothing() {
        QFETCH(QString, abb);
        QFETCH(QString, number);
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(bool, enter);
        fromMainMenu([&](TAddform1* d) {
            enterKind(d, QStringLiteral("ARC"), QStringLiteral("1"), QStringLiteral("1"));
            clickOk(d);
        });
        const QStringList before = Mainform->display(1).lines();
        QString seen;
        bool errorShown = false;
        fromMainMenu([&](TAddform1* d) {
            if (!abb.isEmpty())
                typeInto(d->Abbreviation, abb);
            typeInto(d->id, QStringLiteral("1"));
            typeInto(d->Number, number);
            for (const QString& name : field.split(QLatin1Char('+'), Qt::SkipEmptyParts))
                typeInto(control<Edit>(d, name), text);
            whenModal(QStringLiteral("Errorform"), [&](QWidget* w) {
                errorShown = true;
                seen = Errorform->Erroroutput->toPlainText();
                clickButton(w, QStringLiteral("BitBtn1"));
            });
            if (enter)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            else
                clickOk(d);
        });
        QVERIFY(errorShown);
        QCOMPARE(firstLines(seen, 3), refused);
        QCOMPARE(army(1).currentSize, 1);
        QCOMPARE(army(1).kindCount(), 1);
        QCOMPARE(army(1).checkInvariants(), std::string());
        QCOMPARE(Mainform->display(1).lines(), before);
        QCOMPARE(Errorform->Erroroutput->toPlainText(), QString(16, QLatin1Char('\n')));
    }

    // Offense and defense are reals: a fraction confirmed with Enter is kept.
    void fractionalOffenseConfirmedWithEnterIsKept() {
        fromMainMenu([&](TAddform1* d) {
            enterKind(d, QStringLiteral("KNI"), QStringLiteral("2"), QStringLiteral("3"));
            typeInto(d->Offense, QStringLiteral("2.5"));
            QTest::keyClick(d->Offense, Qt::Key_Return);
        });
        QCOMPARE(army(2).unittypes[0].Offense, 2.5);
        QCOMPARE(Mainform->display(2).line(1), QStringLiteral("Knights : 3  (O:2.5 D:4 R:0 A:1 H:2)"));
    }

    void unknownKindIsTypedByHand() {
        QStringList filled;
        QString message;
        Validity flags;
        fromMainMenu([&](TAddform1* d) {
            typeInto(d->Abbreviation, QStringLiteral("ZZZ"));
            message = d->Addmes1->text();
            flags = d->validity();
            for (Edit* e :
                 {d->Position, d->Type, d->Fullname, d->Offense, d->Defense, d->Rangedoff, d->Attacks, d->Hitpoints})
                filled << e->text();
            typeInto(d->Attacks, QStringLiteral("2"));
            typeInto(d->Hitpoints, QStringLiteral("3"));
            typeInto(d->id, QStringLiteral("2"));
            typeInto(d->Number, QStringLiteral("4"));
            clickOk(d);
        });
        QCOMPARE(message, QStringLiteral("Abbreviation not recognized"));
        QCOMPARE(filled, QStringList({"F", "O", "", "0", "0", "0", "0", "0"}));
        QVERIFY(flags.position && flags.type && flags.fullname);
        QVERIFY(!flags.offense && !flags.defense && !flags.rangedoff && !flags.attacks && !flags.hitpoints);
        // The name field was never visited: the kind still gets a name, so
        // its slot is not taken for free by the next add.
        QCOMPARE(army(2).unittypes[0].Fullname, std::string("Nameless Unit"));
        QCOMPARE(army(2).unittypes[0].Abbreviation, std::string("ZZZ"));
        QCOMPARE(Mainform->display(2).line(1), QStringLiteral("Nameless Unit : 4  (O:0 D:0 R:0 A:2 H:3)"));
        QCOMPARE(army(2).checkInvariants(), std::string());
    }

    // Each field: the message of its check, its flag, and what leaving it does.
    void fieldChecks_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("afterLeaving");
        QTest::newRow("position code") << "Position"
                                       << "G"
                                       << "Please change the battle position"
                                       << "Battle Position altered"
                                       << "G";
        QTest::newRow("position lower case") << "Position"
                                             << "r"
                                             << "Please change the battle position"
                                             << "Invalid Entry. The only options are: F, B, R, M and G"
                                             << "F";
        QTest::newRow("type H") << "Type"
                                << "H"
                                << "Please set the Unit Type of this unit (O, S or U)"
                                << "You have entered a legal unit type"
                                << "H";
        QTest::newRow("type X") << "Type"
                                << "X"
                                << "Please set the Unit Type of this unit (O, S or U)"
                                << "Illegal type entered. (Legal are: O, S and U)"
                                << "O";
        QTest::newRow("empty name") << "Fullname"
                                    << ""
                                    << "Please change the name of this unit"
                                    << "That is no legal unit name"
                                    << "Nameless Unit";
        QTest::newRow("id of player 2") << "id"
                                        << "2"
                                        << "Please fill in the wizard number"
                                        << "You have entered a legal number"
                                        << "2";
        QTest::newRow("id of nobody") << "id"
                                      << "7"
                                      << "Please fill in the wizard number"
                                      << "This wizard number is not found, please change"
                                      << "ID";
        QTest::newRow("number") << "Number"
                                << "12"
                                << "How many units do you have of this type?"
                                << "Number Changed"
                                << "12";
        QTest::newRow("number 0") << "Number"
                                  << "0"
                                  << "How many units do you have of this type?"
                                  << "Illegal Number of units"
                                  << "0";
        QTest::newRow("number over limit") << "Number"
                                           << "123456"
                                           << "How many units do you have of this type?"
                                           << "Number Changed"
                                           << "1234";
        QTest::newRow("offense 0") << "Offense"
                                   << "0"
                                   << "Please type the value for the offense"
                                   << "Offense changed"
                                   << "0";
        QTest::newRow("offense fraction") << "Offense"
                                          << "1.5"
                                          << "Please type the value for the offense"
                                          << "Invalid Entry. Please enter a positive number or 0"
                                          << "0";
        QTest::newRow("defense negative") << "Defense"
                                          << "-2"
                                          << "Please type the value for the defense"
                                          << "Invalid Entry. Please enter a positive number or 0"
                                          << "0";
        QTest::newRow("ranged offense") << "Rangedoff"
                                        << "3"
                                        << "Please type the value for the ranged offense"
                                        << "Ranged Offense changed"
                                        << "3";
        QTest::newRow("attacks 0") << "Attacks"
                                   << "0"
                                   << "Please type the value for the attacks"
                                   << "Invalid Entry. Please enter a positive number"
                                   << "0";
        QTest::newRow("hit points") << "Hitpoints"
                                    << "7"
                                    << "Please type the value for the hit points"
                                    << "Hitpoints changed"
                                    << "7";
        QTest::newRow("hit points text") << "Hitpoints"
                                         << "ab"
                                         << "Please type the value for the hit points"
                                         << "Invalid Entry. Please enter a positive number"
                                         << "0";
    }
    void fieldChecks() {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, prompt);
        QFETCH(QString, message);
        QFETCH(QString, afterLeaving);
        QString promptShown, messageShown, textBefore, textAfter, messageAfter;
        fromMainMenu([&](TAddform1* d) {
            Edit* e = control<Edit>(d, field);
            textBefore = e->text();
            QTest::mouseClick(e, Qt::LeftButton);
            promptShown = d->Addmes1->text();
            QCOMPARE(e->text(), textBefore);  // a click touches no text
            typeInto(e, typed);
            messageShown = d->Addmes1->text();
            QTest::mouseClick(d->Abbreviation, Qt::LeftButton);
            textAfter = e->text();
            messageAfter = d->Addmes1->text();
        });
        QCOMPARE(promptShown, prompt);
        // A valid full name says nothing: the prompt stays.
        QCOMPARE(messageShown, message);
        QCOMPARE(textAfter, afterLeaving);
        QCOMPARE(messageAfter, QString());
    }

    void validNameShowsNoMessage() {
        QString shown;
        fromMainMenu([&](TAddform1* d) {
            typeInto(d->Fullname, QStringLiteral("Ogres"));
            shown = d->Addmes1->text();
        });
        QCOMPARE(shown, QStringLiteral("Please change the name of this unit"));
    }

    // A replacement of 0 is itself invalid for the number: it stays refused.
    void numberReplacementStaysInvalid() {
        bool numberFlag = true;
        fromMainMenu([&](TAddform1* d) {
            typeAndLeave(d, d->Number, QStringLiteral("x"));
            numberFlag = d->validity().number;
            typeAndLeave(d, d->Offense, QStringLiteral("x"));
            QVERIFY(d->validity().offense);  // "0" is a valid offense
        });
        QVERIFY(!numberFlag);
    }

    void nineThousandNineHundredNinetyNine() {
        fromMainMenu([&](TAddform1* d) {
            enterKind(d, QStringLiteral("PEA"), QStringLiteral("2"), QStringLiteral("9999"));
            clickOk(d);
        });
        const Army& a = army(2);
        QCOMPARE(a.currentSize, 9999);
        QVERIFY(a.maxSize >= 9999);
        QCOMPARE(a.NumberF, 9999);
        QCOMPARE(a.checkInvariants(), std::string());
        QCOMPARE(Mainform->display(2).line(1), QStringLiteral("Peasants : 9999  (O:1 D:2 R:0 A:1 H:1)"));
    }

    // Opened from the pop-up menu, the player's number is in `id` and the
    // field sits at tab position 20, but its flag is clear after activation.
    void popupNumberIsNotConfirmed() {
        setNumber(2, QStringLiteral("7"));
        Validity atOpening;
        atOpening.id = true;
        QString idAtOpening, messageAtOpening, idAfterPassing, exception;
        fromPopup(2, [&](TAddform1* d) {
            idAtOpening = d->id->text();
            messageAtOpening = d->Addmes1->text();
            atOpening = d->validity();
            QTest::mouseClick(d->id, Qt::LeftButton);
            QTest::mouseClick(d->Number, Qt::LeftButton);
            idAfterPassing = d->id->text();
            typeInto(d->Abbreviation, QStringLiteral("KNI"));
            typeInto(d->Number, QStringLiteral("3"));
            closeExceptionWhenShown(&exception);
            clickOk(d);
        });
        QCOMPARE(idAtOpening, QStringLiteral("7"));
        QCOMPARE(messageAtOpening, QStringLiteral("Errors and Messages appear here"));
        QVERIFY(!atOpening.id && !atOpening.number && !atOpening.position && !atOpening.fullname);
        QCOMPARE(idAfterPassing, QStringLiteral("ID"));
        QVERIFY2(exception.contains(QStringLiteral("ID")), qPrintable(exception));
        QCOMPARE(army(2).currentSize, 0);
        QCOMPARE(tabNames(dialog()->tabOrder().focusChain()).indexOf("id"), 11);

        // Left alone, or typed again, the number serves.
        fromPopup(2, [&](TAddform1* d) {
            typeInto(d->Abbreviation, QStringLiteral("KNI"));
            typeInto(d->Number, QStringLiteral("3"));
            clickOk(d);
        });
        fromPopup(2, [&](TAddform1* d) {
            typeInto(d->id, QStringLiteral("7"));
            QVERIFY(d->validity().id);
            typeInto(d->Abbreviation, QStringLiteral("SWO"));
            typeInto(d->Number, QStringLiteral("2"));
            clickOk(d);
        });
        QCOMPARE(army(2).kindCount(), 2);
        QCOMPARE(army(2).currentSize, 5);
        QCOMPARE(army(1).currentSize, 0);
    }

    // Enter presses OK without leaving the field: no exit check runs, and a
    // player number that belongs to nobody ends the add silently.
    void enterSkipsTheExitCheck() {
        ExceptionWatch watch;
        fromMainMenu([&](TAddform1* d) {
            typeInto(d->Abbreviation, QStringLiteral("ARC"));
            typeInto(d->Number, QStringLiteral("5"));
            typeInto(d->id, QStringLiteral("9"));
            QTest::keyClick(d->id, Qt::Key_Return);
        });
        // Had the exit check put "ID" back, OK would have raised a conversion error.
        QCOMPARE(watch.shown, 0);
        QCOMPARE(army(1).currentSize + army(2).currentSize, 0);
    }

    void closingPutsPlaceholdersBack_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Cancel") << 0;
        QTest::newRow("Esc") << int(Qt::Key_Escape);
        QTest::newRow("OK") << int(Qt::Key_Return);
    }
    void closingPutsPlaceholdersBack() {
        QFETCH(int, key);
        if (key == Qt::Key_Return)
            closeWhenShown(QStringLiteral("Errorform"), QStringLiteral("BitBtn1"));
        fromMainMenu([&](TAddform1* d) {
            enterKind(d, QStringLiteral("mri"), QStringLiteral("1"), QStringLiteral("x"));
            typeInto(d->Fullname, QStringLiteral("Riders"));
            if (key == 0)
                QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
            else
                QTest::keyClick(d->Fullname, Qt::Key(key));
        });
        TAddform1* d = dialog();
        QStringList texts;
        for (Edit* e : {d->id, d->Abbreviation, d->Position, d->Fullname, d->Type, d->Number, d->Offense, d->Defense,
                        d->Rangedoff, d->Attacks, d->Hitpoints})
            texts << e->text();
        QCOMPARE(texts, QStringList({"ID", "Abb", "Battle Position", "Full Unit Name", "Type", "Number", "OFF", "DEF",
                                     "ROF", "ATT", "HIT"}));
        QCOMPARE(d->Addmes1->text(), QStringLiteral("Errors and messages appear here"));
        const Validity& v = d->validity();
        QVERIFY(!v.position && !v.type && !v.id && !v.number && !v.offense && !v.defense && !v.rangedoff &&
                !v.attacks && !v.hitpoints);
        QCOMPARE(army(1).currentSize, 0);
    }

    void fortyFirstKindIsRefused() {
        KindValues kind;
        kind.Fullname = "Pikemen";
        kind.Attacks = kind.Hitpoints = 1;
        for (int k = 0; k < Army::maxTypes; ++k)
            addKind(1, kind, 1);
        const QStringList before = Mainform->display(1).lines();
        QString seen;
        closeWhenShown(QStringLiteral("Errorform"), QStringLiteral("BitBtn1"), &seen);
        fromMainMenu([&](TAddform1* d) {
            enterKind(d, QStringLiteral("ARC"), QStringLiteral("1"), QStringLiteral("5"));
            clickOk(d);
        });
        QCOMPARE(firstLines(seen, 3), armyFull);
        QCOMPARE(army(1).currentSize, Army::maxTypes);
        QCOMPARE(army(1).kindCount(), Army::maxTypes);
        QCOMPARE(army(1).checkInvariants(), std::string());
        QCOMPARE(Mainform->display(1).lines(), before);
    }

private:
    using Validity = TAddform1::Validity;
};

QTEST_MAIN(AddformTest)
#include "ui_addform_test.moc"
