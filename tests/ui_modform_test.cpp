#include <QAbstractItemView>
#include <QLabel>

#include "UiTestSupport.h"

using namespace ui_test;

namespace {

struct KindSpec {
    const char* abbreviation;
    const char* fullname;
    const char* position;
    const char* type;
    double offense, defense, rangedoff;
    int attacks, hitpoints, number;
};

// Adds a kind as the add dialog does: the army grows and the kind's line is written.
int addKind(int player, const KindSpec& s) {
    KindValues v;
    v.Abbreviation = s.abbreviation;
    v.Fullname = s.fullname;
    v.Position = s.position;
    v.Type = s.type;
    v.Offense = s.offense;
    v.Defense = s.defense;
    v.Rangedoff = s.rangedoff;
    v.Attacks = s.attacks;
    v.Hitpoints = s.hitpoints;
    return ui_test::addKind(player, v, s.number);
}

const KindSpec Swordsmen{"SWO", "Swordsmen", "F", "O", 3, 2, 0, 1, 1, 10};
const KindSpec Archers{"ARC", "Archers", "R", "O", 1, 0, 2, 1, 1, 20};
const KindSpec Knights{"KNI", "Knights", "M", "O", 5, 4, 0, 2, 2, 5};
const KindSpec Pikemen{"PIK", "Pikemen", "F", "O", 2, 3, 0, 1, 1, 30};

Edit* field(const char* name) {
    return control<Edit>(Modform1, QString::fromLatin1(name));
}
QString message() {
    return Modform1->Modmes1->text();
}

// Counts the activations of a window.
class ActivationCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::WindowActivate)
            ++count;
        return false;
    }
};

// Runs body on the modify dialog opened by open(); the dialog is cancelled
// afterwards if body left it open (also when a check in body failed).
void withDialog(const std::function<void()>& open, const std::function<void()>& body) {
    static ActivationCounter* activations = [] {
        auto* counter = new ActivationCounter;
        Modform1->installEventFilter(counter);
        return counter;
    }();
    const int before = activations->count;
    bool ran = false;
    whenModal(QStringLiteral("Modform1"), [&](QWidget*) {
        ran = true;
        // Focus and exit events need this opening's activation, which the
        // platform delivers after the window shows (and after any activation
        // of another window still pending).
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT(activations->count > before && Modform1->isActiveWindow(), 10000);
            body();
        }();
        if (Modform1->isVisible())
            QTest::mouseClick(Modform1->BitBtn2, Qt::LeftButton);
    });
    open();
    QVERIFY2(ran, "the modify dialog never showed");
    QVERIFY(!Modform1->isVisible());
}

void fromPopup(int player, const std::function<void()>& body) {
    withDialog(
        [player] {
            if (player == 1) {
                Mainform->Unitmenu1Popup();
                Mainform->ModifyUnits1->trigger();
            } else {
                Mainform->Unitmenu2Popup();
                Mainform->ModifyUnits3->trigger();
            }
        },
        body);
}

void fromMainMenu(const std::function<void()>& body) {
    withDialog([] { Mainform->ModifyUnits2->trigger(); }, body);
}

// Opens the list with the mouse, moves to the entry and takes it with Enter.
void chooseEntry(int index) {
    QComboBox* list = Modform1->Abblist;
    QTest::mouseClick(list, Qt::LeftButton);
    QAbstractItemView* view = list->view();
    QTRY_VERIFY(view->isVisible());
    view->setCurrentIndex(list->model()->index(index, 0));
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_VERIFY(!view->isVisible());
}

void loadData() {
    QTest::mouseClick(Modform1->search, Qt::LeftButton);
}

// Leaves a field for the next one with Tab.
void leave(QWidget* w) {
    QTest::keyClick(w, Qt::Key_Tab);
}

QStringList listEntries() {
    QStringList entries;
    for (int i = 0; i < Modform1->Abblist->count(); ++i)
        entries << Modform1->Abblist->itemText(i);
    return entries;
}

QStringList expectedEntries(const QStringList& kinds) {
    QStringList entries = kinds;
    while (entries.size() < 30)
        entries << QString();
    return entries;
}

