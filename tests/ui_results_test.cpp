#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cmath>

#include "UiTestSupport.h"
#include "battle/Simulation.h"
#include "files/ArmyFileIO.h"

using namespace ui_test;

namespace {

void setArmies(const std::vector<std::pair<KindValues, int>>& one, const std::vector<std::pair<KindValues, int>>& two) {
    clearArmies();
    for (const auto& [values, n] : one)
        addKind(1, values, n);
    for (const auto& [values, n] : two)
        addKind(2, values, n);
}

// Giants no rat can bring down: side I wins every battle, losing nothing.
void oneSidedArmies() {
    setArmies({{kind("Giants", "F", 6, 6, 0, 3, 1000), 3}}, {{kind("Rats", "F", 1, 0, 0, 1, 1), 4}});
}

// Two armies either of which may win.
void evenArmies() {
    setArmies({{kind("Archers", "R", 1, 0, 0, 1, 1), 20}, {kind("Knights", "M", 4, 4, 0, 1, 2), 10}},
              {{kind("Orcs", "F", 2, 2, 0, 1, 1), 25}, {kind("Trolls", "F", 5, 3, 0, 2, 3), 5}});
    changePlayers([](Players& p) {
        p.army(1).unittypes[0].Rangedoff = 2;
        p.army(1).Rebuild();
    });
}

struct Shown {
    bool modal = false;
    QSize size;
    QRect frame;
    bool panel = false;
    QString column[2];
    // Scrolled to its start, the window shows its Close button whole; and
    // scrolled to its end, the right edge of the page.
    bool closeVisible = false;
    bool endReachable = false;
};

// Runs a simulation of runs battles through the dialog and returns what the
// results window showed; the window stays filled after it closes. whileShown
// acts on the results window before it is closed.
Shown simulate(int runs, const std::function<void()>& whileShown = {}) {
    Shown shown;
    whenModal(QStringLiteral("Batsim"), [&](QWidget* dialog) {
        typeInto(Batsim->Amount, QString::number(runs));
        whenModal(QStringLiteral("Battleform"), [&](QWidget* results) {
            shown.modal = true;
            shown.size = results->size();
            shown.frame = results->frameGeometry();
            shown.panel = Battleform->Statistics->isVisible();
            shown.column[0] = Battleform->Results1->toPlainText();
            shown.column[1] = Battleform->Results2->toPlainText();
            QWidget* viewport = Battleform->Scroller->viewport();
            QScrollBar* across = Battleform->Scroller->horizontalScrollBar();
            const QRect close(Battleform->BitBtn1->mapTo(viewport, QPoint(0, 0)), Battleform->BitBtn1->size());
            shown.closeVisible = across->value() == 0 && viewport->rect().contains(close);
            // Left scrolled to the end: the next result must open at its start.
            across->setValue(across->maximum());
            shown.endReachable = Battleform->Page->mapTo(viewport, QPoint(Battleform->Page->width() - 1, 0)).x() ==
                                 viewport->width() - 1;
            if (whileShown)
                whileShown();
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

QString pct(double share) {
    return QString::number(share * 100, 'f', 1) + QLatin1Char('%');
}

// The curve of a side's chart: (units left, share of battles) points.
QList<QPointF> curveOf(QChartView* view) {
    const QList<QAbstractSeries*> series = view->chart()->series();
    if (series.size() != 1)
        return {};
    auto* area = qobject_cast<QAreaSeries*>(series.first());
    return area && area->upperSeries() ? area->upperSeries()->points() : QList<QPointF>();
}

// The share of battles the curve gives for at least n units left.
double shareAtLeast(const QList<QPointF>& curve, double n) {
    for (qsizetype i = 0; i + 1 < curve.size(); ++i)
        if (curve[i].x() < n && n <= curve[i + 1].x() && curve[i].y() == curve[i + 1].y())
            return curve[i].y();
    return 0;
}

// "Name    :     n" lines after "UNITS LEFT:".
QStringList unitsLeft(const QString& column) {
    const QStringList lines = column.split(QLatin1Char('\n'));
    const int at = static_cast<int>(lines.lastIndexOf(QStringLiteral("UNITS LEFT:")));
    return at < 0 ? QStringList() : lines.mid(at + 1).filter(QRegularExpression(QStringLiteral(".")));
}

// A hand-made result: side I wins winsI of runs battles with leftI units
// left, side II the others with leftII.
SimulationResult handResult(int runs, int winsI, int32_t leftI, int32_t leftII) {
    SimulationResult result;
    result.runsDone = runs;
    result.sides[0].wins = winsI;
    result.sides[1].wins = runs - winsI;
    for (int run = 0; run < runs; ++run) {
        result.sides[0].totalLeft.push_back(run < winsI ? leftI : 0);
        result.sides[1].totalLeft.push_back(run < winsI ? 0 : leftII);
    }
    return result;
}

// Opens a column's pop-up menu as a right-click does and clicks the item.
void chooseFromMenu(QPlainTextEdit* column, const QString& item) {
    QWidget* viewport = column->viewport();
    const QPoint at(30, 30);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &click);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu);
    const QList<QAction*> actions = menu->actions();
    QVERIFY(actions.size() > 2);
    QCOMPARE(actions[0]->text(), QStringLiteral("Copy Report"));
    QCOMPARE(actions[1]->text(), QStringLiteral("Save Report..."));
    QAction* chosen = menu->findChild<QAction*>(item);
    QVERIFY(chosen);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
    QTRY_VERIFY(!QApplication::activePopupWidget());
}

// A column as the report text holds it: its lines up to its last non-empty one.
QString columnText(int column) {
    QStringList lines = Battleform->column(column).lines();
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString fileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
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
        QCOMPARE(Battleform->Chances1->chart()->title(), QStringLiteral("Side I wins 100.0% of the battles"));
        QCOMPARE(Battleform->Chances2->chart()->title(), QStringLiteral("Side II wins 0.0% of the battles"));
        const QList<QPointF> giants = curveOf(Battleform->Chances1);
        for (int n = 1; n <= 3; ++n)
            QCOMPARE(shareAtLeast(giants, n), 100.0);
        QCOMPARE(shareAtLeast(giants, 4), 0.0);
        const QList<QPointF> rats = curveOf(Battleform->Chances2);
        QVERIFY(!rats.isEmpty());
        QCOMPARE(shareAtLeast(rats, 1), 0.0);
    }

    // Either side may win: the figures agree with one another and with the
    // averaged result of the two report columns.
    void evenOdds() {
        evenArmies();
        const int runs = 60;
        const Shown shown = simulate(runs);
        QVERIFY(shown.panel);
        // The last result was left scrolled to its end; this one opens at its start.
        QVERIFY(shown.closeVisible);
        const char* names[2][2] = {{"Archers", "Knights"}, {"Orcs", "Trolls"}};
        const int numbers[2][2] = {{20, 10}, {25, 5}};
        double chances = 0;
        for (int side = 0; side < 3; ++side) {
            const auto rows = oddsOf(side);
            const QStringList chance =
                rows.value(side < 2 ? QStringLiteral("Chance of winning") : QStringLiteral("Chance"));
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

        // Each curve starts at its side's chance of winning and never rises.
        QChartView* views[2] = {Battleform->Chances1, Battleform->Chances2};
        for (int side = 0; side < 2; ++side) {
            const QList<QPointF> curve = curveOf(views[side]);
            QVERIFY(!curve.isEmpty());
            QCOMPARE(QString::number(curve.first().y(), 'f', 1) + QLatin1Char('%'),
                     oddsOf(side).value(QStringLiteral("Chance of winning")).value(0));
            for (qsizetype i = 1; i < curve.size(); ++i)
                QVERIFY(curve[i].y() <= curve[i - 1].y() && curve[i].x() >= curve[i - 1].x());
        }
    }

    // The chart of a result draws the same in a window that showed the
    // result of far larger armies before as in a fresh window: no axis, label
    // or curve of the earlier result stays drawn.
    void chartsDrawFresh() {
        setArmies({{kind("Giants", "F", 6, 6, 0, 3, 1000), 9999}}, {{kind("Rats", "F", 1, 0, 0, 1, 1), 9999}});
        Battleform->showStatistics(players(), handResult(7, 3, 9000, 8000));
        Battleform->show();
        const QImage larger = Battleform->Chances1->grab().toImage();

        oneSidedArmies();
        const SimulationResult small = handResult(10, 6, 2, 3);
        Battleform->showStatistics(players(), small);
        TBattleform fresh(nullptr, document());
        fresh.showStatistics(players(), small);
        fresh.show();
        QCOMPARE(fresh.size(), Battleform->size());
        QTRY_COMPARE(Battleform->Chances1->grab().toImage(), fresh.Chances1->grab().toImage());
        QTRY_COMPARE(Battleform->Chances2->grab().toImage(), fresh.Chances2->grab().toImage());
        QVERIFY(Battleform->Chances1->grab().toImage() != larger);
    }

    // "Copy Report" puts both columns on the clipboard, side I's first;
    // "Save Report..." writes them to a file, with the odds after a
    // simulation; a file that cannot be written is reported, not created.
    void reportKeptAsText() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        oneSidedArmies();
        QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
        QTRY_VERIFY(Battleform->isVisible());
        const QString columns = columnText(0) + QLatin1Char('\n') + columnText(1);
        QVERIFY(columns.startsWith(QStringLiteral("BATLLE:   SIDE I\n")));
        QVERIFY(columns.contains(QStringLiteral("\n\nBATLLE:   SIDE II\n")));
        QVERIFY(columns.contains(QStringLiteral("Round 1")));
        QGuiApplication::clipboard()->clear();
        chooseFromMenu(Battleform->Results2, QStringLiteral("CopyReport1"));
        QCOMPARE(QGuiApplication::clipboard()->text(), columns);

        const QString report = dir.filePath(QStringLiteral("report.txt"));
        Battleform->chooseReportPath = [&] { return report; };
        chooseFromMenu(Battleform->Results1, QStringLiteral("SaveReport1"));
        QCOMPARE(fileText(report), columns);
        Battleform->hide();

        // After a simulation the file also holds the odds shown beside the
        // columns; the clipboard gets the columns alone.
        const QString odds = dir.filePath(QStringLiteral("odds.txt"));
        const QString nowhere = dir.filePath(QStringLiteral("missing/odds.txt"));
        QString copied, refused, simulated;
        simulate(10, [&] {
            simulated = columnText(0) + QLatin1Char('\n') + columnText(1);
            chooseFromMenu(Battleform->Results1, QStringLiteral("CopyReport1"));
            copied = QGuiApplication::clipboard()->text();
            Battleform->chooseReportPath = [&] { return odds; };
            chooseFromMenu(Battleform->Results2, QStringLiteral("SaveReport1"));
            Battleform->chooseReportPath = [&] { return nowhere; };
            whenModal(QStringLiteral("FileError"), [&](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                QVERIFY(box);
                refused = box->text();
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            });
            chooseFromMenu(Battleform->Results2, QStringLiteral("SaveReport1"));
        });
        QCOMPARE(copied, simulated);
        const QString saved = fileText(odds);
        QVERIFY2(saved.startsWith(simulated + QStringLiteral("\nODDS OVER 10 RUNS:\n")), qPrintable(saved));
        for (const char* piece : {"Side I  wins: 100.0%", "Side II wins:   0.0%",
                                  "UNITS LEFT PER BATTLE:", "SIDE I (Wizard 1 : ", " Giants ", " Rats "})
            QVERIFY2(saved.contains(QLatin1String(piece)), piece);
        QVERIFY(!QFile::exists(nowhere));
        QVERIFY(refused.contains(QStringLiteral("could not be saved")));
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

        // The window with its panel is wider than the test screen (800 x 600):
        // it fits the screen, shows its Close button, and scrolls to the rest.
        const Shown shown = simulate(5);
        QVERIFY(shown.panel);
        const QRect room = Battleform->screen()->availableGeometry();
        QCOMPARE(Battleform->Page->size(), QSize(1255, 554));
        QVERIFY2(room.width() < 1255, "the test screen should be too small for the window");
        QVERIFY2(room.contains(shown.frame), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                            .arg(shown.frame.x())
                                                            .arg(shown.frame.y())
                                                            .arg(shown.frame.width())
                                                            .arg(shown.frame.height())));
        QVERIFY(shown.size.width() > 755 && shown.size.height() > 554);
        QVERIFY(shown.closeVisible);
        QVERIFY(shown.endReachable);
        QVERIFY(Battleform->Statistics->geometry().left() >= 755);
        QVERIFY(Battleform->Statistics->geometry().right() < Battleform->Page->width());
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

    // A battle of the simulation shown, in a window of its own that names
    // it: picked from the list, where an outcome that never occurred is
    // named and cannot be chosen, or by a click on a chart; its report is
    // orbsim --show-run's for the same seed.
    void battlesOfTheSimulation() {
        evenArmies();
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("armies.json"));
        QString error;
        QVERIFY(armyfile::SaveArmies(file, armyfile::SetupOf(players()), &error));
        QStringList items;
        QString picked, copied, clicked;
        simulate(40, [&] {
            QComboBox* list = Battleform->ShowBattle;
            for (int i = 0; i < list->count(); ++i)
                items << list->itemText(i) + (list->model()->flags(list->model()->index(i, 0)) & Qt::ItemIsEnabled
                                                  ? QString()
                                                  : QStringLiteral(" (off)"));
            whenModal(QStringLiteral("RunReport"), [&](QWidget* w) {
                picked = w->windowTitle();
                copied = QString::fromStdString(Battleform->RunReport->reportText(false));
                clickButton(w, QStringLiteral("BitBtn1"));
            });
            emit list->activated(static_cast<int>(items.indexOf(QStringLiteral("The worst battle for side I"))));
            QTRY_VERIFY(!picked.isEmpty());
            QTRY_VERIFY(!Battleform->RunReport->isVisible());

            // A click at 3 units on side I's chart: a battle with 3 of its units left, or the nearest.
            whenModal(QStringLiteral("RunReport"), [&](QWidget* w) {
                clicked = w->windowTitle();
                clickButton(w, QStringLiteral("BitBtn1"));
            });
            QChartView* chart = Battleform->Chances1;
            const QPoint at = chart->mapFromScene(chart->chart()->mapToPosition(QPointF(3, 50)));
            QTest::mouseClick(chart->viewport(), Qt::LeftButton, Qt::NoModifier, at);
            QTRY_VERIFY(!clicked.isEmpty());
        });
        QVERIFY2(items.contains(QStringLiteral("A battle side I won")), qPrintable(items.join('|')));
        QVERIFY(items.contains(QStringLiteral("A battle side II won")));
        QVERIFY(items.contains(QStringLiteral("No battle of the 40 ended with both armies gone (off)")));

        const SimulationResult& result = Battleform->simulation()->result;
        const std::vector<int32_t>& left = result.sides[0].totalLeft;
        const int fewest = *std::min_element(left.begin(), left.end());
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^Battle (\\d+) of 40: side (I|II) won with (\\d+) units? left$"))
                .match(picked);
        QVERIFY2(m.hasMatch(), qPrintable(picked));
        QCOMPARE(m.captured(2) == QLatin1String("I") ? m.captured(3).toInt() : 0, fewest);
        QCOMPARE(copied.section(QLatin1Char('\n'), 0, 0), picked);

        QProcess orbsim;
        orbsim.start(QStringLiteral(ORBSIM_PATH),
                     {file, QStringLiteral("--runs"), QStringLiteral("40"), QStringLiteral("--seed"),
                      QString::number(result.seed), QStringLiteral("--show-run"), m.captured(1)});
        QVERIFY(orbsim.waitForFinished(60000));
        QCOMPARE(copied, QString::fromUtf8(orbsim.readAllStandardOutput()));

        int nearest = left[0];
        for (int32_t count : left)
            if (std::abs(count - 3) < std::abs(nearest - 3) ||
                (std::abs(count - 3) == std::abs(nearest - 3) && count < nearest))
                nearest = count;
        const QRegularExpressionMatch c =
            QRegularExpression(QStringLiteral("^Battle \\d+ of 40: side (I|II) won with (\\d+) units? left$"))
                .match(clicked);
        QVERIFY2(c.hasMatch(), qPrintable(clicked));
        QCOMPARE(c.captured(1) == QLatin1String("I") ? c.captured(2).toInt() : 0, nearest);
    }
};

QTEST_MAIN(ResultsTest)
#include "ui_results_test.moc"
