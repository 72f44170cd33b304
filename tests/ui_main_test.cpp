#include <QAction>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTextBrowser>

#include "UiTestSupport.h"
#include "ui/Errors.h"

using namespace ui_test;

namespace {

void fillArmy(int player) {
    addKind(player, kind("Archers", "R", 1, 0, 2, 1, 1), 20);
    addKind(player, kind("Knights", "M", 4, 4, 0, 1, 2), 10);
}

// What the error window showed: the message and the empty lines below it.
QString errorText(const QString& message) {
    return message + QString(16, QLatin1Char('\n'));
}

// The lines of one column of the results window from "UNITS LEFT:" on.
QStringList unitsLeft(int column) {
    const QStringList& lines = Battleform->column(column).lines();
    const int at = static_cast<int>(lines.lastIndexOf(QStringLiteral("UNITS LEFT:")));
    return at < 0 ? QStringList() : lines.mid(at + 1);
}

int introShows = 0;

class IntroShowCounter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->objectName() == QStringLiteral("Introform"))
            ++introShows;
        return false;
    }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qApp->installEventFilter(new IntroShowCounter(qApp));
        startProgram();
    }

    void init() { clearArmies(); }

    void cleanup() {
        Battleform->hide();
        Mainform->Unitmenu1->hide();
        Mainform->Unitmenu2->hide();
        setNumber(1, QStringLiteral("1"));
        setNumber(2, QStringLiteral("2"));
        QVERIFY(!activeModal());
    }

    void windowAndControls() {
        QCOMPARE(Mainform->windowTitle(), QStringLiteral("Orb 2.0 Battle Simulator Version 1.0"));
        QCOMPARE(Mainform->size(), QSize(729, 521));
        QCOMPARE(Mainform->title->text(), QStringLiteral("Orb 2.0 Battle Simulator"));
        QCOMPARE(Mainform->army1->text(), QStringLiteral("Army - Player: "));
        QCOMPARE(Mainform->wizardno1->text(), QStringLiteral("1"));
        QCOMPARE(Mainform->wizardno2->text(), QStringLiteral("2"));
        QCOMPARE(Mainform->name1->text(), QStringLiteral("Nameless 1"));
        QCOMPARE(Mainform->name2->text(), QStringLiteral("Nameless 2"));
        QCOMPARE(Mainform->wizard2->text(), QStringLiteral("Wizard Name:"));
        QCOMPARE(Mainform->Simulation->text(), QStringLiteral("Simulate Battle"));
        QCOMPARE(Mainform->calculate->text(), QStringLiteral("Create Battle Report"));
        QVERIFY(Mainform->Armydisplay1->isReadOnly());
        QCOMPARE(Mainform->Armydisplay1->focusPolicy(), Qt::NoFocus);

        QStringList menus;
        for (QAction* a : Mainform->menuBar()->actions()) {
            QStringList items;
            for (QAction* item : a->menu()->actions())
                if (!item->isSeparator())
                    items << item->text();
            menus << a->text() + ": " + items.join(QStringLiteral(", "));
        }
        // The File menu comes first, then Tools and Help; the others between them unchanged.
        QCOMPARE(menus, QStringList({QStringLiteral("File: Open Armies..., Open Recent, Save Armies..., Exit"),
                                     QStringLiteral("General Options: Modify Army Info, Change General Options"),
                                     QStringLiteral("Unit Options: Add Units, Remove Units, Modify Units"),
                                     QStringLiteral("Hero Options: Add Heroes, Modify Heroes, Remove Heroes, "
                                                    "Transfer Units to Heroes, Transfer Units from Heroes"),
                                     QStringLiteral("Tools: Find the Force Needed..."),
                                     QStringLiteral("Help: How to Play..., About Orb Battle Simulator")}));
        for (QMenu* popup : {Mainform->Unitmenu1, Mainform->Unitmenu2}) {
            QStringList items;
            for (QAction* item : popup->actions())
                items << item->text();
            QCOMPARE(items, QStringList({QStringLiteral("Add Units"), QStringLiteral("Remove Units"),
                                         QStringLiteral("Modify Units")}));
        }
    }

    // A fresh display: the header over one empty line for every kind an army can hold.
    void freshDisplays() {
        for (int player : {1, 2}) {
            MemoBoard& board = Mainform->display(player);
            QCOMPARE(board.count(), 1 + Army::maxTypes);
            QCOMPARE(board.line(0), QStringLiteral("ARMY DISPLAY OF PLAYER %1:").arg(player));
            QCOMPARE(board.widget()->toPlainText(), QStringLiteral("ARMY DISPLAY OF PLAYER %1:").arg(player) +
                                                        QString(Army::maxTypes, QLatin1Char('\n')));
        }
    }

    // The last kind an army can hold still gets its line.
    void everyKindHasADisplayLine() {
        for (int k = 0; k < Army::maxTypes; ++k)
            addKind(1, kind("Kind" + std::to_string(k), "F", 1, 1, 0, 1, 1), 1);
        QCOMPARE(Mainform->display(1).line(Army::maxTypes), QStringLiteral("Kind39 : 1  (O:1 D:1 R:0 A:1 H:1)"));
    }

    void guards_data() {
        QTest::addColumn<bool>("simulate");
        QTest::addColumn<bool>("army1");
        QTest::addColumn<bool>("army2");
        QTest::addColumn<QString>("message");
        const QString battle1 = QStringLiteral("Player 1 does not have an army yet. No battle could take place");
        const QString battle2 = QStringLiteral("Player 2 does not have an army yet. No battle could take place");
        const QString sim1 =
            QStringLiteral("Player 1 does not have an army yet. As a result no simulation can be run.");
        const QString sim2 =
            QStringLiteral("Player 2 does not have an army yet. As a result no simulation can be run.");
        QTest::newRow("report, both empty") << false << false << false << battle1;
        QTest::newRow("report, player 1 empty") << false << false << true << battle1;
        QTest::newRow("report, player 2 empty") << false << true << false << battle2;
        QTest::newRow("simulate, both empty") << true << false << false << sim1;
        QTest::newRow("simulate, player 1 empty") << true << false << true << sim1;
        QTest::newRow("simulate, player 2 empty") << true << true << false << sim2;
    }
    // A refused command says why, alone in the error window, and changes nothing.
    void guards() {
        QFETCH(bool, simulate);
        QFETCH(bool, army1);
        QFETCH(bool, army2);
        QFETCH(QString, message);
        if (army1)
            fillArmy(1);
        if (army2)
            fillArmy(2);
        const QString display1 = Mainform->Armydisplay1->toPlainText();
        const QString display2 = Mainform->Armydisplay2->toPlainText();
        const int size1 = armyOf(1).currentSize;
        const int size2 = armyOf(2).currentSize;
        const QStringList report = Battleform->column(0).lines();

        QString seen;
        closeWhenShown(QStringLiteral("Errorform"), QStringLiteral("BitBtn1"), &seen);
        QTest::mouseClick(simulate ? Mainform->Simulation : Mainform->calculate, Qt::LeftButton);
        QTRY_VERIFY(!seen.isEmpty());
        QCOMPARE(seen, errorText(message));
        QTRY_VERIFY(!Errorform->isVisible());
        QVERIFY(!Battleform->isVisible());
        QVERIFY(!Batsim->isVisible());
        QCOMPARE(armyOf(1).currentSize, size1);
        QCOMPARE(armyOf(2).currentSize, size2);
        QCOMPARE(armyOf(1).checkInvariants(), std::string());
        QCOMPARE(armyOf(2).checkInvariants(), std::string());
        QCOMPARE(Mainform->Armydisplay1->toPlainText(), display1);
        QCOMPARE(Mainform->Armydisplay2->toPlainText(), display2);
        QCOMPARE(Battleform->column(0).lines(), report);
    }

    void notImplemented_data() {
        QTest::addColumn<QString>("item");
        for (const char* item : {"SetGeneralOptions1", "Addheroes1", "ModifyHeroes1", "RemoveHeroes1",
                                 "TransferUnitstoHeroes1", "TransferUnitsfromHeroes1"})
            QTest::newRow(item) << QString::fromLatin1(item);
    }
    void notImplemented() {
        QFETCH(QString, item);
        auto* action = Mainform->findChild<QAction*>(item);
        QVERIFY(action);
        QString seen;
        closeWhenShown(QStringLiteral("Errorform"), QStringLiteral("BitBtn1"), &seen);
        action->trigger();
        QCOMPARE(seen, errorText(QStringLiteral(
                           "This function has not been implemented in this version of the battle simulator")));
        QVERIFY(!Errorform->isVisible());
    }

    // After a three-line message, a one-line message stands alone.
    void errorWindowClearsOnClose() {
        closeWhenShown(QStringLiteral("Errorform"), QStringLiteral("BitBtn1"));
        ShowError({QStringLiteral("Not all data have been inserted corretly."),
                   QStringLiteral("As a result, no units have been added to"), QStringLiteral("your army.")});
        for (int i = 0; i < 17; ++i)
            QCOMPARE(Errorform->board().line(i), QString());
        QCOMPARE(Errorform->board().count(), 17);
        QString seen;
        closeWhenShown(QStringLiteral("Errorform"), QStringLiteral("BitBtn1"), &seen);
        QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
        QCOMPARE(seen, errorText(QStringLiteral("Player 1 does not have an army yet. No battle could take place")));
    }

    // Right-clicking a display prepares the three unit dialogs for that
    // panel's player, whatever number it has now.
    void popupPreparesDialogs_data() {
        QTest::addColumn<int>("player");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("lower display, add") << 2 << "7"
                                            << "AddUnits3"
                                            << "Addform1";
        QTest::newRow("lower display, remove") << 2 << "7"
                                               << "RemoveUnits3"
                                               << "Remform1";
        QTest::newRow("lower display, modify") << 2 << "7"
                                               << "ModifyUnits3"
                                               << "Modform1";
        QTest::newRow("upper display, add") << 1 << "1"
                                            << "AddUnits1"
                                            << "Addform1";
        QTest::newRow("upper display, remove") << 1 << "4"
                                               << "RemoveUnits1"
                                               << "Remform1";
        QTest::newRow("upper display, modify") << 1 << "1"
                                               << "ModifyUnits1"
                                               << "Modform1";
    }
    void popupPreparesDialogs() {
        QFETCH(int, player);
        QFETCH(QString, number);
        QFETCH(QString, item);
        QFETCH(QString, dialog);
        QLineEdit* wizardno = player == 1 ? Mainform->wizardno1 : Mainform->wizardno2;
        const QString oldNumber = wizardno->text();
        wizardno->setText(number);
        QPlainTextEdit* display = player == 1 ? Mainform->Armydisplay1 : Mainform->Armydisplay2;
        QMenu* menu = player == 1 ? Mainform->Unitmenu1 : Mainform->Unitmenu2;

        // The right button's press, and the context-menu request the
        // platform makes of it.
        const QPoint at(40, 30);
        QTest::mouseClick(display->viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent request(QContextMenuEvent::Mouse, at, display->viewport()->mapToGlobal(at));
        QApplication::sendEvent(display->viewport(), &request);
        QTRY_VERIFY(menu->isVisible());
        const std::pair<Form*, QWidget*> fields[] = {
            {Addform1, Addform1->id}, {Modform1, Modform1->Id}, {Remform1, Remform1->Id}};
        for (const auto& [form, field] : fields) {
            QCOMPARE(static_cast<QLineEdit*>(field)->text(), number);
            QCOMPARE(form->tabOrder().position(field), std::min(20, form->tabOrder().size() - 1));
        }

        QString idShown;
        bool modal = false;
        whenModal(dialog, [&](QWidget* w) {
            modal = w->isModal();
            idShown = control<QLineEdit>(
                          w, dialog == QStringLiteral("Addform1") ? QStringLiteral("id") : QStringLiteral("Id"))
                          ->text();
            qobject_cast<QDialog*>(w)->reject();
        });
        auto* action = menu->findChild<QAction*>(item);
        if (!action)
            action = Mainform->findChild<QAction*>(item);
        QVERIFY(action);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        QTRY_VERIFY(modal);
        QCOMPARE(idShown, number);
        QTRY_VERIFY(!menu->isVisible());
        wizardno->setText(oldNumber);
    }

    // The main menu's unit items put the player-number field at position 1.
    void mainMenuMovesIdField_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("add") << "AddUnits2"
                             << "Addform1";
        QTest::newRow("remove") << "RemoveUnits2"
                                << "Remform1";
        QTest::newRow("modify") << "ModifyUnits2"
                                << "Modform1";
    }
    void mainMenuMovesIdField() {
        QFETCH(QString, item);
        QFETCH(QString, dialog);
        // First somewhere else, as a pop-up menu leaves it.
        Mainform->Unitmenu2Popup();
        int position = -1;
        whenModal(dialog, [&](QWidget* w) {
            auto* form = static_cast<Form*>(w);
            QWidget* field = control<QLineEdit>(
                w, dialog == QStringLiteral("Addform1") ? QStringLiteral("id") : QStringLiteral("Id"));
            position = form->tabOrder().position(field);
            form->reject();
        });
        Mainform->findChild<QAction*>(item)->trigger();
        QCOMPARE(position, 1);
    }

    void modifyArmyInfoOpensItsDialog() {
        bool shown = false;
        whenModal(QStringLiteral("Armymodify"), [&](QWidget* w) {
            shown = true;
            qobject_cast<QDialog*>(w)->reject();
        });
        Mainform->ModifyGeneralInfo1->trigger();
        QVERIFY(shown);
    }

    // The report window stays open without blocking, and a second report is
    // written into the same window.
    void secondReportRewritesOpenWindow() {
        fillArmy(1);
        fillArmy(2);
        QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
        QTRY_VERIFY(Battleform->isVisible());
        QVERIFY(!Battleform->isModal());
        QVERIFY(!activeModal());
        QCOMPARE(Battleform->column(0).line(0), QStringLiteral("BATLLE:   SIDE I"));
        QCOMPARE(Battleform->column(1).line(1), QStringLiteral("Wizard 2 : Nameless 2"));
        QCOMPARE(Battleform->Results1->toPlainText().section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("BATLLE:   SIDE I"));

        setName(2, QStringLiteral("Merlin"));
        QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
        QVERIFY(Battleform->isVisible());
        QCOMPARE(Battleform->column(1).line(1), QStringLiteral("Wizard 2 : Merlin"));
        QCOMPARE(Battleform->Results2->toPlainText().section(QLatin1Char('\n'), 1, 1),
                 QStringLiteral("Wizard 2 : Merlin"));
        QCOMPARE(QApplication::topLevelWidgets().count(Battleform), 1);
        setName(2, QStringLiteral("Nameless 2"));
        // The armies are whole again after the battles.
        QCOMPARE(armyOf(1).currentSize, 30);
        QCOMPARE(armyOf(1).checkInvariants(), std::string());
        QCOMPARE(armyOf(2).checkInvariants(), std::string());
    }

    // An army of back-line units only is in the fighting line from the start.
    void backLineArmyFights() {
        addKind(1, kind("Guards", "B", 10, 10, 0, 1, 5), 10);
        addKind(2, kind("Peasants", "F", 1, 1, 0, 1, 1), 5);
        QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
        QTRY_VERIFY(Battleform->isVisible());
        QCOMPARE(armyOf(1).Bexposed, 1);
        QCOMPARE(armyOf(2).unittypes[0].LastCasualties, 5);
        QCOMPARE(unitsLeft(1).value(0), QStringLiteral("Peasants    :     0"));
        QVERIFY(unitsLeft(0).value(0).startsWith(QStringLiteral("Guards    :     ")));
        QVERIFY(armyOf(1).unittypes[0].LastCasualties < 10);
    }

    // A report longer than the prepared lines keeps its end.
    void longReportKeepsUnitsLeft() {
        for (const char* name : {"Turtles", "Snails", "Sloths"})
            addKind(1, kind(name, "F", 0, 10, 0, 1, 10), 1);
        for (const char* name : {"Rocks", "Stones"})
            addKind(2, kind(name, "F", 0, 10, 0, 1, 10), 1);
        QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
        QTRY_VERIFY(Battleform->isVisible());
        QVERIFY2(Battleform->column(0).count() > 300, "the battle was not long enough to test this");
        QCOMPARE(unitsLeft(0).size(), 3);
        QVERIFY(unitsLeft(0).value(2).startsWith(QStringLiteral("Sloths    :     ")));
        QCOMPARE(unitsLeft(1).size(), 2);
        QVERIFY(unitsLeft(1).value(1).startsWith(QStringLiteral("Stones    :     ")));
        QVERIFY(Battleform->Results1->toPlainText().contains(QStringLiteral("Sloths    :     ")));
    }

    // How to Play opens beside the main window, with the guide's text.
    void howToPlayHasItsText() {
        Mainform->HowToPlay1->trigger();
        auto* text = Mainform->findChild<QTextBrowser*>(QStringLiteral("HowToPlayText"));
        QVERIFY(text && text->isVisible());
        QVERIFY2(text->toPlainText().contains(QStringLiteral("Create Battle Report")), qPrintable(text->toPlainText()));
        text->window()->close();
    }

    // Last: every window above came and went over the main window, and the
    // welcome still showed only once.
    void welcomeShownOnce() {
        Mainform->activateWindow();
        QTRY_VERIFY(Mainform->isActiveWindow());
        QApplication::processEvents();
        QCOMPARE(introShows, 1);
        QVERIFY(!Introform->isVisible());
    }
};

QTEST_MAIN(MainWindowTest)
#include "ui_main_test.moc"