// Presses OK (with the mouse, or with Enter in a field); returns the first
// two lines of the error window (or the exception display's text) if one
// showed, which happens within the press.
QStringList pressOk(QWidget* enterIn = nullptr) {
    QString seen;
    bool shown = false;
    QTimer watcher;
    watcher.setInterval(5);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        QWidget* modal = activeModal();
        if (!shown && modal == Errorform && modal->isVisible()) {
            shown = true;
            seen = Errorform->Erroroutput->toPlainText();
            QTest::mouseClick(Errorform->BitBtn1, Qt::LeftButton);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal); box && box->objectName() == "ExceptionDisplay") {
            shown = true;  // a conversion error must never reach the user here
            seen = QStringLiteral("exception: ") + box->text();
            box->accept();
        }
    });
    watcher.start();
    if (enterIn)
        QTest::keyClick(enterIn, Qt::Key_Return);
    else
        QTest::mouseClick(Modform1->BitBtn1, Qt::LeftButton);
    watcher.stop();
    return shown ? seen.split(QLatin1Char('\n')).mid(0, 2) : QStringList();
}

const QStringList noChanges = {QStringLiteral("No valid data entered. As a result"),
                               QStringLiteral("no changes have been made to your army")};

QString unitFieldTexts() {
    QStringList t;
    for (const char* n :
         {"Fullname", "Position", "Type", "Number", "Offense", "Defense", "Rangedoff", "Attacks", "Hitpoints"})
        t << field(n)->text();
    return t.join(QLatin1Char('|'));
}

bool unitFieldsReadOnly() {
    for (const char* n :
         {"Fullname", "Position", "Type", "Number", "Offense", "Defense", "Rangedoff", "Attacks", "Hitpoints"})
        if (!field(n)->isReadOnly())
            return false;
    return true;
}

const QString placeholders = QStringLiteral("Full Unit Name|Position|Type|Number|OFF|DEF|ROF|ATT|HIT");

}  // namespace

class ModformTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { startProgram(); }
    void init() { clearArmies(); }

    void controlsAsLaidOut() {
        struct Expect {
            const char* name;
            const char* text;
            int limit;
            bool courier;
        };
        const Expect edits[] = {{"Id", "Number", 2, false},         {"Type", "Unit Type", 1, false},
                                {"Position", "Position", 1, false}, {"Fullname", "Full Unit Name", 30, false},
                                {"Number", "Number", 4, false},     {"Offense", "OFF", 3, true},
                                {"Defense", "DEF", 3, true},        {"Rangedoff", "ROF", 3, true},
                                {"Attacks", "ATT", 3, true},        {"Hitpoints", "HIT", 3, true}};
        // The first test runs before any opening: the texts are the window's own.
        for (const Expect& e : edits) {
            Edit* f = field(e.name);
            QCOMPARE(f->text(), QString::fromLatin1(e.text));
            QCOMPARE(f->typingLimit(), e.limit);
            QCOMPARE(f->isReadOnly(), QByteArray(e.name) != "Id");
            QCOMPARE(f->font().family() == QStringLiteral("Courier New"), e.courier);
        }
        QCOMPARE(Modform1->windowTitle(), QStringLiteral("Unit Modification Form"));
        QCOMPARE(Modform1->size(), QSize(405, 418));
        QCOMPARE(control<QLabel>(Modform1, "modtitle1")->text(), QStringLiteral("Unit Modification"));
        QCOMPARE(control<QLabel>(Modform1, "id1s")->text(), QStringLiteral("Wizard Number:"));
        QCOMPARE(control<QLabel>(Modform1, "abbs")->text(), QStringLiteral("Unit Abbreviation:"));
        QCOMPARE(control<QPushButton>(Modform1, "search")->text(), QStringLiteral("Load Data"));
        QCOMPARE(Modform1->Abblist->placeholderText(), QStringLiteral("Abbreviation"));
        QVERIFY(!Modform1->Abblist->isEditable());
        QCOMPARE(Modform1->Abblist->currentText(), QString());
        QCOMPARE(message(), QStringLiteral("Errors and messages appear here"));
        QCOMPARE(Modform1->Modmes1->font().pixelSize(), 17);
        QVERIFY(Modform1->BitBtn1->isDefault());
        QCOMPARE(Modform1->modhelp->toPlainText().split(QLatin1Char('\n')).value(2),
                 QStringLiteral("its data, and press \"ok\". "));
        // Nothing sticks out of the window.
        for (QWidget* w : Modform1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(Modform1->rect().contains(w->geometry()), qPrintable(w->objectName()));
    }

    void tabOrderFromMainMenuAndPopup() {
        const QStringList fromMenu = {"search",    "Type",    "Position",  "Fullname", "Number",  "Offense", "Defense",
                                      "Rangedoff", "Attacks", "Hitpoints", "BitBtn1",  "BitBtn2", "Abblist"};
        QStringList seen;
        fromMainMenu([&] {
            QTRY_COMPARE(QApplication::focusWidget(), Modform1->Id);
            for (int i = 0; i < fromMenu.size(); ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                seen << QApplication::focusWidget()->objectName();
            }
        });
        QCOMPARE(seen, fromMenu);

        // From a pop-up menu the number field sits at 20: after Cancel, before the list.
        QStringList fromPopupOrder = fromMenu;
        fromPopupOrder.insert(fromPopupOrder.indexOf("Abblist"), "Id");
        fromPopupOrder.removeFirst();
        seen.clear();
        fromPopup(1, [&] {
            QTRY_COMPARE(QApplication::focusWidget(), Modform1->search);
            for (int i = 0; i < fromPopupOrder.size(); ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                seen << QApplication::focusWidget()->objectName();
            }
        });
        QCOMPARE(seen, fromPopupOrder);
    }

    void numberRaisedOrLowered_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("units");
        QTest::newRow("10 to 12 in a full array") << "12" << 12;
        QTest::newRow("10 to 3") << "3" << 3;
    }
    void numberRaisedOrLowered() {
        QFETCH(QString, typed);
        QFETCH(int, units);
        addKind(1, Pikemen);
        KindSpec filler = Archers;
        filler.number = 60;
        addKind(1, filler);
        const int k = addKind(1, Swordsmen);
        const Army& army = armyOf(1);
        QCOMPARE(army.currentSize, army.maxSize);  // no room: raising must grow the array
        fromPopup(1, [&] {
            chooseEntry(k);
            loadData();
            QCOMPARE(message(), QStringLiteral("Unit found"));
            typeInto(field("Number"), typed);
            QCOMPARE(message(), QStringLiteral("Legal Number entered"));
            QCOMPARE(Modform1->numberChange, units - 10);
            QCOMPARE(pressOk(), QStringList());
        });
        QCOMPARE(army.currentSize, 90 + units);
        QCOMPARE(army.unittypes[k].Number, units);
        QCOMPARE(QString::fromStdString(army.checkInvariants()), QString());
        QCOMPARE(Mainform->display(1).line(k + 1), QStringLiteral("Swordsmen : %1  (O:3 D:2 R:0 A:1 H:1)").arg(units));
        QCOMPARE(Mainform->display(1).line(1), QStringLiteral("Pikemen : 30  (O:2 D:3 R:0 A:1 H:1)"));
    }

    void fieldChecks_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("afterLeaving");
        QTest::newRow("number 0") << "Number"
                                  << "0"
                                  << "Illegal Number entered"
                                  << "10";
        QTest::newRow("number 15") << "Number"
                                   << "15"
                                   << "Legal Number entered"
                                   << "15";
        QTest::newRow("type H") << "Type"
                                << "H"
                                << "Legal Unit type entered"
                                << "H";
        QTest::newRow("type o") << "Type"
                                << "o"
                                << "Illegal Unit type entered"
                                << "O";
        QTest::newRow("position B") << "Position"
                                    << "B"
                                    << "Legal Battle Position entered"
                                    << "B";
        QTest::newRow("position f") << "Position"
                                    << "f"
                                    << "Illegal Battle Position entered"
                                    << "F";
        QTest::newRow("name of four spaces") << "Fullname"
                                             << "    "
                                             << "Legal Unit name entered"
                                             << "    ";
        QTest::newRow("name of three spaces") << "Fullname"
                                              << "   "
                                              << "Illegal Unit name entered"
                                              << "Swordsmen";
        QTest::newRow("empty name") << "Fullname"
                                    << ""
                                    << "Illegal Unit name entered"
                                    << "Swordsmen";
        QTest::newRow("offense 0") << "Offense"
                                   << "0"
                                   << "Legal Offense value entered"
                                   << "0";
        QTest::newRow("defense x") << "Defense"
                                   << "x"
                                   << "Illegal Defense value entered"
                                   << "2";
        QTest::newRow("ranged -1") << "Rangedoff"
                                   << "-1"
                                   << "Illegal Ranged Offense value entered"
                                   << "0";
        QTest::newRow("attacks 0") << "Attacks"
                                   << "0"
                                   << "Illegal Attacks value entered"
                                   << "1";
        QTest::newRow("hit points 0") << "Hitpoints"
                                      << "0"
                                      << "Illegal Hitpoints value entered"
                                      << "1";
        QTest::newRow("hit points 12") << "Hitpoints"
                                       << "12"
                                       << "Legal Hitpoints value entered"
                                       << "12";
    }
    void fieldChecks() {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, afterLeaving);
        addKind(1, Swordsmen);
        fromPopup(1, [&] {
            chooseEntry(0);
            loadData();
            Edit* f = control<Edit>(Modform1, name);
            QVERIFY(!f->isReadOnly());
            typeInto(f, typed);
            QCOMPARE(f->text(), typed);
            QCOMPARE(message(), shown);
            leave(f);
            QCOMPARE(f->text(), afterLeaving);
            QCOMPARE(message(), QString());
        });
        // Cancel applied nothing.
        QCOMPARE(armyOf(1).unittypes[0].Number, 10);
        QCOMPARE(armyOf(1).unittypes[0].Fullname, std::string("Swordsmen"));
    }

    void promptsOnlyWhileEditable() {
        addKind(1, Swordsmen);
        fromPopup(1, [&] {
            QTest::mouseClick(field("Attacks"), Qt::LeftButton);
            QCOMPARE(message(), QStringLiteral("Errors and messages appear here"));  // read-only: no prompt
            QTest::mouseClick(Modform1->Id, Qt::LeftButton);
            QCOMPARE(message(), QStringLiteral("Please change the wizard number"));
            chooseEntry(0);
            loadData();
            QTest::mouseClick(field("Type"), Qt::LeftButton);
            QCOMPARE(message(), QStringLiteral("Please type the new Unit type (O, S or U)"));
            QTest::mouseClick(field("Position"), Qt::LeftButton);
            QCOMPARE(message(), QStringLiteral("Please type the new battle position (B, M, R, G, F)"));
            QTest::mouseClick(field("Rangedoff"), Qt::LeftButton);
            QCOMPARE(message(), QStringLiteral("Please type the new Ranged Offense value here"));
        });
    }

    void illegalNumberLeftRestoresLoadedNumber() {
        addKind(1, Swordsmen);
        fromPopup(1, [&] {
            chooseEntry(0);
            loadData();
            typeInto(field("Number"), "15");
            QCOMPARE(Modform1->numberChange, 5);
            QTest::keyClicks(field("Number"), "x");
            QCOMPARE(field("Number")->text(), QStringLiteral("15x"));
            QCOMPARE(message(), QStringLiteral("Illegal Number entered"));
            leave(field("Number"));
            QCOMPARE(field("Number")->text(), QStringLiteral("10"));
            QCOMPARE(Modform1->numberChange, 0);
            typeInto(field("Offense"), "7");
            QCOMPARE(pressOk(), QStringList());
        });
        const Unittype& kind = armyOf(1).unittypes[0];
        QCOMPARE(kind.Number, 10);
        QCOMPARE(kind.Offense, 7.0);
        QCOMPARE(armyOf(1).currentSize, 10);
        QCOMPARE(Mainform->display(1).line(1), QStringLiteral("Swordsmen : 10  (O:7 D:2 R:0 A:1 H:1)"));
    }

    // OK pressed with Enter while a field still holds a refused text: nothing
    // of the kind changes, not even the fields that were legal.
    void enterWithRefusedFieldAppliesNothing_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::newRow("attacks 0") << "Attacks"
                                   << "0";
        QTest::newRow("hit points 0") << "Hitpoints"
                                      << "0";
        QTest::newRow("number 0") << "Number"
                                  << "0";
        QTest::newRow("number 15x") << "Number"
                                    << "15x";
        QTest::newRow("type o") << "Type"
                                << "o";
        QTest::newRow("name of three spaces") << "Fullname"
                                              << "   ";
        QTest::newRow("offense x") << "Offense"
                                   << "x";
    }
    void enterWithRefusedFieldAppliesNothing() {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        addKind(2, Archers);
        const int k = addKind(2, Swordsmen);
        const QString line = Mainform->display(2).line(k + 1);
        QStringList shown;
        fromPopup(2, [&] {
            chooseEntry(k);
            loadData();
            if (name != QLatin1String("Number"))
                typeInto(field("Number"), "15");  // a legal change that must not be applied alone
            typeInto(field("Defense"), "9");
            typeInto(control<Edit>(Modform1, name), typed);
            shown = pressOk(control<Edit>(Modform1, name));
        });
        QCOMPARE(shown, noChanges);
        const Army& army = armyOf(2);
        QCOMPARE(army.unittypes[k].Number, 10);
        QCOMPARE(army.unittypes[k].Defense, 2.0);
        QCOMPARE(army.unittypes[k].Attacks, 1);
        QCOMPARE(army.unittypes[k].Hitpoints, 1);
        QCOMPARE(army.currentSize, 30);
        QCOMPARE(QString::fromStdString(army.checkInvariants()), QString());
        QCOMPARE(Mainform->display(2).line(k + 1), line);
    }

    void enterWithLegalFieldsApplies() {
        addKind(2, Swordsmen);
        fromPopup(2, [&] {
            chooseEntry(0);
            loadData();
            typeInto(field("Hitpoints"), "4");
            QCOMPARE(pressOk(field("Hitpoints")), QStringList());
        });
        QCOMPARE(armyOf(2).unittypes[0].Hitpoints, 4);
        QCOMPARE(Mainform->display(2).line(1), QStringLiteral("Swordsmen : 10  (O:3 D:2 R:0 A:1 H:4)"));
    }

    void sameAbbreviationTwiceChangesOnlyTheChosenKind() {
        addKind(1, Swordsmen);
        KindSpec second = Swordsmen;
        second.fullname = "Veteran Swordsmen";
        second.offense = 6;
        second.number = 4;
        addKind(1, second);
        fromPopup(1, [&] {
            QCOMPARE(listEntries(), expectedEntries({"SWO", "SWO"}));
            chooseEntry(1);
            loadData();
            QCOMPARE(unitFieldTexts(), QStringLiteral("Veteran Swordsmen|F|O|4|6|2|0|1|1"));
            typeInto(field("Number"), "8");
            QCOMPARE(pressOk(), QStringList());
        });
        const Army& army = armyOf(1);
        QCOMPARE(army.unittypes[0].Number, 10);
        QCOMPARE(army.unittypes[1].Number, 8);
        QCOMPARE(army.currentSize, 18);
        QCOMPARE(Mainform->display(1).line(1), QStringLiteral("Swordsmen : 10  (O:3 D:2 R:0 A:1 H:1)"));
        QCOMPARE(Mainform->display(1).line(2), QStringLiteral("Veteran Swordsmen : 8  (O:6 D:2 R:0 A:1 H:1)"));
    }

    void okWithoutLoadChangesNothing() {
        addKind(1, Swordsmen);
        QStringList shown;
        fromPopup(1, [&] {
            chooseEntry(0);
            shown = pressOk();
        });
        QCOMPARE(shown, noChanges);
        QCOMPARE(armyOf(1).unittypes[0].Number, 10);
        QCOMPARE(Mainform->display(1).line(1), QStringLiteral("Swordsmen : 10  (O:3 D:2 R:0 A:1 H:1)"));
    }

    void popupNamesThePlayerAndIdSwitchesTheList() {
        addKind(1, Swordsmen);
        addKind(1, Knights);
        addKind(2, Archers);
        addKind(2, Pikemen);
        addKind(2, Knights);
        fromPopup(2, [&] {
            QCOMPARE(Modform1->Id->text(), QStringLiteral("2"));
            QVERIFY(Modform1->legalId);
            QCOMPARE(listEntries(), expectedEntries({"ARC", "PIK", "KNI"}));
            chooseEntry(1);
            loadData();
            QVERIFY(!unitFieldsReadOnly());

            typeInto(Modform1->Id, "1");
            QCOMPARE(message(), QStringLiteral("Legal wizard number entered"));
            QCOMPARE(listEntries(), expectedEntries({"SWO", "KNI"}));
            QCOMPARE(unitFieldTexts(), placeholders);
            QVERIFY(unitFieldsReadOnly());
            QVERIFY(!Modform1->dataLoaded);

            // "01" is player 1 as a number but names no player as text.
            typeInto(Modform1->Id, "01");
            QCOMPARE(message(), QStringLiteral("Illegal wizard number entered"));
            QVERIFY(!Modform1->legalId);
            QCOMPARE(listEntries(), expectedEntries({}));
            leave(Modform1->Id);
            QCOMPARE(Modform1->Id->text(), QStringLiteral("0"));
            QCOMPARE(message(), QString());
            loadData();
            QCOMPARE(message(), QStringLiteral("No legal player number entered yet"));
        });
        // Closing resets the dialog for the next opening.
        QCOMPARE(Modform1->Id->text(), QStringLiteral("Number"));
        QVERIFY(!Modform1->legalId);
        QCOMPARE(unitFieldTexts(), placeholders);
        QVERIFY(unitFieldsReadOnly());
    }

    void mainMenuWithoutNumberRefusesToLoad() {
        addKind(1, Swordsmen);
        fromMainMenu([&] {
            QCOMPARE(message(), QStringLiteral("Errors and messages appear here"));
            QCOMPARE(listEntries(), expectedEntries({}));
            chooseEntry(0);  // leaves the number field: "Number" names nobody
            QCOMPARE(Modform1->Id->text(), QStringLiteral("0"));
            loadData();
            QCOMPARE(message(), QStringLiteral("No legal player number entered yet"));
            typeInto(Modform1->Id, "1");
            QCOMPARE(listEntries(), expectedEntries({"SWO"}));
            loadData();  // the entry taken from the empty list still counts
            QCOMPARE(message(), QStringLiteral("Unit not found"));
            chooseEntry(0);
            loadData();
            QCOMPARE(message(), QStringLiteral("Unit found"));
            QCOMPARE(unitFieldTexts(), QStringLiteral("Swordsmen|F|O|10|3|2|0|1|1"));
        });
    }

    void lastChosenEntryOutlivesTheOpening() {
        addKind(1, Swordsmen);
        addKind(1, Knights);
        addKind(2, Archers);
        addKind(2, Knights);
        fromPopup(2, [&] { chooseEntry(1); });
        fromPopup(2, [&] {
            QCOMPARE(Modform1->Abblist->currentText(), QStringLiteral("KNI"));
            loadData();
            QCOMPARE(message(), QStringLiteral("Unit found"));
            QCOMPARE(armyOf(2).units[Modform1->foundIndex].Typeindex, 1);
        });
        // Player 1 also has KNI at entry 1: the same entry loads there.
        fromPopup(1, [&] {
            loadData();
            QCOMPARE(message(), QStringLiteral("Unit found"));
            QCOMPARE(field("Number")->text(), QStringLiteral("5"));
        });
        changePlayers([](Players& p) { p.army(1).unittypes[1].Abbreviation = "CAV"; });
        fromPopup(1, [&] {
            QCOMPARE(Modform1->Abblist->currentText(), QString());
            loadData();
            QCOMPARE(message(), QStringLiteral("Unit not found"));
            QCOMPARE(unitFieldTexts(), placeholders);
        });
    }

    void freshArmyListsEmptyEntries() {
        fromPopup(1, [&] {
            QCOMPARE(listEntries(), expectedEntries({}));
            chooseEntry(3);
            loadData();
            QCOMPARE(message(), QStringLiteral("Unit not found"));
            QVERIFY(unitFieldsReadOnly());
            QVERIFY(!Modform1->dataLoaded);
            QCOMPARE(pressOk(), noChanges);
        });
        QCOMPARE(armyOf(1).currentSize, 0);
        QCOMPARE(QString::fromStdString(armyOf(1).checkInvariants()), QString());
    }

    void frontToBackMovesTheUnitsBack() {
        addKind(1, Swordsmen);
        addKind(1, Archers);
        fromPopup(1, [&] {
            chooseEntry(0);
            loadData();
            typeInto(field("Position"), "B");
            QCOMPARE(pressOk(), QStringList());
        });
        const Army& army = armyOf(1);
        QCOMPARE(QString::fromStdString(army.checkInvariants()), QString());
        QCOMPARE(army.NumberB, 10);
        for (int i = 0; i < army.currentSize; ++i)
            QCOMPARE(army.units[i].Typeindex, i < 20 ? 1 : 0);
        QCOMPARE(Mainform->display(1).line(1), QStringLiteral("Swordsmen : 10  (O:3 D:2 R:0 A:1 H:1)"));
    }

    // Three kinds for player 2, the second changed three times through the
    // dialog opened from player 2's pop-up menu; each change reaches the
    // army, its display line and the next battle report.
    void journey() {
        addKind(1, Pikemen);
        addKind(2, Archers);
        const int k = addKind(2, Swordsmen);
        addKind(2, Knights);
        const Army& army = armyOf(2);

        auto change = [&](const char* name, const QString& text) {
            fromPopup(2, [&] {
                QCOMPARE(listEntries(), expectedEntries({"ARC", "SWO", "KNI"}));
                chooseEntry(k);
                loadData();
                QCOMPARE(message(), QStringLiteral("Unit found"));
                typeInto(field(name), text);
                QCOMPARE(pressOk(), QStringList());
            });
            QCOMPARE(QString::fromStdString(army.checkInvariants()), QString());
        };
        // The kind's line in player 2's column of a fresh battle report.
        QString reportLine;
        auto report = [&] {
            Mainform->calculateClick();
            QTRY_VERIFY(Battleform->isVisible());
            reportLine = Battleform->column(1).line(4 + k);
            Battleform->close();
            QCOMPARE(QString::fromStdString(army.checkInvariants()), QString());
        };

        change("Number", "12");
        QCOMPARE(army.currentSize, 20 + 12 + 5);
        QCOMPARE(Mainform->display(2).line(k + 1), QStringLiteral("Swordsmen : 12  (O:3 D:2 R:0 A:1 H:1)"));
        report();
        QCOMPARE(reportLine, QStringLiteral("Swordsmen      :     12"));

        change("Number", "3");
        QCOMPARE(army.currentSize, 20 + 3 + 5);
        QCOMPARE(Mainform->display(2).line(k + 1), QStringLiteral("Swordsmen : 3  (O:3 D:2 R:0 A:1 H:1)"));
        report();
        QCOMPARE(reportLine, QStringLiteral("Swordsmen      :     3"));

        change("Position", "B");
        QCOMPARE(army.unittypes[k].Position, std::string("B"));
        QCOMPARE(army.NumberB, 3);
        for (int i = army.currentSize - 3; i < army.currentSize; ++i)
            QCOMPARE(army.units[i].Typeindex, k);
        QCOMPARE(Mainform->display(2).line(k + 1), QStringLiteral("Swordsmen : 3  (O:3 D:2 R:0 A:1 H:1)"));
        report();
        QCOMPARE(reportLine, QStringLiteral("Swordsmen      :     3"));
        QCOMPARE(Mainform->display(2).line(1), QStringLiteral("Archers : 20  (O:1 D:0 R:2 A:1 H:1)"));
        QCOMPARE(Mainform->display(2).line(3), QStringLiteral("Knights : 5  (O:5 D:4 R:0 A:2 H:2)"));
    }
};

QTEST_MAIN(ModformTest)
#include "ui_modform_test.moc"
