#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTableWidget>
#include <atomic>
#include <chrono>
#include <thread>

#include "UiTestSupport.h"

using namespace ui_test;

namespace {

// Two armies that both lose units in every battle.
void buildArmies() {
    clearArmies();
    addKind(1, kind("Archers", "R", 1, 0, 2, 1, 1), 20);
    addKind(1, kind("Knights", "M", 4, 4, 0, 1, 2), 10);
    addKind(2, kind("Orcs", "F", 2, 2, 0, 1, 1), 25);
    addKind(2, kind("Trolls", "F", 5, 3, 0, 2, 3), 5);
}

// Two armies of 40 kinds of 9,999 units each: one battle takes a while.
void buildLargeArmies() {
    clearArmies();
    const char* positions[] = {"F", "M", "R", "G", "B"};
    for (int k = 0; k < Army::maxTypes; ++k) {
        const std::string name = "Kind " + std::to_string(k);
        const std::string position = positions[k % 5];
        for (int player : {1, 2})
            addKind(player, kind(name, position, 3, 3, k % 5 == 2 ? 3 : 0, 1, 2), 9999);
    }
}

// Everything of an army a simulation could disturb, as text.
QString armyState(const Army& a) {
    QStringList s;
    s << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9")
             .arg(a.currentSize)
             .arg(a.maxSize)
             .arg(a.currentType)
             .arg(a.SizeMinusB)
             .arg(a.NumberF)
             .arg(a.NumberM)
             .arg(a.NumberR)
             .arg(a.NumberG)
             .arg(a.NumberB);
    for (int k = 0; k <= a.currentType; ++k) {
        const Unittype& t = a.unittypes[k];
        s << QStringLiteral("%1 %2 %3 %4 %5")
                 .arg(QString::fromStdString(t.Fullname))
                 .arg(t.Number)
                 .arg(t.LastCasualties)
                 .arg(t.BattleCasualties)
                 .arg(t.SimCasualties);
    }
    for (int i = 0; i < a.currentSize; ++i)
        s << QStringLiteral("%1/%2/%3")
                 .arg(a.units[i].Hitpoints)
                 .arg(a.units[i].Typeindex)
                 .arg(a.units[i].Retaliations);
    return s.join(QLatin1Char('\n'));
}

// The statistics panel's row of a kind of side 0 or 1: mean, sd, min, max.
QStringList oddsOfKind(int side, const QString& name) {
    int currentSide = -1;
    for (int row = 0; row < Battleform->Odds->rowCount(); ++row) {
        const QString first = Battleform->Odds->item(row, 0) ? Battleform->Odds->item(row, 0)->text() : QString();
        if (first.startsWith(QStringLiteral("Side I:")))
            currentSide = 0;
        else if (first.startsWith(QStringLiteral("Side II:")))
            currentSide = 1;
        else if (currentSide == side && first == name) {
            QStringList cells;
            for (int c = 1; c < 5; ++c)
                cells << Battleform->Odds->item(row, c)->text();
            return cells;
        }
    }
    return {};
}

bool simCasualtiesCleared() {
    for (const Army* a : {&armyOf(1), &armyOf(2)})
        for (const Unittype& t : a->unittypes)
            if (t.SimCasualties != 0)
                return false;
    return true;
}

struct Result {
    bool modal = false;
    QStringList column[2];
    bool statistics = false;
    bool clearedWhileShown = false;
    QStringList odds[2][2];  // per side, per kind of buildArmies
};

QStringList unitsLeft(const QStringList& lines) {
    const int at = static_cast<int>(lines.lastIndexOf(QStringLiteral("UNITS LEFT:")));
    return at < 0 ? QStringList() : lines.mid(at + 1).filter(QRegularExpression(QStringLiteral(".")));
}

// Presses "Run Simulation!" and returns what the results window showed.
Result runSimulation() {
    Result result;
    whenModal(QStringLiteral("Battleform"), [&](QWidget* w) {
        result.modal = w->isModal() && activeModal() == w;
        result.column[0] = Battleform->column(0).lines();
        result.column[1] = Battleform->column(1).lines();
        result.statistics = Battleform->statisticsShown();
        result.clearedWhileShown = simCasualtiesCleared();
        const char* names[2][2] = {{"Archers", "Knights"}, {"Orcs", "Trolls"}};
        for (int side = 0; side < 2; ++side)
            for (int k = 0; k < 2; ++k)
                result.odds[side][k] = oddsOfKind(side, QString::fromLatin1(names[side][k]));
        clickButton(w, QStringLiteral("BitBtn1"));
    });
    // Should the window never show modally, it is closed anyway, so the
    // test fails instead of waiting for ever.
    QTimer rescue;
    rescue.setSingleShot(true);
    QObject::connect(&rescue, &QTimer::timeout, [] {
        if (Battleform->isVisible())
            Battleform->reject();
    });
    rescue.start(12000);
    QTest::mouseClick(Batsim->simrun, Qt::LeftButton);
    return result;
}

// Opens the dialog with "Simulate Battle", runs action on it, closes it.
void inDialog(const std::function<void()>& action) {
    bool ran = false;
    whenModal(QStringLiteral("Batsim"), [&](QWidget* w) {
        action();
        ran = true;
        clickButton(w, QStringLiteral("BitBtn1"));
    });
    QTest::mouseClick(Mainform->Simulation, Qt::LeftButton);
    QVERIFY(ran);
    QTRY_VERIFY(!Batsim->isVisible());
}

// Counts (and closes) every standard exception display that shows.
int exceptionsShown = 0;
void watchExceptions() {
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(activeModal()))
            if (box->objectName() == QStringLiteral("ExceptionDisplay")) {
                ++exceptionsShown;
                box->accept();
            }
    });
    timer->start();
}

