#include "Results.h"

#include <QBarCategoryAxis>
#include <QHorizontalBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QScreen>
#include <QTableWidget>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "Simulator.h"
#include "battle/Simulation.h"

namespace {
constexpr int PreparedLines = 300;
constexpr int ReportWidth = 755;
constexpr int ReportHeight = 554;
constexpr int PanelWidth = 500;
// Most bars of the spread chart besides the one for "no units left".
constexpr int SpreadBins = 6;

QString Percent(double share) { return QString::number(share * 100, 'f', 1) + QLatin1Char('%'); }

QString Interval(const Proportion& p) {
    return QStringLiteral("95%: %1 to %2").arg(Percent(p.low), Percent(p.high));
}

QTableWidgetItem* Cell(const QString& text, Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(align);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

// Units left of a run, grouped: "0" alone (the side lost), then ranges of a
// round width (1, 2 or 5 times a power of ten) up to the largest count
// either side kept.
struct Bins {
    QStringList labels;
    std::vector<int64_t> upper;  // inclusive upper bound of each bin

    explicit Bins(int32_t largest) {
        labels << QStringLiteral("0");
        upper.push_back(0);
        if (largest <= 0)
            return;
        const int64_t wanted = (static_cast<int64_t>(largest) + SpreadBins - 1) / SpreadBins;
        int64_t width = 1;
        for (int64_t scale = 1; width < wanted; scale *= 10)
            for (int64_t m : {1, 2, 5})
                if (width < wanted)
                    width = m * scale;
        for (int64_t low = 1; low <= largest; low += width) {
            const int64_t high = low + width - 1;
            labels << (low == high ? QString::number(low) : QStringLiteral("%1 \u2013 %2").arg(low).arg(high));
            upper.push_back(high);
        }
    }
    int index(int32_t value) const {
        return static_cast<int>(std::lower_bound(upper.begin(), upper.end(), value) - upper.begin());
    }
};
}  // namespace

TBattleform::TBattleform(QWidget* parent)
    : Form(QStringLiteral("Battleform"), QStringLiteral("Battle Results"), 755, 554, parent) {
    title = MakeTitle(QStringLiteral("title"), QStringLiteral("*** Battle Results ***"), this, 40);
    title->setGeometry(0, 0, 755, 56);
    auto makeColumn = [this](const QString& name, int x) {
        auto* memo = new QPlainTextEdit(this);
        memo->setObjectName(name);
        memo->setReadOnly(true);
        memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo->setGeometry(x, 66, 362, 430);
        return memo;
    };
    Results1 = makeColumn(QStringLiteral("Results1"), 10);
    Results2 = makeColumn(QStringLiteral("Results2"), 383);
    column1_ = std::make_unique<MemoBoard>(Results1, PreparedLines, true);
    column2_ = std::make_unique<MemoBoard>(Results2, PreparedLines, true);
    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Close, this);
    BitBtn1->setGeometry(330, 508, 95, 32);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    tabOrder().set({BitBtn1});

    // The odds panel lies right of the report, and the window widens to show
    // it, so the report controls keep their places and sizes.
    Statistics = new QWidget(this);
    Statistics->setObjectName(QStringLiteral("Statistics"));
    Statistics->setGeometry(ReportWidth, 0, PanelWidth, ReportHeight);
    statisticsTitle = MakeTitle(QStringLiteral("statisticsTitle"), QString(), Statistics, 20);
    statisticsTitle->setGeometry(0, 0, PanelWidth, 56);

    Odds = new QTableWidget(0, 5, Statistics);
    Odds->setObjectName(QStringLiteral("Odds"));
    Odds->setHorizontalHeaderLabels({QStringLiteral("Units left per kind"), QStringLiteral("Mean"), QStringLiteral("Std. dev."),
                                     QStringLiteral("Min"), QStringLiteral("Max")});
    Odds->verticalHeader()->hide();
    Odds->verticalHeader()->setDefaultSectionSize(20);
    Odds->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < 5; ++c) {
        Odds->horizontalHeader()->setSectionResizeMode(c, QHeaderView::Fixed);
        Odds->setColumnWidth(c, 66);
    }
    Odds->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Odds->setWordWrap(false);
    Odds->setGeometry(0, 66, PanelWidth - 10, 204);

    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("Units left at the end of a battle"));
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    Spread = new QChartView(chart, Statistics);
    Spread->setObjectName(QStringLiteral("Spread"));
    Spread->setRenderHint(QPainter::Antialiasing);
    Spread->setGeometry(0, 278, PanelWidth - 10, 262);

    Statistics->hide();
}

bool TBattleform::statisticsShown() const { return !Statistics->isHidden(); }

void TBattleform::hideStatistics() {
    Statistics->hide();
    setFixedSize(ReportWidth, ReportHeight);
}

void TBattleform::showStatistics(const SimulationResult& result) {
    statisticsTitle->setText(QStringLiteral("Odds over %1 %2")
                                 .arg(result.runsDone)
                                 .arg(result.runsDone == 1 ? QStringLiteral("battle") : QStringLiteral("battles")));
    fillOdds(result);
    fillSpread(result);
    setFixedSize(ReportWidth + PanelWidth, ReportHeight);
    Statistics->show();
}

