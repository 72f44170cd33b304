#include <QContextMenuEvent>
#include <QMenu>
#include <QRegularExpression>
#include <numeric>

#include "UiTestSupport.h"

using namespace ui_test;

// One user's way through the program: start, enter both armies through the
// add dialog from the menus, read the displays, fight a battle and simulate.

namespace {

const QString separator(44, QLatin1Char('_'));

// Counts the openings of the welcome window from the very start.
struct WelcomeCounter : QObject {
    int shown = 0;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Show && o->objectName() == QLatin1String("Introform"))
            ++shown;
        return false;
    }
};

// Opens the add dialog with opener, enters a kind as a user would and presses
// OK. An empty player leaves the dialog's `id` field as it was opened.
void addUnits(const std::function<void()>& opener, const QString& abb, const QString& player, const QString& number) {
    bool added = false;
    whenModal(QStringLiteral("Addform1"), [&](QWidget*) {
        typeInto(Addform1->Abbreviation, abb);
        if (!player.isEmpty())
            typeInto(Addform1->id, player);
        typeInto(Addform1->Number, number);
        QTest::mouseClick(Addform1->okbutton, Qt::LeftButton);
        added = true;
    });
    opener();
    QVERIFY(added);
    QVERIFY(!Addform1->isVisible());
}

void fromUnitOptions() {
    Mainform->AddUnits2->trigger();
}

// Right-clicks a player's army display and chooses "Add Units".
void fromPopup(int player) {
    QPlainTextEdit* display = player == 1 ? Mainform->Armydisplay1 : Mainform->Armydisplay2;
    QMenu* menu = player == 1 ? Mainform->Unitmenu1 : Mainform->Unitmenu2;
    QAction* item = player == 1 ? Mainform->AddUnits1 : Mainform->AddUnits3;
    const QPoint at(30, 30);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, display->viewport()->mapToGlobal(at));
    QApplication::sendEvent(display->viewport(), &event);
    QTRY_VERIFY(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
}

QStringList column(QPlainTextEdit* memo) {
    return memo->toPlainText().split(QLatin1Char('\n'));
}

// The lines of a column at which its phase blocks begin.
QList<int> blockStarts(const QStringList& lines) {
    QList<int> starts;
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].startsWith(QLatin1String("Round ")))
            starts << i;
    return starts;
}

struct Kind {
    QString name;
    int number;
};

// Checks one column of a battle report: every phase block holds " None" or
// casualty lines, the running totals add up, and the units left are the
// number less the losses. Returns the units left per kind, or nothing with
// the reason in *why.
QList<int> checkColumn(const QStringList& lines, const QList<Kind>& kinds, QString* why) {
    static const QRegularExpression casualty(QStringLiteral("^ (.+) : (\\d+)      \\(Total = (\\d+)\\)$"));
    QMap<QString, int> lost;
    const QList<int> starts = blockStarts(lines);
    for (int b = 0; b < starts.size(); ++b) {
        int i = starts[b] + 1;
        if (lines.value(i) == QLatin1String(" None"))
            continue;
        bool any = false;
        for (; i < lines.size(); ++i) {
            const auto m = casualty.match(lines[i]);
            if (!m.hasMatch())
                break;
            any = true;
            lost[m.captured(1)] += m.captured(2).toInt();
            if (m.captured(3).toInt() != lost[m.captured(1)]) {
                *why = QStringLiteral("running total wrong: ") + lines[i];
                return {};
            }
        }
        if (!any) {
            *why = QStringLiteral("empty block at line %1").arg(starts[b]);
            return {};
        }
    }
    const int left = lines.indexOf(QStringLiteral("UNITS LEFT:"));
    if (left < 2 || lines[left - 1] != separator || !lines[left - 2].isEmpty()) {
        *why = QStringLiteral("no closing list");
        return {};
    }
    QList<int> remaining;
    for (int k = 0; k < kinds.size(); ++k) {
        const QString prefix = kinds[k].name + QStringLiteral("    :     ");
        const QString line = lines.value(left + 1 + k);
        const int n = line.mid(prefix.size()).toInt();
        if (!line.startsWith(prefix) || n != kinds[k].number - lost.value(kinds[k].name)) {
            *why = QStringLiteral("units left disagree with the losses: ") + line;
            return {};
        }
        remaining << n;
    }
    return remaining;
}

int total(const QList<int>& values) {
    return std::accumulate(values.begin(), values.end(), 0);
}

}  // namespace

