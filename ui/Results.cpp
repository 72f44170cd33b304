#include "Results.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyle>
#include <QTableWidget>
#include <QValueAxis>
#include <algorithm>

#include "Settings.h"
#include "document/Document.h"
#include "files/ArmyFileIO.h"

namespace {
constexpr int PreparedLines = 300;
constexpr int ReportWidth = 755;
constexpr int ReportHeight = 554;
constexpr int PanelWidth = 500;
// Each side's colour in its chart, and lighter in its rows of the table.
const QColor SideColours[2] = {QColor(0x1f, 0x5f, 0xbf), QColor(0xc0, 0x39, 0x2b)};
const QColor SideTints[2] = {QColor(0xd8, 0xe4, 0xf6), QColor(0xf6, 0xdc, 0xd8)};

QString Percent(double share) {
    return QString::number(share * 100, 'f', 1) + QLatin1Char('%');
}

QString Interval(const Proportion& p) {
    return QStringLiteral("95%: %1 to %2").arg(Percent(p.low), Percent(p.high));
}

QTableWidgetItem* Cell(const QString& text, Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(align);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

// One side's chances: at the left edge the share of battles it wins, then
// the share in which at least so many of its units are left. A new chart
// per result: nothing of an earlier one can stay drawn.
QChart* ChanceChart(const std::vector<int32_t>& totalLeft, int32_t armySize, const QString& title, QColor colour) {
    const ChanceCurve chances = ChanceCurveOf(totalLeft, armySize);
    QList<QPointF> points;
    for (const auto& [x, y] : chances.points)
        points << QPointF(x, y);

    auto* chart = new QChart;
    // The area does not own its curve: the chart does.
    auto* curve = new QLineSeries(chart);
    curve->replace(points);
    chart->setTitle(title);
    QFont titleFont = chart->titleFont();
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 0, 8, 0));
    chart->setBackgroundRoundness(0);

    auto* area = new QAreaSeries(curve);
    QColor fill = colour;
    fill.setAlpha(110);
    area->setBrush(fill);
    area->setPen(QPen(colour, 2));
    chart->addSeries(area);

    auto* units = new QValueAxis;
    units->setRange(0, static_cast<double>(chances.top));
    units->setTickType(QValueAxis::TicksDynamic);
    units->setTickAnchor(0);
    units->setTickInterval(static_cast<double>(chances.step));
    units->setLabelFormat(QStringLiteral("%d"));
    units->setMinorTickCount(0);
    units->setTitleText(QStringLiteral("At least this many units left"));
    chart->addAxis(units, Qt::AlignBottom);
    area->attachAxis(units);

    auto* share = new QValueAxis;
    share->setRange(0, 100);
    share->setTickCount(3);
    share->setLabelFormat(QStringLiteral("%d%%"));
    share->setTitleText(QStringLiteral("Battles"));
    chart->addAxis(share, Qt::AlignLeft);
    area->attachAxis(share);
    return chart;
}

void ReplaceChart(QChartView* view, QChart* chart) {
    QChart* old = view->chart();
    view->setChart(chart);
    delete old;
}

QChartView* MakeChanceView(const QString& name, QWidget* parent) {
    auto* view = new QChartView(parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFocusPolicy(Qt::NoFocus);
    return view;
}

std::vector<std::string> Lines(const MemoBoard& board) {
    std::vector<std::string> lines;
    lines.reserve(static_cast<size_t>(board.count()));
    for (const QString& line : board.lines())
        lines.push_back(line.toStdString());
    return lines;
}
}  // namespace

