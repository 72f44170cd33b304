// The force finder through its window: Apply changes exactly one kind's
// number and its display line, Close and Cancel change nothing, the armies
// of the main window stay untouched while the search runs, and Find refuses
// as "Simulate Battle" does while an army is empty.

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QRegularExpression>
#include <QSpinBox>
#include <atomic>
#include <chrono>
#include <thread>

#include "UiTestSupport.h"
#include "ui/Forceform.h"

using namespace ui_test;

namespace {

// The sample's armies, 20 archers and 5 golden dragons against knights,
// with spearmen beside the knights.
void buildArmies() {
    freshArmies();
    addKind(1, "ARC", 20);
    addKind(1, "GOD", 5);
    addKind(2, "SPE", 12);
    addKind(2, "KNI", 30);
}

// What Apply may touch and what it must not: both armies' kinds and units,
// and both displays.
struct Snapshot {
    QStringList kinds[2];
    QStringList display[2];
    int size[2] = {0, 0};
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot() {
    Snapshot s;
    for (int player : {1, 2}) {
        const Army& a = armyOf(player);
        s.size[player - 1] = a.currentSize;
        for (int k = 0; k <= a.currentType; ++k)
            s.kinds[player - 1] << QStringLiteral("%1 %2")
                                       .arg(QString::fromStdString(a.unittypes[k].Fullname))
                                       .arg(a.unittypes[k].Number);
        s.display[player - 1] = Mainform->display(player).lines();
    }
    return s;
}

// Opens the dialog with Ctrl+F in the main window, runs action on it, and
// closes it with Close.
void inDialog(const std::function<void()>& action) {
    bool ran = false;
    whenModal(QStringLiteral("Forceform"), [&](QWidget* w) {
        action();
        ran = true;
        clickButton(w, QStringLiteral("BitBtn1"));
    });
    // The offscreen platform has no window manager to give the activation
    // back once a dialog is gone.
    Mainform->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(Mainform));
    QTest::keyClick(Mainform, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(ran);
    QTRY_VERIFY(!Forceform->isVisible());
}

// Picks player 2's knights, as a user would with the keyboard.
void chooseKnights() {
    Forceform->Side->setFocus();
    QTest::keyClick(Forceform->Side, Qt::Key_Down);
    QCOMPARE(Forceform->Side->currentText(), QStringLiteral("Player 2 (Nameless 2)"));
    Forceform->Kind->setFocus();
    QTest::keyClick(Forceform->Kind, Qt::Key_Down);
    QCOMPARE(Forceform->Kind->currentText(), QStringLiteral("Knights (KNI)"));
}

int seriesCount() {
    return static_cast<int>(Forceform->Chart->chart()->series().size());
}

}  // namespace

class ForceformTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { startProgram(); }

    void init() {
        buildArmies();
        Forceform->fighter = nullptr;
        Forceform->fixedSeed = 5;
        Forceform->searchOptions = ForceSearchOptions();
    }

    void cleanup() { QVERIFY(!activeModal()); }