class JourneyTest : public QObject {
    Q_OBJECT
private slots:
    void wholeJourney() {
        WelcomeCounter welcome;
        qApp->installEventFilter(&welcome);
        startProgram();
        QCOMPARE(welcome.shown, 1);

        // The armies, entered three ways.
        addUnits(fromUnitOptions, QStringLiteral("arc"), QStringLiteral("1"), QStringLiteral("20"));
        addUnits([] { fromPopup(1); }, QStringLiteral("GOD"), QString(), QStringLiteral("5"));
        addUnits([] { fromPopup(2); }, QStringLiteral("KNI"), QString(), QStringLiteral("30"));
        QCOMPARE(armyOf(1).currentSize, 25);
        QCOMPARE(armyOf(2).currentSize, 30);
        QCOMPARE(armyOf(1).checkInvariants(), std::string());
        QCOMPARE(armyOf(2).checkInvariants(), std::string());

        const QStringList upper = column(Mainform->Armydisplay1);
        const QStringList lower = column(Mainform->Armydisplay2);
        QCOMPARE(upper.mid(0, 4), QStringList({"ARMY DISPLAY OF PLAYER 1:", "Archers : 20  (O:1 D:0 R:2 A:1 H:1)",
                                               "Golden Dragons : 5  (O:10 D:15 R:4 A:8 H:6)", ""}));
        QCOMPARE(lower.mid(0, 3),
                 QStringList({"ARMY DISPLAY OF PLAYER 2:", "Knights : 30  (O:4 D:4 R:0 A:1 H:2)", ""}));

        // One battle, reported in two columns that keep in step.
        QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
        QTRY_VERIFY(Battleform->isVisible());
        QVERIFY(!Battleform->isModal());
        const QStringList left = column(Battleform->Results1);
        const QStringList right = column(Battleform->Results2);
        QCOMPARE(left.mid(0, 7), QStringList({"BATLLE:   SIDE I", "Wizard 1 : Nameless 1", "", "ARMY:",
                                              "Archers      :     20", "Golden Dragons      :     5", separator}));
        QCOMPARE(right.mid(0, 7), QStringList({"BATLLE:   SIDE II", "Wizard 2 : Nameless 2", "",
                                               "ARMY:", "Knights      :     30", "", separator}));
        const QList<int> starts = blockStarts(left);
        QCOMPARE(blockStarts(right), starts);
        // Round 1's phases until one army is wiped out, then one phase a round.
        const QStringList firstRound = {"Ranged", "Go Anywhere", "Mounted", "Foot"};
        QVERIFY(!starts.isEmpty());
        for (int b = 0; b < starts.size(); ++b) {
            const QString expected = b < 4 ? QStringLiteral("Round 1 %1 Combat - Casualties:").arg(firstRound[b])
                                           : QStringLiteral("Round %1  Combat - Casualties:").arg(b - 2);
            QCOMPARE(left[starts[b]], expected);
        }
        for (int b = 0; b < starts.size(); ++b) {
            QCOMPARE(right[starts[b]], left[starts[b]]);
            QVERIFY(left[starts[b] - 1].isEmpty() && right[starts[b] - 1].isEmpty());
        }
        QCOMPARE(right.indexOf(QStringLiteral("UNITS LEFT:")), left.indexOf(QStringLiteral("UNITS LEFT:")));
        QString why;
        const QList<int> leftI = checkColumn(left, {{"Archers", 20}, {"Golden Dragons", 5}}, &why);
        QVERIFY2(leftI.size() == 2, qPrintable(why));
        const QList<int> leftII = checkColumn(right, {{"Knights", 30}}, &why);
        QVERIFY2(leftII.size() == 1, qPrintable(why));
        QVERIFY2((total(leftI) == 0) != (total(leftII) == 0), "exactly one army is wiped out");
        // The battle leaves the armies whole, and their displays as entered.
        QCOMPARE(armyOf(1).currentSize, 25);
        QCOMPARE(armyOf(1).checkInvariants(), std::string());
        QCOMPARE(column(Mainform->Armydisplay1), upper);

        // Back to the main window: no second welcome.
        Mainform->activateWindow();
        QTRY_VERIFY(Mainform->isActiveWindow());
        QCOMPARE(welcome.shown, 1);

        // Twenty-five battles, averaged.
        QStringList simLeft, simRight;
        bool simulated = false;
        whenModal(QStringLiteral("Batsim"), [&](QWidget* w) {
            typeInto(control<Edit>(w, QStringLiteral("Amount")), QStringLiteral("25"));
            whenModal(QStringLiteral("Battleform"), [&](QWidget* results) {
                simLeft = column(Battleform->Results1);
                simRight = column(Battleform->Results2);
                clickButton(results, QStringLiteral("BitBtn1"));
            });
            clickButton(w, QStringLiteral("simrun"));
            simulated = true;
            clickButton(w, QStringLiteral("BitBtn1"));
        });
        QTest::mouseClick(Mainform->Simulation, Qt::LeftButton);
        QVERIFY(simulated);
        QCOMPARE(simLeft.mid(0, 7), left.mid(0, 7));
        QCOMPARE(simRight.mid(0, 7), right.mid(0, 7));
        QCOMPARE(simLeft.mid(7, 2), QStringList({"", "UNITS LEFT:"}));
        QCOMPARE(simRight.mid(7, 2), QStringList({"", "UNITS LEFT:"}));
        const QList<Kind> kindsI = {{"Archers", 20}, {"Golden Dragons", 5}};
        for (int k = 0; k < kindsI.size(); ++k) {
            const QString prefix = kindsI[k].name + QStringLiteral("    :     ");
            QVERIFY2(simLeft[9 + k].startsWith(prefix), qPrintable(simLeft[9 + k]));
            const int n = simLeft[9 + k].mid(prefix.size()).toInt();
            QVERIFY(n >= 0 && n <= kindsI[k].number);
        }
        QVERIFY2(simRight[9].startsWith(QStringLiteral("Knights    :     ")), qPrintable(simRight[9]));
        QVERIFY(simLeft[11].isEmpty() && simRight[10].isEmpty());
        for (const Army* a : {&armyOf(1), &armyOf(2)}) {
            QCOMPARE(a->checkInvariants(), std::string());
            for (const Unittype& kind : a->unittypes)
                QCOMPARE(kind.SimCasualties, 0);
        }
        QCOMPARE(welcome.shown, 1);
        qApp->removeEventFilter(&welcome);
    }
};

QTEST_MAIN(JourneyTest)
#include "ui_journey_test.moc"