TBattleform::TBattleform(QWidget* parent, const Document& document, const QString& name)
    : Form(name, QStringLiteral("Battle Results"), ReportWidth, ReportHeight, parent), document_(document) {
    // Everything lies on one page, which scrolls when the screen is smaller
    // than the window with its odds panel.
    Scroller = new QScrollArea(this);
    Scroller->setObjectName(QStringLiteral("Scroller"));
    Scroller->setFrameShape(QFrame::NoFrame);
    Scroller->setFocusPolicy(Qt::NoFocus);
    Scroller->setGeometry(rect());
    SetBackground(Scroller->viewport(), Palette::olive);
    Page = new QWidget;
    Page->setObjectName(QStringLiteral("Page"));
    SetBackground(Page, Palette::olive);
    Page->resize(ReportWidth, ReportHeight);
    Scroller->setWidget(Page);

    title = MakeTitle(QStringLiteral("title"), QStringLiteral("*** Battle Results ***"), Page, 40);
    title->setGeometry(0, 0, 755, 56);
    auto makeColumn = [this](const QString& name, int x) {
        auto* memo = new QPlainTextEdit(Page);
        memo->setObjectName(name);
        memo->setReadOnly(true);
        memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo->setGeometry(x, 66, 362, 430);
        memo->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(memo, &QWidget::customContextMenuRequested, this,
                [this, memo](const QPoint& position) { showReportMenu(memo, position); });
        return memo;
    };
    Results1 = makeColumn(QStringLiteral("Results1"), 10);
    Results2 = makeColumn(QStringLiteral("Results2"), 383);
    column1_ = std::make_unique<MemoBoard>(Results1, PreparedLines, true);
    column2_ = std::make_unique<MemoBoard>(Results2, PreparedLines, true);
    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Close, Page);
    BitBtn1->setGeometry(330, 508, 95, 32);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    tabOrder().set({BitBtn1});

    // The odds panel lies right of the report, and the page widens to show
    // it, so the report controls keep their places and sizes.
    Statistics = new QWidget(Page);
    Statistics->setObjectName(QStringLiteral("Statistics"));
    Statistics->setGeometry(ReportWidth, 0, PanelWidth, ReportHeight);
    statisticsTitle = MakeTitle(QStringLiteral("statisticsTitle"), QString(), Statistics, 20);
    statisticsTitle->setGeometry(0, 0, PanelWidth, 34);
    ShowBattle = new QComboBox(Statistics);
    ShowBattle->setObjectName(QStringLiteral("ShowBattle"));
    ShowBattle->setGeometry(PanelWidth / 2 - 150, 35, 300, 26);
    connect(ShowBattle, &QComboBox::activated, this,
            [this](int index) { RunGuarded([&] { ShowBattleChange(index); }); });

    Odds = new QTableWidget(0, 5, Statistics);
    Odds->setObjectName(QStringLiteral("Odds"));
    Odds->setHorizontalHeaderLabels({QStringLiteral("Units left per kind"), QStringLiteral("Mean"),
                                     QStringLiteral("Std. dev."), QStringLiteral("Min"), QStringLiteral("Max")});
    Odds->verticalHeader()->hide();
    Odds->verticalHeader()->setDefaultSectionSize(20);
    Odds->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < 5; ++c) {
        Odds->horizontalHeader()->setSectionResizeMode(c, QHeaderView::Fixed);
        Odds->setColumnWidth(c, 66);
    }
    Odds->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Long wizard and kind names wrap onto a second line rather than lose
    // their ends; the rows are sized to their text when filled.
    Odds->setWordWrap(true);
    Odds->setTextElideMode(Qt::ElideNone);
    Odds->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Odds->setGeometry(0, 66, PanelWidth - 10, 176);

    Chances1 = MakeChanceView(QStringLiteral("Chances1"), Statistics);
    Chances1->setGeometry(0, 250, PanelWidth - 10, 146);
    Chances2 = MakeChanceView(QStringLiteral("Chances2"), Statistics);
    Chances2->setGeometry(0, 400, PanelWidth - 10, 146);
    for (QChartView* view : {Chances1, Chances2}) {
        view->viewport()->installEventFilter(this);
        view->setCursor(Qt::PointingHandCursor);
        view->setToolTip(QStringLiteral("Click to see a battle with this many units left"));
    }
    tabOrder().set({BitBtn1, ShowBattle});

    chooseReportPath = [this] { return askForReportFile(); };
    Statistics->hide();
    // Where the player left it last time; its size follows its content.
    settings::restoreGeometry(this);
}

bool TBattleform::statisticsShown() const {
    return !Statistics->isHidden();
}

void TBattleform::hideStatistics() {
    Statistics->hide();
    odds_.reset();
    simulation_.reset();
    Page->resize(ReportWidth, ReportHeight);
    fitToScreen();
}

void TBattleform::showColumns(const StringReport& report) {
    ReportBatch batch(this);
    clearColumns();
    for (int c = 0; c < 2; ++c)
        for (size_t i = 0; i < report.columns[c].size(); ++i)
            setLine(c, static_cast<int>(i), report.columns[c][i]);
}