    // A real search on the sample: the answer, its chart, then Apply sets
    // the knights and their line, and nothing else.
    void applySetsOneKindsNumber() {
        const Snapshot before = snapshot();
        Snapshot afterApply;
        int found = 0;
        inDialog([&] {
            QCOMPARE(Forceform->Chance->value(), 90.0);
            QCOMPARE(Forceform->Largest->text(), QStringLiteral("9,999"));
            QCOMPARE(Forceform->Kind->count(), 2);  // player 1's kinds
            chooseKnights();
            QVERIFY(!Forceform->Apply->isEnabled());
            QTest::mouseClick(Forceform->Find, Qt::LeftButton);
            const QString answer = Forceform->Answer->toPlainText();
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("^(\\d+) Knights win (\\d+\\.\\d)% of battles \\(95% interval "))
                    .match(answer);
            QVERIFY2(m.hasMatch(), qPrintable(answer));
            found = m.captured(1).toInt();
            QVERIFY(found > 30 && found < 9999);
            QVERIFY2(answer.contains(QStringLiteral("The next lower number tried, %1, wins ").arg(found - 1)),
                     qPrintable(answer));
            QVERIFY2(answer.contains(QRegularExpression(
                         QStringLiteral("Battles fought: \\d+, over \\d+ numbers, in \\d+\\.\\d s"))),
                     qPrintable(answer));
            // The search fought copies: nothing changed before Apply.
            QCOMPARE(snapshot(), before);
            // A point and an interval bar per number tried, and the wanted chance.
            QVERIFY(seriesCount() > 6);
            QVERIFY(Forceform->Apply->isEnabled());

            QTest::mouseClick(Forceform->Apply, Qt::LeftButton);
            afterApply = snapshot();
            QVERIFY(!Forceform->Apply->isEnabled());
        });
        QCOMPARE(armyOf(2).unittypes[1].Number, found);
        QCOMPARE(armyOf(2).currentSize, 12 + found);
        QCOMPARE(armyOf(2).checkInvariants(), std::string());
        Snapshot expected = before;
        expected.kinds[1][1] = QStringLiteral("Knights %1").arg(found);
        expected.size[1] = 12 + found;
        expected.display[1][2] = QStringLiteral("Knights : %1  (O:4 D:4 R:0 A:1 H:2)").arg(found);
        QCOMPARE(afterApply, expected);
        // Closing after Apply keeps what was applied.
        QCOMPARE(snapshot(), expected);
    }

    // An answer left without Apply changes nothing; changing the question
    // takes the answer away, so Apply never sets an answer to another one.
    void closeChangesNothing() {
        const Snapshot before = snapshot();
        inDialog([&] {
            chooseKnights();
            QTest::mouseClick(Forceform->Find, Qt::LeftButton);
            QVERIFY(Forceform->Apply->isEnabled());
            QVERIFY(seriesCount() > 0);
            Forceform->Chance->setFocus();
            QTest::keyClick(Forceform->Chance, Qt::Key_Up);
            QVERIFY(!Forceform->Apply->isEnabled());
            QCOMPARE(Forceform->Answer->toPlainText(), QString());
            QCOMPARE(seriesCount(), 0);
        });
        QCOMPARE(snapshot(), before);
    }

    // A long search shows its progress and can be cancelled; the armies of
    // the main window stay as they were throughout.
    void cancelChangesNothing() {
        const Snapshot before = snapshot();
        // Battles that take a while, and never reach the chance.
        Forceform->fighter = [](const Army&, const Army&, int, int32_t, const std::atomic<bool>* cancel) {
            return BatchFighter([cancel](int32_t, int64_t battles, uint64_t, const std::function<void(int64_t)>&) {
                for (int i = 0; i < 20 && !cancel->load(); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                return BatchOutcome{cancel->load() ? 0 : battles, 0};
            });
        };
        QString progressText;
        bool untouchedMeanwhile = false;
        inDialog([&] {
            chooseKnights();
            auto* progress = Forceform->findChild<QDialog*>(QStringLiteral("ForceProgress"));
            QVERIFY(progress);
            whenModal(QStringLiteral("ForceProgress"), [&](QWidget* w) {
                QTRY_VERIFY(
                    w->findChild<QLabel*>(QStringLiteral("progressText"))->text().contains(QStringLiteral("Now: ")));
                progressText = w->findChild<QLabel*>(QStringLiteral("progressText"))->text();
                untouchedMeanwhile = snapshot() == before;
                clickButton(w, QStringLiteral("cancelWork"));
            });
            QTest::mouseClick(Forceform->Find, Qt::LeftButton);  // returns once the search has stopped
            QVERIFY(!Forceform->searching());
            QCOMPARE(Forceform->Forcemes->text(), QStringLiteral("Search cancelled"));
            QCOMPARE(Forceform->Answer->toPlainText(), QString());
            QVERIFY(!Forceform->Apply->isEnabled());
        });
        QVERIFY2(progressText.startsWith(QStringLiteral("Numbers tried: ")), qPrintable(progressText));
        QVERIFY(untouchedMeanwhile);
        QCOMPARE(snapshot(), before);
    }

    // Find with an empty army: the messages of "Simulate Battle".
    void emptyArmyRefused() {
        changePlayers([](Players& p) { p.army(2) = Army(); });
        QString seen;
        inDialog([&] {
            closeWhenShown(QStringLiteral("Errorform"), QStringLiteral("BitBtn1"), &seen);
            QTest::mouseClick(Forceform->Find, Qt::LeftButton);
            QTRY_VERIFY(activeModal() == Forceform);
            QCOMPARE(Forceform->Answer->toPlainText(), QString());
        });
        QVERIFY2(seen.startsWith(
                     QStringLiteral("Player 2 does not have an army yet. As a result no simulation can be run.")),
                 qPrintable(seen));
    }
};

QTEST_MAIN(ForceformTest)
#include "ui_forceform_test.moc"
