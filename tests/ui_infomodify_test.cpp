#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>

#include "UiTestSupport.h"
#include "army/Catalogue.h"

using namespace ui_test;

namespace {

const QString header = QStringLiteral("ARMY DISPLAY OF PLAYER ");

void resetPlayers() {
    setNumber(1, QStringLiteral("1"));
    setNumber(2, QStringLiteral("2"));
    setName(1, QStringLiteral("Nameless 1"));
    setName(2, QStringLiteral("Nameless 2"));
    Mainform->display(1).setLine(0, header + "1:");
    Mainform->display(2).setLine(0, header + "2:");
}

// Runs action on the army info dialog opened from the main menu; a dialog
// left open by a failed check is cancelled.
bool onInfoDialog(std::function<void(TArmymodify*)> action) {
    bool ran = false;
    whenModal(QStringLiteral("Armymodify"), [&](QWidget* w) {
        ran = true;
        action(static_cast<TArmymodify*>(w));
        if (w->isVisible())
            static_cast<QDialog*>(w)->reject();
    });
    Mainform->ModifyGeneralInfo1->trigger();
    return ran;
}

void pressOk(TArmymodify* d) {
    QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
}

QStringList numbers() {
    return {Mainform->wizardno1->text(), Mainform->wizardno2->text()};
}

}  // namespace

class ArmyInfoDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { startProgram(); }
    void init() { resetPlayers(); }

    void layoutBeforeFirstOpening() {
        TArmymodify* d = Armymodify;
        QCOMPARE(d->windowTitle(), QStringLiteral("General Army Modification Form"));
        QCOMPARE(d->size(), QSize(405, 420));
        QCOMPARE(d->name1->text(), QStringLiteral("Wizard Name "));
        QCOMPARE(d->id1->text(), QStringLiteral("Number "));
        QCOMPARE(d->name2->text(), QStringLiteral("Wizard Name"));
        QCOMPARE(d->id2->text(), QStringLiteral("Number"));
        QCOMPARE(d->Modmes1->text(), QStringLiteral("Errors and Messages appear here"));
        QVERIFY(d->BitBtn1->isDefault());
        const QList<std::pair<const char*, const char*>> labels{{"title1", "Info Modification"},
                                                                {"wizarddata1s", "Settings of Wizard 1:"},
                                                                {"wizarddata2s", "Settings of Wizard 2:"},
                                                                {"name1s", "Wizard Name:"},
                                                                {"id1s", "Player Number:"},
                                                                {"name2s", "Wizard Name:"},
                                                                {"id2s", "Player Number:"}};
        for (const auto& [name, text] : labels)
            QCOMPARE(control<QLabel>(d, name)->text(), QString::fromLatin1(text));
        QVERIFY(
            d->helpmemo->toPlainText().startsWith(QStringLiteral("You can change the general army settings here.")));
        const QList<QWidget*> widgets = d->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* a : widgets) {
            QVERIFY2(d->rect().contains(a->geometry()), qPrintable(a->objectName()));
            for (QWidget* b : widgets)
                if (a != b)
                    QVERIFY2(!a->geometry().intersects(b->geometry()),
                             qPrintable(a->objectName() + " overlaps " + b->objectName()));
        }
    }

    // Each opening loads the main window's values; OK at once writes them
    // back, and the headers lose the colon of the start-up text.
    void openingLoadsAndOkWritesBack() {
        QStringList loaded, chain;
        QString message;
        bool allLegal = false;
        QVERIFY(onInfoDialog([&](TArmymodify* d) {
            loaded = QStringList{d->name1->text(), d->id1->text(), d->name2->text(), d->id2->text()};
            message = d->Modmes1->text();
            allLegal = d->legalId1 && d->legalId2 && d->legalName1 && d->legalName2;
            for (int i = 0; i < 7; ++i) {
                chain << QApplication::focusWidget()->objectName();
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
            pressOk(d);
        }));
        QCOMPARE(loaded, QStringList({"Nameless 1", "1", "Nameless 2", "2"}));
        QCOMPARE(message, QStringLiteral("Errors and Messages appear here"));
        QVERIFY(allLegal);
        QCOMPARE(chain, QStringList({"name1", "id1", "name2", "id2", "BitBtn1", "BitBtn2", "name1"}));
        QCOMPARE(numbers(), QStringList({"1", "2"}));
        QCOMPARE(Mainform->display(1).line(0), header + "1");
        QCOMPARE(Mainform->display(2).line(0), header + "2");
        QCOMPARE(Mainform->name1->text(), QStringLiteral("Nameless 1"));

        // A number changed on the main window meanwhile is what the next opening shows.
        setNumber(2, QStringLiteral("4"));
        QVERIFY(onInfoDialog([&](TArmymodify* d) { loaded = QStringList{d->id2->text()}; }));
        QCOMPARE(loaded, QStringList({"4"}));
    }

    void playerOneNumberChecks_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("legal");
        QTest::addColumn<QString>("stored");
        QTest::newRow("free number") << "3" << true << "3";
        QTest::newRow("player 2's number") << "2" << false << "1";
        QTest::newRow("player 2's number with a zero") << "02" << false << "1";
        QTest::newRow("zero") << "0" << false << "1";
        QTest::newRow("negative") << "-1" << false << "1";
        QTest::newRow("letter") << "a" << false << "1";
        QTest::newRow("empty") << "" << false << "1";
        QTest::newRow("leading zero kept") << "07" << true << "07";
        QTest::newRow("typing stops at two characters") << "123" << true << "12";
    }
    void playerOneNumberChecks() {
        QFETCH(QString, typed);
        QFETCH(bool, legal);
        QFETCH(QString, stored);
        QString message, field;
        QVERIFY(onInfoDialog([&](TArmymodify* d) {
            typeInto(d->id1, typed);
            message = d->Modmes1->text();
            field = d->id1->text();
            pressOk(d);
        }));
        QCOMPARE(message, legal ? QStringLiteral("You've entered a legal number")
                                : QStringLiteral("You've entered an illegal number"));
        QCOMPARE(numbers(), QStringList({stored, "2"}));
        QCOMPARE(Mainform->display(1).line(0), legal ? header + field : header + "1:");
    }

    // At OK the two players' numbers differ, whatever order they were typed in.
    void numbersStayDistinct_data() {
        QTest::addColumn<QStringList>("typing");  // pairs: field, text
        QTest::addColumn<QStringList>("after");
        QTest::newRow("exchange refused in its first half")
            << QStringList{"id1", "2", "id2", "1"} << QStringList{"1", "2"};
        QTest::newRow("exchange through a spare number")
            << QStringList{"id1", "3", "id2", "1", "id1", "2"} << QStringList{"2", "1"};
        QTest::newRow("refused then moved onto the old number")
            << QStringList{"id1", "5", "id2", "5", "id1", "2"} << QStringList{"1", "2"};
        QTest::newRow("player 2 takes player 1's old number")
            << QStringList{"id1", "8", "id2", "1"} << QStringList{"8", "1"};
        QTest::newRow("numerically equal texts") << QStringList{"id2", "01"} << QStringList{"1", "2"};
    }
    void numbersStayDistinct() {
        QFETCH(QStringList, typing);
        QFETCH(QStringList, after);
        QVERIFY(onInfoDialog([&](TArmymodify* d) {
            for (int i = 0; i + 1 < typing.size(); i += 2)
                typeInto(typing[i] == QLatin1String("id1") ? d->id1 : d->id2, typing[i + 1]);
            pressOk(d);
        }));
        QCOMPARE(numbers(), after);
        QVERIFY(StrToIntDef(after[0], -1) != StrToIntDef(after[1], -1));
        // A header is rewritten only for a number that was written.
        for (int p : {1, 2}) {
            const QString line = Mainform->display(p).line(0);
            QVERIFY2(line == header + after[p - 1] || line == header + after[p - 1] + ":", qPrintable(line));
        }
    }

    void promptsExitsAndNames() {
        QStringList messages;
        QString name2AfterExit;
        const QString thirty(30, QLatin1Char('W'));
        QVERIFY(onInfoDialog([&](TArmymodify* d) {
            QTest::mouseClick(d->id1, Qt::LeftButton);
            messages << d->Modmes1->text();
            QTest::mouseClick(d->name2, Qt::LeftButton);  // leaves id1, then the click
            messages << d->Modmes1->text();
            QTest::keyClick(d->name2, Qt::Key_Tab);
            messages << d->Modmes1->text();
            name2AfterExit = d->name2->text();
            typeInto(d->name1, QString());
            typeInto(d->name2, thirty + "X");  // the 31st character is refused
            pressOk(d);
        }));
        QCOMPARE(messages,
                 QStringList({"Please type the new player number", "Please type the new wizard name here", ""}));
        QCOMPARE(name2AfterExit, QStringLiteral("Nameless 2"));
        QCOMPARE(Mainform->name1->text(), QStringLiteral("Nameless 1"));  // empty: kept
        QCOMPARE(Mainform->name2->text(), thirty);

        QVERIFY(onInfoDialog([](TArmymodify* d) {
            typeInto(d->name1, QStringLiteral(" "));
            pressOk(d);
        }));
        QCOMPARE(Mainform->name1->text(), QStringLiteral(" "));
    }

    void cancelWritesNothing() {
        QVERIFY(onInfoDialog([](TArmymodify* d) {
            typeInto(d->id1, QStringLiteral("5"));
            typeInto(d->name1, QStringLiteral("Merlin"));
            QTest::mouseClick(d->BitBtn2, Qt::LeftButton);
        }));
        QCOMPARE(numbers(), QStringList({"1", "2"}));
        QCOMPARE(Mainform->name1->text(), QStringLiteral("Nameless 1"));
        QCOMPARE(Mainform->display(1).line(0), header + "1:");
    }

    // New number and names reach the headers, the unit dialogs opened from
    // the pop-up menu and the battle report.
    void newNumberAndNamesReachEveryWindow() {
        addKind(1, "KNI", 10);
        addKind(2, "ARC", 20);
        QVERIFY(onInfoDialog([](TArmymodify* d) {
            typeInto(d->name1, QStringLiteral("Merlin"));
            typeInto(d->id1, QStringLiteral("7"));
            typeInto(d->name2, QStringLiteral("Morgana le Fay"));
            QTest::keyClick(d->name2, Qt::Key_Enter);  // the default button
        }));
        QCOMPARE(numbers(), QStringList({"7", "2"}));
        QCOMPARE(Mainform->name1->text(), QStringLiteral("Merlin"));
        QCOMPARE(Mainform->name2->text(), QStringLiteral("Morgana le Fay"));
        QCOMPARE(Mainform->display(1).line(0), header + "7");
        QCOMPARE(Mainform->display(2).line(0), header + "2");

        const QPoint pos(20, 20);
        QContextMenuEvent click(QContextMenuEvent::Mouse, pos, Mainform->Armydisplay1->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(Mainform->Armydisplay1->viewport(), &click);
        QTRY_VERIFY(Mainform->Unitmenu1->isVisible());
        QTest::keyClick(Mainform->Unitmenu1, Qt::Key_Escape);
        QCOMPARE(Addform1->id->text(), QStringLiteral("7"));
        QCOMPARE(Modform1->Id->text(), QStringLiteral("7"));
        QCOMPARE(Remform1->Id->text(), QStringLiteral("7"));

        // The remove dialog opened from that menu finds player 1's army by the new number.
        QString listed, message;
        whenModal(QStringLiteral("Remform1"), [&](QWidget* w) {
            auto* d = static_cast<TRemform1*>(w);
            listed = d->Abblist->itemText(0);
            QTest::keyClick(d->Abblist, Qt::Key_Down);  // picks the first entry
            message = d->Remmes1->text();
            QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
        });
        QApplication::sendEvent(Mainform->Armydisplay1->viewport(), &click);
        QTRY_VERIFY(Mainform->Unitmenu1->isVisible());
        Mainform->Unitmenu1->setActiveAction(Mainform->RemoveUnits1);
        QTest::keyClick(Mainform->Unitmenu1, Qt::Key_Return);
        QCOMPARE(listed, QStringLiteral("KNI"));
        QCOMPARE(message, QStringLiteral("Unit found - click 'Remove' to remove them"));
        QCOMPARE(armyOf(1).currentSize, 10);

        Mainform->calculateClick();
        QCOMPARE(Battleform->column(0).line(1), QStringLiteral("Wizard 7 : Merlin"));
        QCOMPARE(Battleform->column(1).line(1), QStringLiteral("Wizard 2 : Morgana le Fay"));
        Battleform->close();
    }
};

QTEST_MAIN(ArmyInfoDialogTest)
#include "ui_infomodify_test.moc"