void TBattleform::fillOdds(const SimulationResult& result) {
    Odds->clearContents();
    Odds->setRowCount(0);
    Odds->clearSpans();
    auto addRow = [this] {
        const int row = Odds->rowCount();
        Odds->insertRow(row);
        return row;
    };
    auto sideRow = [&](const QString& text) {
        const int row = addRow();
        QTableWidgetItem* item = Cell(text, Qt::AlignLeft | Qt::AlignVCenter);
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
        item->setBackground(QColor(0xe8, 0xe8, 0xc8));
        Odds->setItem(row, 0, item);
        Odds->setSpan(row, 0, 1, 5);
    };
    auto chanceRow = [&](const QString& what, int64_t count) {
        const Proportion p = WinChance(count, result.runsDone);
        const int row = addRow();
        Odds->setItem(row, 0, Cell(what, Qt::AlignLeft | Qt::AlignVCenter));
        Odds->setItem(row, 1, Cell(Percent(p.value)));
        Odds->setItem(row, 2, Cell(Interval(p), Qt::AlignLeft | Qt::AlignVCenter));
        Odds->setSpan(row, 2, 1, 3);
    };

    const Army* armies[2] = {&Mainform->PlayerArmy1, &Mainform->PlayerArmy2};
    const char* sideNames[2] = {"Side I", "Side II"};
    for (int s = 0; s < 2; ++s) {
        sideRow(QStringLiteral("%1: Wizard %2 : %3")
                    .arg(QLatin1String(sideNames[s]), QString::fromStdString(playerNumber(s)),
                         QString::fromStdString(wizardName(s))));
        chanceRow(QStringLiteral("Chance of winning"), result.sides[s].wins);
        const Army& army = *armies[s];
        for (int32_t k = 0; k <= army.currentType && k < Army::maxTypes; ++k) {
            const Unittype& kind = army.unittypes[k];
            if (kind.Fullname.empty())
                continue;
            const ::Spread& left = result.sides[s].unitsLeft[k];
            const int row = addRow();
            Odds->setItem(row, 0, Cell(QString::fromStdString(kind.Fullname), Qt::AlignLeft | Qt::AlignVCenter));
            Odds->setItem(row, 1, Cell(QString::number(left.mean, 'f', 1)));
            Odds->setItem(row, 2, Cell(QString::number(left.standardDeviation(), 'f', 1)));
            Odds->setItem(row, 3, Cell(QString::number(left.min)));
            Odds->setItem(row, 4, Cell(QString::number(left.max)));
        }
    }
    // Battles in which both armies died to the last unit.
    const int64_t neither = result.runsDone - result.sides[0].wins - result.sides[1].wins;
    if (neither > 0) {
        sideRow(QStringLiteral("Both armies wiped out"));
        chanceRow(QStringLiteral("Chance"), neither);
    }
}

void TBattleform::fillSpread(const SimulationResult& result) {
    QChart* chart = Spread->chart();
    chart->removeAllSeries();
    // A removed axis is no longer the chart's to delete.
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }

    int32_t largest = 0;
    for (const SideResult& side : result.sides)
        for (int32_t left : side.totalLeft)
            largest = std::max(largest, left);
    const Bins bins(largest);

    // Bars lying down, so a range of any length reads in full.
    auto* series = new QHorizontalBarSeries;
    double highest = 0;
    const char* sideNames[2] = {"Side I", "Side II"};
    for (int s = 0; s < 2; ++s) {
        std::vector<int> counts(bins.labels.size(), 0);
        for (int32_t left : result.sides[s].totalLeft)
            ++counts[static_cast<size_t>(bins.index(left))];
        auto* set = new QBarSet(QStringLiteral("%1 (%2)").arg(QLatin1String(sideNames[s]),
                                                             QString::fromStdString(wizardName(s))));
        const double runs = std::max<double>(1, static_cast<double>(result.sides[s].totalLeft.size()));
        for (int count : counts) {
            const double share = 100.0 * count / runs;
            highest = std::max(highest, share);
            *set << share;
        }
        series->append(set);
    }
    series->setBarWidth(0.85);
    chart->addSeries(series);

    auto* units = new QBarCategoryAxis;
    units->append(bins.labels);
    units->setTitleText(QStringLiteral("Units left"));
    chart->addAxis(units, Qt::AlignLeft);
    series->attachAxis(units);

    // Round steps of the share, at most six ticks.
    const double step = highest <= 30 ? 5 : highest <= 60 ? 10 : 20;
    const double top = std::max(step, std::ceil(highest / step) * step);
    auto* share = new QValueAxis;
    share->setRange(0, top);
    share->setLabelFormat(QStringLiteral("%d%%"));
    share->setTickCount(static_cast<int>(top / step) + 1);
    share->setTitleText(QStringLiteral("Share of battles"));
    chart->addAxis(share, Qt::AlignBottom);
    series->attachAxis(share);
}

void TBattleform::showEvent(QShowEvent* event) {
    Form::showEvent(event);
    // Widened by the odds panel, the window may reach past the screen's edge.
    if (const QScreen* screen = this->screen()) {
        const QRect room = screen->availableGeometry();
        QRect frame = frameGeometry();
        if (frame.right() > room.right())
            frame.moveRight(room.right());
        if (frame.left() < room.left())
            frame.moveLeft(room.left());
        if (frame.topLeft() != frameGeometry().topLeft())
            move(frame.topLeft());
    }
}

void TBattleform::beginReport() {
    column1_->beginBatch();
    column2_->beginBatch();
}

void TBattleform::endReport() {
    column1_->endBatch();
    column2_->endBatch();
}

void TBattleform::clearColumns() {
    // A new report: the odds of an earlier simulation no longer apply.
    hideStatistics();
    column1_->clear();
    column2_->clear();
}

void TBattleform::setLine(int column, int index, const std::string& text) {
    this->column(column).setLine(index, QString::fromStdString(text));
}

std::string TBattleform::playerNumber(int side) const {
    return (side == 0 ? Mainform->wizardno1 : Mainform->wizardno2)->text().toStdString();
}

std::string TBattleform::wizardName(int side) const {
    return (side == 0 ? Mainform->name1 : Mainform->name2)->text().toStdString();
}
