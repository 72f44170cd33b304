#include <QBarCategoryAxis>
#include <QAbstractBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QRegularExpression>
#include <QTableWidget>
#include <cmath>

#include "UiTestSupport.h"
#include "battle/Simulation.h"

using namespace ui_test;

namespace {

void setArmies(const std::vector<std::pair<KindValues, int>>& one, const std::vector<std::pair<KindValues, int>>& two) {
    Mainform->PlayerArmy1 = Army();
    Mainform->PlayerArmy2 = Army();
    for (const auto& [values, n] : one)
        QCOMPARE(Mainform->PlayerArmy1.AddKind(values, n), Army::AddResult::Added);
    for (const auto& [values, n] : two)
        QCOMPARE(Mainform->PlayerArmy2.AddKind(values, n), Army::AddResult::Added);
}

// Giants no rat can bring down: side I wins every battle, losing nothing.
void oneSidedArmies() {
    setArmies({{kind("Giants", "F", 6, 6, 0, 3, 1000), 3}}, {{kind("Rats", "F", 1, 0, 0, 1, 1), 4}});
}

// Two armies either of which may win.
void evenArmies() {
    setArmies({{kind("Archers", "R", 1, 0, 0, 1, 1), 20}, {kind("Knights", "M", 4, 4, 0, 1, 2), 10}},
              {{kind("Orcs", "F", 2, 2, 0, 1, 1), 25}, {kind("Trolls", "F", 5, 3, 0, 2, 3), 5}});
    Mainform->PlayerArmy1.unittypes[0].Rangedoff = 2;
    Mainform->PlayerArmy1.Rebuild();
}

struct Shown {
    bool modal = false;
    QSize size;
    bool panel = false;
    QString column[2];
};

// Runs a simulation of runs battles through the dialog and returns what the
// results window showed; the window stays filled after it closes.
Shown simulate(int runs) {
    Shown shown;
    whenModal(QStringLiteral("Batsim"), [&](QWidget* dialog) {
        typeInto(Batsim->Amount, QString::number(runs));
        whenModal(QStringLiteral("Battleform"), [&](QWidget* results) {
            shown.modal = true;
            shown.size = results->size();
            shown.panel = Battleform->Statistics->isVisible();
            shown.column[0] = Battleform->Results1->toPlainText();
            shown.column[1] = Battleform->Results2->toPlainText();
            clickButton(results, QStringLiteral("BitBtn1"));
        });
        QTest::mouseClick(Batsim->simrun, Qt::LeftButton);
        clickButton(dialog, QStringLiteral("BitBtn1"));
    });
    QTest::mouseClick(Mainform->Simulation, Qt::LeftButton);
    return shown;
}

QString cell(int row, int column) {
    const QTableWidgetItem* item = Battleform->Odds->item(row, column);
    return item ? item->text() : QString();
}

// The rows of the odds table of one side (0 or 1): its win chance row and
// its kinds' rows, by the text of their first cell.
QMap<QString, QStringList> oddsOf(int side) {
    QMap<QString, QStringList> rows;
    int current = -1;
    for (int row = 0; row < Battleform->Odds->rowCount(); ++row) {
        const QString first = cell(row, 0);
        if (first.startsWith(QStringLiteral("Side I:")))
            current = 0;
        else if (first.startsWith(QStringLiteral("Side II:")))
            current = 1;
        else if (first.startsWith(QStringLiteral("Both armies")))
            current = 2;
        else if (current == side)
            rows[first] = QStringList{cell(row, 1), cell(row, 2), cell(row, 3), cell(row, 4)};
    }
    return rows;
}

double percent(const QString& text) {
    QString t = text;
    return t.remove(QLatin1Char('%')).toDouble();
}

QString pct(double share) { return QString::number(share * 100, 'f', 1) + QLatin1Char('%'); }

// Per bar set of the spread chart: category label -> share of battles.
QList<QMap<QString, double>> chartBars() {
    QList<QMap<QString, double>> bars;
    const QList<QAbstractSeries*> series = Battleform->Spread->chart()->series();
    if (series.size() != 1)
        return bars;
    auto* barSeries = qobject_cast<QAbstractBarSeries*>(series.first());
    const auto axes = barSeries->attachedAxes();
    QStringList labels;
    for (QAbstractAxis* axis : axes)
        if (auto* categories = qobject_cast<QBarCategoryAxis*>(axis))
            labels = categories->categories();
    for (QBarSet* set : barSeries->barSets()) {
        QMap<QString, double> shares;
        for (int i = 0; i < set->count(); ++i)
            shares[labels.value(i)] = set->at(i);
        bars << shares;
    }
    return bars;
}

// "Name    :     n" lines after "UNITS LEFT:".
QStringList unitsLeft(const QString& column) {
    const QStringList lines = column.split(QLatin1Char('\n'));
    const int at = static_cast<int>(lines.lastIndexOf(QStringLiteral("UNITS LEFT:")));
    return at < 0 ? QStringList() : lines.mid(at + 1).filter(QRegularExpression(QStringLiteral(".")));
}

}  // namespace

class ResultsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { startProgram(); }

    void cleanup() {
        Battleform->hide();
        QVERIFY(!activeModal());
    }

    // A battle one side always wins: certain figures, and the interval of
    // a share of 10 out of 10.
    void oneSidedOdds() {
        oneSidedArmies();
        const Shown shown = simulate(10);
        QVERIFY(shown.modal);
        QVERIFY(shown.panel);
        QCOMPARE(unitsLeft(shown.column[0]), QStringList{QStringLiteral("Giants    :     3")});
        QCOMPARE(unitsLeft(shown.column[1]), QStringList{QStringLiteral("Rats    :     0")});
        QCOMPARE(Battleform->statisticsTitle->text(), QStringLiteral("Odds over 10 battles"));

        const auto one = oddsOf(0);
        const auto two = oddsOf(1);
        const Proportion certain = WinChance(10, 10);
        const Proportion never = WinChance(0, 10);
        QCOMPARE(certain.high, 1.0);
        QCOMPARE(never.low, 0.0);
        QCOMPARE(one.value(QStringLiteral("Chance of winning")),
                 (QStringList{QStringLiteral("100.0%"), QStringLiteral("95%: 72.2% to 100.0%"), QString(), QString()}));
        QCOMPARE(one.value(QStringLiteral("Chance of winning")).value(1),
                 QStringLiteral("95%: %1 to %2").arg(pct(certain.low), pct(certain.high)));
        QCOMPARE(two.value(QStringLiteral("Chance of winning")).mid(0, 2),
                 (QStringList{QStringLiteral("0.0%"), QStringLiteral("95%: 0.0% to 27.8%")}));
        QCOMPARE(one.value(QStringLiteral("Giants")),
                 (QStringList{QStringLiteral("3.0"), QStringLiteral("0.0"), QStringLiteral("3"), QStringLiteral("3")}));
        QCOMPARE(two.value(QStringLiteral("Rats")),
                 (QStringList{QStringLiteral("0.0"), QStringLiteral("0.0"), QStringLiteral("0"), QStringLiteral("0")}));
        QVERIFY(oddsOf(2).isEmpty());  // no battle left both armies dead

        // Side I always ends with its 3 giants, side II with nothing.
        const auto bars = chartBars();
        QCOMPARE(bars.size(), 2);
        QCOMPARE(bars[0].value(QStringLiteral("3")), 100.0);
        QCOMPARE(bars[0].value(QStringLiteral("0")), 0.0);
        QCOMPARE(bars[1].value(QStringLiteral("0")), 100.0);
        QCOMPARE(bars[1].value(QStringLiteral("3")), 0.0);
    }

    // Either side may win: the figures agree with one another and with the
    // averaged result of the two report columns.
    void evenOdds() {
        evenArmies();
        const int runs = 60;
        const Shown shown = simulate(runs);
        QVERIFY(shown.panel);
        const char* names[2][2] = {{"Archers", "Knights"}, {"Orcs", "Trolls"}};
        const int numbers[2][2] = {{20, 10}, {25, 5}};
        double chances = 0;
        for (int side = 0; side < 3; ++side) {
            const auto rows = oddsOf(side);
            const QStringList chance = rows.value(side < 2 ? QStringLiteral("Chance of winning") : QStringLiteral("Chance"));
            if (side == 2 && chance.isEmpty())
                continue;
            const double p = percent(chance.value(0));
            const QRegularExpressionMatch interval =
                QRegularExpression(QStringLiteral("^95%: ([\\d.]+)% to ([\\d.]+)%$")).match(chance.value(1));
            QVERIFY2(interval.hasMatch(), qPrintable(chance.value(1)));
            QVERIFY(interval.captured(1).toDouble() <= p && p <= interval.captured(2).toDouble());
            chances += p;
            if (side == 2)
                continue;
            const QStringList left = unitsLeft(shown.column[side]);
            QCOMPARE(left.size(), 2);
            for (int k = 0; k < 2; ++k) {
                const QStringList figures = rows.value(QString::fromLatin1(names[side][k]));
                QCOMPARE(figures.size(), 4);
                const double mean = figures[0].toDouble();
                const int min = figures[2].toInt();
                const int max = figures[3].toInt();
                QVERIFY(0 <= min && min <= mean && mean <= max && max <= numbers[side][k]);
                QVERIFY(figures[1].toDouble() >= 0);
                // The averaged result drops the remainder of the losses: it
                // is the mean rounded up.
                const int averaged = left[k].section(QLatin1Char(':'), 1).trimmed().toInt();
                QVERIFY2(min <= averaged && averaged <= max && std::abs(averaged - mean) < 1.05,
                         qPrintable(left[k] + QStringLiteral(" vs mean ") + figures[0]));
            }
        }
        QVERIFY2(std::abs(chances - 100) < 0.25, qPrintable(QString::number(chances)));

        const auto bars = chartBars();
        QCOMPARE(bars.size(), 2);
        for (const auto& set : bars) {
            double total = 0;
            for (double share : set)
                total += share;
            QVERIFY(std::abs(total - 100) < 0.01);
        }
    }

    // The panel lies beside the report window, which keeps its size,
    // controls and text without it; a battle report shows no panel.
    void panelBesideTheDesign() {
        oneSidedArmies();
        // A simulation, then a single battle report: no panel, the window at its own size.
        QVERIFY(simulate(5).panel);
        QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
        QTRY_VERIFY(Battleform->isVisible());
        QVERIFY(!Battleform->Statistics->isVisible());
        QVERIFY(!Battleform->statisticsShown());
        QCOMPARE(Battleform->size(), QSize(755, 554));
        QVERIFY(!Battleform->column(0).lines().filter(QStringLiteral("Round 1")).isEmpty());
        Battleform->hide();

        const QRect original[] = {Battleform->title->geometry(), Battleform->Results1->geometry(),
                                  Battleform->Results2->geometry(), Battleform->BitBtn1->geometry()};

        const Shown shown = simulate(5);
        QVERIFY(shown.panel);
        QVERIFY(shown.size.width() > 755);
        QCOMPARE(shown.size.height(), 554);
        QVERIFY(Battleform->Statistics->geometry().left() >= 755);
        QVERIFY(Battleform->Statistics->geometry().right() < shown.size.width());
        QCOMPARE(Battleform->Results1->toPlainText(), shown.column[0]);
        QCOMPARE(Battleform->Results2->toPlainText(), shown.column[1]);

        Battleform->hideStatistics();
        QCOMPARE(Battleform->size(), QSize(755, 554));
        QCOMPARE(Battleform->Results1->toPlainText(), shown.column[0]);
        QCOMPARE(Battleform->Results2->toPlainText(), shown.column[1]);
        const QRect after[] = {Battleform->title->geometry(), Battleform->Results1->geometry(),
                               Battleform->Results2->geometry(), Battleform->BitBtn1->geometry()};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(after[i], original[i]);
    }
};

QTEST_MAIN(ResultsTest)
#include "ui_results_test.moc"