void TBattleform::showSimulation(const Players& players, const SimulationResult& result) {
    showColumns(AveragedReport(players, result));
    showStatistics(players, result);
}

void TBattleform::showStatistics(const Players& players, const SimulationResult& result) {
    statisticsTitle->setText(QStringLiteral("Odds over %1 %2")
                                 .arg(result.runsDone)
                                 .arg(result.runsDone == 1 ? QStringLiteral("battle") : QStringLiteral("battles")));
    odds_ = OddsOf(players, result);
    simulation_ = Simulation{players, result};
    fillOdds(players, result);
    fillChances(players, result);
    fillBattles(result);
    Page->resize(ReportWidth + PanelWidth, ReportHeight);
    Statistics->show();
    fitToScreen();
    // A new result opens at its start, where the Close button is, however
    // far the last one was scrolled.
    Scroller->horizontalScrollBar()->setValue(0);
    Scroller->verticalScrollBar()->setValue(0);
}

void TBattleform::fillOdds(const Players& players, const SimulationResult& result) {
    Odds->clearContents();
    Odds->setRowCount(0);
    Odds->clearSpans();
    auto addRow = [this] {
        const int row = Odds->rowCount();
        Odds->insertRow(row);
        return row;
    };
    auto sideRow = [&](const QString& text, QColor tint) {
        const int row = addRow();
        QTableWidgetItem* item = Cell(text, Qt::AlignLeft | Qt::AlignVCenter);
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
        item->setBackground(tint);
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

    const char* sideNames[2] = {"Side I", "Side II"};
    for (int s = 0; s < 2; ++s) {
        const Player& player = players.player(s + 1);
        sideRow(QStringLiteral("%1: Wizard %2 : %3")
                    .arg(QLatin1String(sideNames[s]), QString::fromStdString(player.number),
                         QString::fromStdString(player.name)),
                SideTints[s]);
        chanceRow(QStringLiteral("Chance of winning"), result.sides[s].wins);
        const Army& army = player.army;
        for (int32_t k = 0; k <= army.currentType && k < Army::maxTypes; ++k) {
            const Unittype& kind = army.unittypes[k];
            if (kind.Fullname.empty())
                continue;
            const ::Spread& left = result.sides[s].unitsLeft[k];
            const int row = addRow();
            Odds->setItem(row, 0, Cell(QString::fromStdString(kind.Fullname), Qt::AlignLeft | Qt::AlignVCenter));
            Odds->setItem(row, 1, Cell(QString::number(left.mean(), 'f', 1)));
            Odds->setItem(row, 2, Cell(QString::number(left.standardDeviation(), 'f', 1)));
            Odds->setItem(row, 3, Cell(QString::number(left.min)));
            Odds->setItem(row, 4, Cell(QString::number(left.max)));
        }
    }
    // Battles in which both armies died to the last unit.
    const int64_t neither = result.runsDone - result.sides[0].wins - result.sides[1].wins;
    if (neither > 0) {
        sideRow(QStringLiteral("Both armies wiped out"), QColor(0xe8, 0xe8, 0xc8));
        chanceRow(QStringLiteral("Chance"), neither);
    }
    fitRows();
}

void TBattleform::fitRows() {
    // The width each cell has, scroll bar and cell padding taken off.
    const int frame = 2 * Odds->frameWidth();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, Odds);
    int fixed = 0;
    for (int c = 1; c < Odds->columnCount(); ++c)
        fixed += Odds->columnWidth(c);
    const int first = Odds->width() - frame - bar - fixed;
    auto widthOf = [&](int row, int column) {
        int width = column == 0 ? first : Odds->columnWidth(column);
        for (int c = column + 1; c < column + Odds->columnSpan(row, column); ++c)
            width += Odds->columnWidth(c);
        return width - 8;
    };
    const int lineHeight = Odds->verticalHeader()->defaultSectionSize();
    for (int row = 0; row < Odds->rowCount(); ++row) {
        int height = lineHeight;
        for (int column = 0; column < Odds->columnCount(); ++column)
            if (const QTableWidgetItem* item = Odds->item(row, column)) {
                const QRect needed =
                    QFontMetrics(item->font())
                        .boundingRect(QRect(0, 0, std::max(1, widthOf(row, column)), 100000),
                                      Qt::TextWrapAnywhere | Qt::AlignLeft | Qt::AlignTop, item->text());
                height = std::max(height, needed.height() + lineHeight - QFontMetrics(item->font()).height());
            }
        Odds->setRowHeight(row, height);
    }
}

