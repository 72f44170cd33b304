#include <QLabel>
#include <QRegularExpression>

#include "UiTestSupport.h"

using namespace ui_test;

namespace {

KindValues kind(const std::string& name, const std::string& position, double off, double def, double rof, int att,
                int hit) {
    KindValues v;
    v.Fullname = name;
    v.Abbreviation = name.substr(0, 3);
    v.Position = position;
    v.Offense = off;
    v.Defense = def;
    v.Rangedoff = rof;
    v.Attacks = att;
    v.Hitpoints = hit;
    return v;
}

// Two armies that both lose units in every battle.
void buildArmies() {
    for (Army* a : {&Mainform->PlayerArmy1, &Mainform->PlayerArmy2})
        *a = Army();
    QCOMPARE(Mainform->PlayerArmy1.AddKind(kind("Archers", "R", 1, 0, 2, 1, 1), 20), Army::AddResult::Added);
    QCOMPARE(Mainform->PlayerArmy1.AddKind(kind("Knights", "M", 4, 4, 0, 1, 2), 10), Army::AddResult::Added);
    QCOMPARE(Mainform->PlayerArmy2.AddKind(kind("Orcs", "F", 2, 2, 0, 1, 1), 25), Army::AddResult::Added);
    QCOMPARE(Mainform->PlayerArmy2.AddKind(kind("Trolls", "F", 5, 3, 0, 2, 3), 5), Army::AddResult::Added);
}

// "Name    :     left" for every kind of an army, from its last battle.
QStringList lastBattleLeft(const Army& a) {
    QStringList lines;
    for (int k = 0; k <= a.currentType; ++k) {
        const Unittype& t = a.unittypes[k];
        lines << QString::fromStdString(t.Fullname) + QStringLiteral("    :     ") +
                     IntToStr(t.Number - t.LastCasualties);
    }
    return lines;
}

bool simCasualtiesCleared() {
    for (const Army* a : {&Mainform->PlayerArmy1, &Mainform->PlayerArmy2})
        for (const Unittype& t : a->unittypes)
            if (t.SimCasualties != 0)
                return false;
    return true;
}

struct Result {
    bool modal = false;
    QStringList column[2];
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
    }

    void init() {
        buildArmies();
        exceptionsShown = 0;
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
                QCOMPARE(r.column[0].value(0), QStringLiteral("BATLLE:   SIDE I"));
                QCOMPARE(r.column[1].value(1), QStringLiteral("Wizard 2 : Nameless 2"));
                QCOMPARE(r.column[0].filter(QStringLiteral("Round")), QStringList());
                QCOMPARE(unitsLeft(r.column[0]), lastBattleLeft(Mainform->PlayerArmy1));
                QCOMPARE(unitsLeft(r.column[1]), lastBattleLeft(Mainform->PlayerArmy2));
                QVERIFY(simCasualtiesCleared());
                // The dialog is active again once the results close.
                QTRY_COMPARE(Batsim->Amount->text(), QStringLiteral("10"));
                QCOMPARE(Batsim->Simmes1->text(), Legal);
            }
            QCOMPARE(Mainform->PlayerArmy1.checkInvariants(), std::string());
            QCOMPARE(Mainform->PlayerArmy2.checkInvariants(), std::string());
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