// Paces a simulation to about runsPerSecond whatever the number of cores.
std::function<void()> pace(int runsPerSecond) {
    const auto cores = static_cast<long long>(std::max(1u, std::thread::hardware_concurrency()));
    const auto perRun = std::chrono::microseconds(1000000LL * cores / runsPerSecond);
    return [perRun] { std::this_thread::sleep_for(perRun); };
}

// Set whenever the progress window is seen; polled, as a run blocks the test.
bool progressSeen = false;
void watchProgress() {
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (Batsim->SimulationProgress->isVisible())
            progressSeen = true;
    });
    timer->start();
}

// Runs action once the progress window shows some runs done.
void whenProgress(const std::function<void()>& action, int timeoutMs = 20000) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [=] {
        const bool ready = Batsim->SimulationProgress->isVisible() && Batsim->progressBar->value() > 0;
        if (ready || clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            if (ready)
                action();
            else
                qWarning("the progress window never showed runs done");
        }
    });
    timer->start();
}

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

const QString Resting = QStringLiteral("Errors and Messages appear here");
const QString Legal = QStringLiteral("You've entered a legal number");
const QString Illegal = QStringLiteral("You've entered an illegal number");

}  // namespace

class BatsimTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        startProgram();
        watchExceptions();
        watchProgress();
    }

    void init() {
        buildArmies();
        exceptionsShown = 0;
        progressSeen = false;
        Batsim->afterRunHook = nullptr;
    }

    void cleanup() {
        Battleform->hide();
        QCOMPARE(exceptionsShown, 0);
        QVERIFY(!activeModal());
    }

    void layout() {
        QCOMPARE(Batsim->windowTitle(), QStringLiteral("Battle Simulation Form"));
        QCOMPARE(Batsim->size(), QSize(403, 418));
        QCOMPARE(Batsim->titles->text(), QStringLiteral("Battle Simulation"));
        QCOMPARE(Batsim->runtimes->text(), QStringLiteral("The times that this battle will be run:"));
        QCOMPARE(Batsim->simrun->text(), QStringLiteral("Run Simulation!"));
        QCOMPARE(Batsim->simrun->font().pixelSize(), 30);
        QCOMPARE(Batsim->BitBtn1->text(), QStringLiteral("Close"));
        QVERIFY(Batsim->Simmes1->isReadOnly());
        QCOMPARE(Batsim->Simmes1->focusPolicy(), Qt::NoFocus);
        QCOMPARE(Batsim->batllesimhelp->toPlainText(),
                 QStringLiteral("By simulating a battle you calculate the average result of the \n"
                                "battle, but you can't see who died which round. Make sure \n"
                                "you don't calculate large battles too many times, because \n"
                                "your system will crash."));
        QCOMPARE(Batsim->tabOrder().first(), static_cast<QWidget*>(Batsim->Amount));
    }

    // First opening; then an opening after the count was left at 25.
    void opening() {
        inDialog([] {
            QCOMPARE(Batsim->Amount->text(), QStringLiteral("10"));
            QCOMPARE(Batsim->Simmes1->text(), Resting);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Batsim->Amount));
            typeInto(Batsim->Amount, QStringLiteral("25"));
            QCOMPARE(Batsim->Simmes1->text(), Legal);
        });
        inDialog([] {
            QCOMPARE(Batsim->Amount->text(), QStringLiteral("10"));
            QCOMPARE(Batsim->Simmes1->text(), Legal);
            QCOMPARE(Batsim->amountLegal(), 1);
        });
    }

    void typedCounts_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("afterLeaving");
        QTest::newRow("zero") << "0"
                              << "0" << Illegal << "10";
        QTest::newRow("negative") << "-5"
                                  << "-5" << Illegal << "10";
        QTest::newRow("letters") << "abc"
                                 << "abc" << Illegal << "10";
        QTest::newRow("cleared") << ""
                                 << "" << Illegal << "10";
        QTest::newRow("legal") << "25"
                               << "25" << Legal << "25";
        QTest::newRow("largest") << "999"
                                 << "999" << Legal << "999";
        QTest::newRow("four digits typed") << "1000"
                                           << "100" << Legal << "100";
        QTest::newRow("leading blank") << " 7"
                                       << " 7" << Legal << " 7";
    }
    // Typing validates at once; leaving repairs an illegal count and empties
    // the message line.
    void typedCounts() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, message);
        QFETCH(QString, afterLeaving);
        inDialog([&] {
            QTest::mouseClick(Batsim->Amount, Qt::LeftButton);
            QCOMPARE(Batsim->Simmes1->text(), QStringLiteral("Please type the new amount"));
            typeInto(Batsim->Amount, typed);
            QCOMPARE(Batsim->Amount->text(), shown);
            QCOMPARE(Batsim->Simmes1->text(), message);
            QTest::keyClick(Batsim->Amount, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Batsim->simrun));
            QCOMPARE(Batsim->Amount->text(), afterLeaving);
            QCOMPARE(Batsim->Simmes1->text(), QString());
            QCOMPARE(Batsim->amountLegal(), 1);
        });
    }

    // Enter in the field runs nothing: the count is left (and repaired) first.
    void enterRunsNothing() {
        inDialog([] {
            typeInto(Batsim->Amount, QStringLiteral("0"));
            QTest::keyClick(Batsim->Amount, Qt::Key_Return);
            QApplication::processEvents();
            QVERIFY(!Battleform->isVisible());
            QCOMPARE(Batsim->Amount->text(), QStringLiteral("0"));
            QCOMPARE(Batsim->Simmes1->text(), Illegal);
        });
    }

    // Clicking "Run Simulation!" with an illegal count runs the default count.
    void illegalCountRepairedBeforeRun() {
        inDialog([] {
            typeInto(Batsim->Amount, QStringLiteral("x"));
            const Result r = runSimulation();
            QVERIFY(r.modal);
            QCOMPARE(unitsLeft(r.column[0]).size(), 2);
        });
    }

    // One run is one battle in averaged form; a second simulation starts from
    // cleared totals; the count reads "10" again when the results close.
    void oneRunIsOneBattle() {
        inDialog([] {
            for (int round = 0; round < 2; ++round) {
                typeInto(Batsim->Amount, QStringLiteral("1"));
                const Result r = runSimulation();
                QVERIFY(r.modal);
                QVERIFY(r.clearedWhileShown);
                QCOMPARE(r.column[0].value(0), QStringLiteral("BATLLE:   SIDE I"));
                QCOMPARE(r.column[1].value(1), QStringLiteral("Wizard 2 : Nameless 2"));
                QCOMPARE(r.column[0].filter(QStringLiteral("Round")), QStringList());
                // One run: every kind's figures over the runs are that
                // battle's, and the averaged result shows them.
                QVERIFY(r.statistics);
                bool sideGone[2] = {true, true};
                for (int side = 0; side < 2; ++side) {
                    const QStringList left = unitsLeft(r.column[side]);
                    QCOMPARE(left.size(), 2);
                    for (int k = 0; k < 2; ++k) {
                        const QStringList odds = r.odds[side][k];
                        QCOMPARE(odds.size(), 4);
                        const QString shown = left[k].section(QLatin1Char(':'), 1).trimmed();
                        QCOMPARE(odds[0], shown + QStringLiteral(".0"));
                        QCOMPARE(odds[1], QStringLiteral("0.0"));
                        QCOMPARE(odds[2], shown);
                        QCOMPARE(odds[3], shown);
                        sideGone[side] = sideGone[side] && shown == QStringLiteral("0");
                    }
                }
                QVERIFY(sideGone[0] || sideGone[1]);
                QVERIFY(simCasualtiesCleared());
                // The dialog is active again once the results close.
                QTRY_COMPARE(Batsim->Amount->text(), QStringLiteral("10"));
                QCOMPARE(Batsim->Simmes1->text(), Legal);
            }
            QCOMPARE(armyOf(1).checkInvariants(), std::string());
            QCOMPARE(armyOf(2).checkInvariants(), std::string());
            QCOMPARE(Mainform->engine.report(), static_cast<ReportColumns*>(Battleform));
        });
    }

    // The default count: the averages lie within each kind's numbers, and
    // the message line is back at rest when the results close.
    void tenRuns() {
        inDialog([] {
            const Result r = runSimulation();
            QVERIFY(r.modal);
            const QStringList left = unitsLeft(r.column[1]);
            QCOMPARE(left.size(), 2);
            const int orcsLeft = left.value(0).section(QLatin1Char(':'), 1).trimmed().toInt();
            QVERIFY(orcsLeft >= 0 && orcsLeft <= 25);
            QVERIFY(simCasualtiesCleared());
            QTRY_COMPARE(Batsim->Simmes1->text(), Resting);
            QCOMPARE(Batsim->Amount->text(), QStringLiteral("10"));
        });
        // A quick simulation shows no progress window.
        QVERIFY(!progressSeen);
    }

    // A long simulation shows its progress, keeps the main window painting,
    // lets nothing else start, and stops quickly when cancelled, leaving the
    // armies and the results window as they were.
    void progressAndCancel() {
        const QString state1 = armyState(armyOf(1));
        const QString state2 = armyState(armyOf(2));
        const QString shown1 = Battleform->Results1->toPlainText();
        const QString shown2 = Battleform->Results2->toPlainText();
        Batsim->afterRunHook = pace(100);
        inDialog([&] {
            typeInto(Batsim->Amount, QStringLiteral("999"));
            QString runsText, timeText;
            int barMaximum = 0;
            bool busyAlone = false;
            int paintsWhileRunning = 0;
            QElapsedTimer sinceCancel;
            whenProgress([&] {
                runsText = Batsim->progressRuns->text();
                timeText = Batsim->progressTime->text();
                barMaximum = Batsim->progressBar->maximum();
                // Other commands wait: the dialog's buttons, the main
                // window's commands.
                QTest::mouseClick(Batsim->BitBtn1, Qt::LeftButton);
                QTest::mouseClick(Batsim->simrun, Qt::LeftButton);
                QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
                QTest::keyClick(Batsim->Amount, Qt::Key_5);
                QApplication::processEvents();
                busyAlone = Batsim->isVisible() && Batsim->simulationRunning() && !Battleform->isVisible() &&
                            Batsim->Amount->text() == QStringLiteral("999");
                PaintCounter painted(Mainform->Armydisplay1->viewport());
                Mainform->Armydisplay1->viewport()->update();
                QTRY_VERIFY(painted.paints > 0);
                paintsWhileRunning = painted.paints;
                sinceCancel.start();
                QTest::mouseClick(Batsim->cancelSimulation, Qt::LeftButton);
            });
            QTest::mouseClick(Batsim->simrun, Qt::LeftButton);  // returns when the runs have stopped
            const qint64 stopMs = sinceCancel.elapsed();

            const QRegularExpressionMatch counts =
                QRegularExpression(QStringLiteral("^Battles fought: (\\d+) of 999$")).match(runsText);
            QVERIFY2(counts.hasMatch(), qPrintable(runsText));
            QVERIFY(counts.captured(1).toInt() > 0 && counts.captured(1).toInt() < 999);
            QVERIFY2(timeText.startsWith(QStringLiteral("Time elapsed: 0:0")) &&
                         timeText.contains(QStringLiteral("Time left: about ")),
                     qPrintable(timeText));
            QCOMPARE(barMaximum, 999);
            QVERIFY(busyAlone);
            QVERIFY(paintsWhileRunning > 0);
            // Stopped after the battles in flight (each paced to a few ms).
            QVERIFY2(stopMs < 400, qPrintable(QString::number(stopMs)));

            QVERIFY(!Batsim->simulationRunning());
            QVERIFY(!Batsim->SimulationProgress->isVisible());
            QVERIFY(!Battleform->isVisible());
            QCOMPARE(Batsim->Simmes1->text(), QStringLiteral("Simulation cancelled"));
            QCOMPARE(Batsim->Amount->text(), QStringLiteral("999"));
        });
        QCOMPARE(Battleform->Results1->toPlainText(), shown1);
        QCOMPARE(Battleform->Results2->toPlainText(), shown2);
        QVERIFY(simCasualtiesCleared());
        QCOMPARE(armyState(armyOf(1)), state1);
        QCOMPARE(armyState(armyOf(2)), state2);
        QCOMPARE(armyOf(1).checkInvariants(), std::string());
        QCOMPARE(armyOf(2).checkInvariants(), std::string());
    }

    // Esc in the dialog while the runs are fought cancels them, then closes
    // it; Esc in the progress window cancels and leaves the dialog open.
    void escapeCancels() {
        const QString state1 = armyState(armyOf(1));
        const QString state2 = armyState(armyOf(2));
        Batsim->afterRunHook = pace(100);
        bool stillOpenUntilStopped = false;
        bool progressStopped = false;
        qint64 stopMs = -1;
        whenModal(QStringLiteral("Batsim"), [&](QWidget*) {
            // In the progress window.
            typeInto(Batsim->Amount, QStringLiteral("999"));
            whenProgress([&] { QTest::keyClick(Batsim->SimulationProgress->focusWidget(), Qt::Key_Escape); });
            QTest::mouseClick(Batsim->simrun, Qt::LeftButton);
            progressStopped = !Batsim->simulationRunning() && Batsim->isVisible() &&
                              Batsim->Simmes1->text() == QStringLiteral("Simulation cancelled");
            // In the dialog itself, before the progress window shows.
            QElapsedTimer sinceEscape;
            QTimer::singleShot(100, [&] {
                QWidget* focus = QApplication::focusWidget();
                sinceEscape.start();
                QTest::keyClick(focus ? focus : Batsim, Qt::Key_Escape);
                stillOpenUntilStopped = Batsim->isVisible() && Batsim->simulationRunning();
            });
            QTest::mouseClick(Batsim->simrun, Qt::LeftButton);
            stopMs = sinceEscape.elapsed();
        });
        QTest::mouseClick(Mainform->Simulation, Qt::LeftButton);  // returns when the dialog has closed
        QVERIFY(progressStopped);
        QVERIFY(stillOpenUntilStopped);
        QVERIFY2(stopMs >= 0 && stopMs < 400, qPrintable(QString::number(stopMs)));
        QVERIFY(!Batsim->isVisible());
        QVERIFY(!Batsim->simulationRunning());
        QVERIFY(!Battleform->isVisible());
        QVERIFY(simCasualtiesCleared());
        QCOMPARE(armyState(armyOf(1)), state1);
        QCOMPARE(armyState(armyOf(2)), state2);
    }

    // A paced simulation that finishes shows its progress and then the
    // averaged result exactly as a quick one does.
    void pacedSimulationFinishes() {
        Batsim->afterRunHook = pace(100);
        inDialog([] {
            typeInto(Batsim->Amount, QStringLiteral("80"));
            QString runsText;
            whenProgress([&] { runsText = Batsim->progressRuns->text(); });
            const Result r = runSimulation();
            QVERIFY2(runsText.endsWith(QStringLiteral(" of 80")), qPrintable(runsText));
            QVERIFY(r.modal);
            QVERIFY(r.statistics);
            QCOMPARE(r.column[0].value(0), QStringLiteral("BATLLE:   SIDE I"));
            QCOMPARE(r.column[0].filter(QStringLiteral("Round")), QStringList());
            QCOMPARE(unitsLeft(r.column[0]).size(), 2);
            QCOMPARE(unitsLeft(r.column[1]).size(), 2);
            QVERIFY(simCasualtiesCleared());
            QVERIFY(!Batsim->SimulationProgress->isVisible());
            // The progress window took nothing from the usual return to
            // the dialog: the count was not 10, so the message is "legal".
            QTRY_COMPARE(Batsim->Amount->text(), QStringLiteral("10"));
            QCOMPARE(Batsim->Simmes1->text(), Legal);
        });
        QVERIFY(progressSeen);
    }

    // Real armies too large for a quick answer: progress, then Cancel.
    void largeArmiesCancel() {
        buildLargeArmies();
        const QString state1 = armyState(armyOf(1));
        const QString state2 = armyState(armyOf(2));
        inDialog([&] {
            typeInto(Batsim->Amount, QStringLiteral("999"));
            QElapsedTimer sinceStart;
            QElapsedTimer sinceCancel;
            qint64 perRunMs = 0;
            whenProgress([&] {
                perRunMs = sinceStart.elapsed() / Batsim->progressBar->value();
                sinceCancel.start();
                QTest::mouseClick(Batsim->cancelSimulation, Qt::LeftButton);
            });
            sinceStart.start();
            QTest::mouseClick(Batsim->simrun, Qt::LeftButton);
            const qint64 stopMs = sinceCancel.elapsed();
            // Battles in flight are finished: at most about one battle's time
            // per worker, far from the 999 runs asked for.
            const qint64 cores = std::max(1u, std::thread::hardware_concurrency());
            QVERIFY2(stopMs < 2 * perRunMs * cores + 200,
                     qPrintable(QStringLiteral("%1 ms to stop, %2 ms a run").arg(stopMs).arg(perRunMs)));
            QCOMPARE(Batsim->Simmes1->text(), QStringLiteral("Simulation cancelled"));
        });
        QVERIFY(!Battleform->isVisible());
        QVERIFY(simCasualtiesCleared());
        QCOMPARE(armyState(armyOf(1)), state1);
        QCOMPARE(armyState(armyOf(2)), state2);
        QCOMPARE(armyOf(1).checkInvariants(), std::string());
        QCOMPARE(armyOf(2).checkInvariants(), std::string());
    }

    // A results window left open by a battle report shows the averaged
    // result, modally, without an error.
    void resultsWindowOpenBeforehand() {
        QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
        QTRY_VERIFY(Battleform->isVisible());
        QVERIFY(!Battleform->isModal());
        QVERIFY(!Battleform->column(0).lines().filter(QStringLiteral("Round 1")).isEmpty());
        inDialog([] {
            typeInto(Batsim->Amount, QStringLiteral("3"));
            const Result r = runSimulation();
            QVERIFY(r.modal);
            QCOMPARE(r.column[0].filter(QStringLiteral("Round")), QStringList());
            QCOMPARE(unitsLeft(r.column[0]).size(), 2);
            QTRY_COMPARE(Batsim->Amount->text(), QStringLiteral("10"));
        });
        QCOMPARE(exceptionsShown, 0);
        // A battle report afterwards opens it without blocking again.
        QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
        QTRY_VERIFY(Battleform->isVisible());
        QVERIFY(!Battleform->isModal());
        QVERIFY(!activeModal());
    }
};

QTEST_MAIN(BatsimTest)
#include "ui_batsim_test.moc"