void TBattleform::fillChances(const Players& players, const SimulationResult& result) {
    const char* sideNames[2] = {"Side I", "Side II"};
    QChartView* views[2] = {Chances1, Chances2};
    for (int s = 0; s < 2; ++s) {
        const Proportion wins = WinChance(result.sides[s].wins, result.runsDone);
        // The wizard's name stands in the table above: a long one would not
        // fit a title.
        const QString title =
            QStringLiteral("%1 wins %2 of the battles").arg(QLatin1String(sideNames[s]), Percent(wins.value));
        ReplaceChart(views[s],
                     ChanceChart(result.sides[s].totalLeft, players.army(s + 1).currentSize, title, SideColours[s]));
    }
}

void TBattleform::fitToScreen() {
    const QSize content = Page->size();
    QSize room = content;
    if (const QScreen* screen = this->screen()) {
        // The frame is known once the window has been shown.
        const QSize frame = frameGeometry().size() - geometry().size();
        room = screen->availableGeometry().size() - frame;
    }
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, Scroller);
    int width = std::min(content.width(), room.width());
    int height = std::min(content.height(), room.height());
    // A scroll bar in one direction takes room from the other.
    if (width < content.width())
        height = std::min(content.height() + bar, room.height());
    if (height < content.height())
        width = std::min(content.width() + bar, room.width());
    setFixedSize(width, height);
    if (!isVisible())
        return;
    if (const QScreen* screen = this->screen()) {
        const QRect room = screen->availableGeometry();
        QRect frame = frameGeometry();
        if (frame.right() > room.right())
            frame.moveRight(room.right());
        if (frame.bottom() > room.bottom())
            frame.moveBottom(room.bottom());
        if (frame.left() < room.left())
            frame.moveLeft(room.left());
        if (frame.top() < room.top())
            frame.moveTop(room.top());
        if (frame.topLeft() != frameGeometry().topLeft())
            move(frame.topLeft());
    }
}

bool TBattleform::event(QEvent* event) {
    // Only now is the frame the window manager gave the window known.
    if (event->type() == QEvent::WindowActivate)
        fitToScreen();
    return Form::event(event);
}

void TBattleform::showEvent(QShowEvent* event) {
    Form::showEvent(event);
    fitToScreen();
}

void TBattleform::hideEvent(QHideEvent* event) {
    settings::saveGeometry(this);
    Form::hideEvent(event);
}

void TBattleform::resizeEvent(QResizeEvent* event) {
    Form::resizeEvent(event);
    Scroller->setGeometry(rect());
}

void TBattleform::showReportMenu(QPlainTextEdit* column, const QPoint& position) {
    QMenu* menu = column->createStandardContextMenu();
    menu->setObjectName(QStringLiteral("ReportMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* first = menu->actions().value(0);
    auto* copy = new QAction(QStringLiteral("Copy Report"), menu);
    copy->setObjectName(QStringLiteral("CopyReport1"));
    connect(copy, &QAction::triggered, this, &TBattleform::CopyReport1Click);
    auto* save = new QAction(QStringLiteral("Save Report..."), menu);
    save->setObjectName(QStringLiteral("SaveReport1"));
    connect(save, &QAction::triggered, this, &TBattleform::SaveReport1Click);
    menu->insertAction(first, copy);
    menu->insertAction(first, save);
    menu->insertSeparator(first);
    menu->popup(column->viewport()->mapToGlobal(position));
}

std::string TBattleform::reportText(bool withOdds) const {
    const std::string report = ReportText(Lines(*column1_), Lines(*column2_), withOdds && odds_ ? &*odds_ : nullptr);
    return heading_.empty() ? report : heading_ + "\n\n" + report;
}

// ---- A battle of the simulation ---------------------------------------------

namespace {
// The choices of ShowBattle after its prompt, for side I then side II.
struct BattleChoice {
    int side;
    Pick pick;
    const char* text;
};
constexpr BattleChoice BattleChoices[] = {
    {0, Pick::Won, "A battle side I won"},
    {1, Pick::Won, "A battle side II won"},
    {0, Pick::Draw, "A battle both armies lost"},
    {0, Pick::Typical, "A typical battle for side I"},
    {0, Pick::Worst, "The worst battle for side I"},
    {0, Pick::Best, "The best battle for side I"},
    {1, Pick::Typical, "A typical battle for side II"},
    {1, Pick::Worst, "The worst battle for side II"},
    {1, Pick::Best, "The best battle for side II"},
};
}  // namespace

void TBattleform::fillBattles(const SimulationResult& result) {
    ShowBattle->clear();
    ShowBattle->addItem(QStringLiteral("Show a battle of these..."));
    for (const BattleChoice& choice : BattleChoices) {
        std::string never;
        const bool occurred = PickRun(result, choice.side, choice.pick, &never).has_value();
        ShowBattle->addItem(occurred ? QString::fromLatin1(choice.text)
                                     : QString::fromStdString(never).replace(0, 1, QStringLiteral("N")));
        if (!occurred)
            qobject_cast<QStandardItemModel*>(ShowBattle->model())->item(ShowBattle->count() - 1)->setEnabled(false);
    }
}

void TBattleform::ShowBattleChange(int index) {
    ShowBattle->setCurrentIndex(0);
    if (!simulation_ || index < 1 || index > static_cast<int>(std::size(BattleChoices)))
        return;
    const BattleChoice& choice = BattleChoices[index - 1];
    if (const std::optional<int32_t> run = PickRun(simulation_->result, choice.side, choice.pick, nullptr))
        showRun(*run);
}

bool TBattleform::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease || !simulation_)
        return Form::eventFilter(watched, event);
    const int side = watched == Chances1->viewport() ? 0 : 1;
    QChartView* view = side == 0 ? Chances1 : Chances2;
    const QPointF at = view->chart()->mapToValue(view->mapToScene(static_cast<QMouseEvent*>(event)->pos()));
    const auto units = static_cast<int32_t>(std::lround(std::max(0.0, at.x())));
    if (const std::optional<int32_t> run = RunWithUnitsLeft(simulation_->result, side, units))
        RunGuarded([&] { showRun(*run); });
    return true;
}

void TBattleform::showRun(int32_t run) {
    if (!simulation_)
        return;
    ReplayedRun replayed;
    {
        WaitCursor busy;
        replayed = ReplayRun(simulation_->players, simulation_->result.seed, run, simulation_->result.runsDone);
    }
    if (!RunReport)
        RunReport = new TBattleform(this, document_, QStringLiteral("RunReport"));
    RunReport->showReplayed(replayed);
    RunReport->ShowModal();
}

void TBattleform::showReplayed(const ReplayedRun& run) {
    showColumns(run.report);
    heading_ = run.title;
    const QString title = QString::fromStdString(run.title);
    setWindowTitle(title);
    this->title->setText(title);
    QFont f = this->title->font();
    f.setPixelSize(20);
    this->title->setFont(f);
}

void TBattleform::CopyReport1Click() {
    QGuiApplication::clipboard()->setText(QString::fromStdString(reportText(false)));
}

QString TBattleform::askForReportFile() {
    const QString start =
        lastReportFile_.isEmpty()
            ? QDir(settings::folder(QStringLiteral("reports"))).filePath(QStringLiteral("Battle Report.txt"))
            : lastReportFile_;
    QFileDialog dialog(this, QStringLiteral("Save Report"), start, QStringLiteral("Text files (*.txt);;All files (*)"));
    dialog.setObjectName(QStringLiteral("SaveReportDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Added by the dialog itself, so that its question about replacing a
    // file is asked about the file that will be written.
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

void TBattleform::SaveReport1Click() {
    const QString path = chooseReportPath ? chooseReportPath() : QString();
    if (path.isEmpty())
        return;
    QString error;
    if (!armyfile::WriteWhole(path, QByteArray::fromStdString(reportText(true)), &error)) {
        QMessageBox box(
            QMessageBox::Warning, QStringLiteral("Save Report"),
            QStringLiteral("The report could not be saved to \"%1\": %2.").arg(QDir::toNativeSeparators(path), error),
            QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("FileError"));
        box.exec();
        return;
    }
    lastReportFile_ = path;
    settings::setFolderOf(QStringLiteral("reports"), path);
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
    return document_.player(side + 1).number;
}

std::string TBattleform::wizardName(int side) const {
    return document_.player(side + 1).name;
}
