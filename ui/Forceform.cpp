#include "Forceform.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <QSpinBox>
#include <QValueAxis>
#include <algorithm>
#include <bit>
#include <random>

#include "Errors.h"
#include "LongWork.h"
#include "Settings.h"
#include "battle/Answers.h"
#include "battle/Seed.h"
#include "document/Document.h"
#include "rules/DialogRules.h"

namespace {
const QString RestingMessage = QStringLiteral("Errors and Messages appear here");
const QColor Reaching(0, 128, 0);
const QColor Short(192, 0, 0);

QChart* EmptyChart() {
    auto* chart = new QChart;
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

// Win chance against the numbers tried: each number a point with its 95%
// interval as a bar, green where it reaches the wanted chance, red where it
// falls short, and the wanted chance as a dashed line. The numbers run on a
// doubling scale, as the search tries them.
QChart* ChartOf(const ForceSearchResult& result, const ForceSearchOptions& options, const QString& kindName) {
    QChart* chart = EmptyChart();
    chart->setTitle(QStringLiteral("Win chance against the number of %1").arg(kindName));
    auto* numbers = new QLogValueAxis;
    numbers->setBase(2);
    numbers->setLabelFormat(QStringLiteral("%d"));
    numbers->setTitleText(QStringLiteral("Number of %1").arg(kindName));
    auto* chance = new QValueAxis;
    // A little room above 100% and below 0%, so that sure wins and sure
    // losses show whole; the ticks stay on the quarters.
    chance->setRange(-4, 104);
    chance->setTickType(QValueAxis::TicksDynamic);
    chance->setTickAnchor(0);
    chance->setTickInterval(25);
    chance->setLabelFormat(QStringLiteral("%d%%"));
    chance->setTitleText(QStringLiteral("Win chance"));
    chart->addAxis(numbers, Qt::AlignBottom);
    chart->addAxis(chance, Qt::AlignLeft);
    auto attach = [&](QAbstractSeries* series) {
        chart->addSeries(series);
        series->attachAxis(numbers);
        series->attachAxis(chance);
    };

    int32_t least = options.largest, most = 1;
    auto* reaching = new QScatterSeries;
    reaching->setName(QStringLiteral("Reaches the wanted chance"));
    auto* short_ = new QScatterSeries;
    short_->setName(QStringLiteral("Falls short"));
    for (QScatterSeries* s : {reaching, short_}) {
        s->setMarkerSize(8);
        s->setColor(s == reaching ? Reaching : Short);
        s->setBorderColor(s->color());
    }
    for (const NumberTrial& t : result.trials) {
        least = std::min(least, t.number);
        most = std::max(most, t.number);
        (t.reaches ? reaching : short_)->append(t.number, t.chance.value * 100);
        auto* bar = new QLineSeries;
        bar->append(t.number, t.chance.low * 100);
        bar->append(t.number, t.chance.high * 100);
        bar->setPen(QPen(t.reaches ? Reaching : Short, 1.5));
        attach(bar);
        chart->legend()->markers(bar).first()->setVisible(false);
    }
    attach(reaching);
    attach(short_);
    // A little room either side, so that the first and last bars show whole.
    numbers->setRange(least / 1.4, most * 1.4);
    auto* wanted = new QLineSeries;
    wanted->setName(QStringLiteral("Wanted chance"));
    wanted->append(least / 1.4, options.target * 100);
    wanted->append(most * 1.4, options.target * 100);
    wanted->setPen(QPen(Qt::darkBlue, 1.5, Qt::DashLine));
    attach(wanted);
    return chart;
}

// At most this many numbers are tried: the doublings, then as many halvings.
int MostNumbers(int32_t largest) {
    const int doublings = static_cast<int>(std::bit_width(static_cast<uint32_t>(std::max(largest - 1, 1)))) + 1;
    return 2 * doublings;
}
}  // namespace

TForceform::TForceform(QWidget* parent, Document& document)
    : Form(QStringLiteral("Forceform"), QStringLiteral("Find the Force Needed"), 640, 640, parent),
      document_(document) {
    titles = MakeTitle(QStringLiteral("titles"), QStringLiteral("Force Needed"), this, 32);
    titles->setGeometry(0, 0, 640, 50);

    sides = MakeLabel(QStringLiteral("sides"), QStringLiteral("Side:"), this, true);
    sides->setGeometry(12, 62, 110, 26);
    Side = new QComboBox(this);
    Side->setObjectName(QStringLiteral("Side"));
    Side->setGeometry(126, 62, 190, 26);
    kinds = MakeLabel(QStringLiteral("kinds"), QStringLiteral("Kind of unit:"), this, true);
    kinds->setGeometry(330, 62, 118, 26);
    Kind = new QComboBox(this);
    Kind->setObjectName(QStringLiteral("Kind"));
    Kind->setGeometry(450, 62, 178, 26);

    chances = MakeLabel(QStringLiteral("chances"), QStringLiteral("Chance to win:"), this, true);
    chances->setGeometry(12, 96, 110, 26);
    Chance = new QDoubleSpinBox(this);
    Chance->setObjectName(QStringLiteral("Chance"));
    Chance->setRange(50.0, 99.9);
    Chance->setDecimals(1);
    Chance->setSingleStep(1.0);
    Chance->setSuffix(QStringLiteral(" %"));
    Chance->setValue(90.0);
    Chance->setGeometry(126, 96, 100, 26);
    largests = MakeLabel(QStringLiteral("largests"), QStringLiteral("Largest number:"), this, true);
    largests->setGeometry(330, 96, 118, 26);
    Largest = new QSpinBox(this);
    Largest->setObjectName(QStringLiteral("Largest"));
    Largest->setRange(1, dialogrules::MaxUnits);
    Largest->setGroupSeparatorShown(true);
    Largest->setValue(dialogrules::MaxUnits);
    Largest->setGeometry(450, 96, 100, 26);

    Find = MakeBoldButton(QStringLiteral("Find"), QStringLiteral("Find"), this, 20);
    Find->setGeometry(240, 132, 160, 36);

    Forcemes = MakeMessageLine(QStringLiteral("Forcemes"), RestingMessage, this);
    Forcemes->setFont(MessageFont());
    Forcemes->setGeometry(12, 178, 616, 26);

    Answer = MakeMemo(QStringLiteral("Answer"), {}, this);
    Answer->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Answer->setGeometry(12, 212, 616, 96);

    Chart = new QChartView(EmptyChart(), this);
    Chart->setObjectName(QStringLiteral("Chart"));
    Chart->setRenderHint(QPainter::Antialiasing);
    Chart->setGeometry(12, 316, 616, 270);

    Apply = new QPushButton(QStringLiteral("Apply"), this);
    Apply->setObjectName(QStringLiteral("Apply"));
    Apply->setGeometry(214, 596, 95, 32);
    Apply->setEnabled(false);
    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Close, this);
    BitBtn1->setGeometry(331, 596, 95, 32);
    for (QPushButton* b : {Find, Apply, BitBtn1})
        b->setAutoDefault(false);

    work_ = new LongWork(this, QStringLiteral("ForceProgress"), QStringLiteral("Search running"));
    // Three counts share the progress line: plain type keeps five-digit ones whole.
    QFont progressFont = work_->text->font();
    progressFont.setBold(false);
    work_->text->setFont(progressFont);

    connect(Side, &QComboBox::currentIndexChanged, this, &TForceform::SideChange);
    connect(Kind, &QComboBox::currentIndexChanged, this, &TForceform::InputChange);
    connect(Chance, &QDoubleSpinBox::valueChanged, this, &TForceform::InputChange);
    connect(Largest, &QSpinBox::valueChanged, this, &TForceform::InputChange);
    connect(Find, &QPushButton::clicked, this, [this] { RunGuarded([this] { FindClick(); }); });
    connect(Apply, &QPushButton::clicked, this, [this] { RunGuarded([this] { ApplyClick(); }); });
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    tabOrder().set({Side, Kind, Chance, Largest, Find, Apply, BitBtn1});

    // As the player left them last time; out-of-range values are clamped.
    Chance->setValue(settings::value(QStringLiteral("forceFinder/chance"), Chance->value()));
    Largest->setValue(static_cast<int>(settings::value(QStringLiteral("forceFinder/largest"), Largest->value())));
    settings::restoreGeometry(this);
}

void TForceform::hideEvent(QHideEvent* event) {
    settings::setValue(QStringLiteral("forceFinder/chance"), Chance->value());
    settings::setValue(QStringLiteral("forceFinder/largest"), Largest->value());
    settings::saveGeometry(this);
    Form::hideEvent(event);
}

bool TForceform::searching() const {
    return work_->running();
}

void TForceform::showEvent(QShowEvent* event) {
    // Each opening shows the armies as they are now; the wanted chance and
    // the largest number stay as the player left them.
    fillSides();
    fillKinds();
    clearAnswer();
    Forcemes->setText(RestingMessage);
    Form::showEvent(event);
}

void TForceform::fillSides() {
    const QSignalBlocker quiet(Side);
    const int index = std::max(Side->currentIndex(), 0);
    Side->clear();
    for (int p = 1; p <= 2; ++p)
        Side->addItem(QStringLiteral("Player %1 (%2)")
                          .arg(QString::fromStdString(document_.player(p).number),
                               QString::fromStdString(document_.player(p).name)),
                      p);
    Side->setCurrentIndex(index);
}

void TForceform::fillKinds() {
    const QSignalBlocker quiet(Kind);
    const QVariant previous = Kind->currentData();
    Kind->clear();
    const Army& army = document_.army(Side->currentData().toInt() == 2 ? 2 : 1);
    for (int32_t k = 0; k <= army.currentType; ++k) {
        const Unittype& kind = army.unittypes[k];
        if (!kind.Fullname.empty())
            Kind->addItem(QStringLiteral("%1 (%2)").arg(QString::fromStdString(kind.Fullname),
                                                        QString::fromStdString(kind.Abbreviation)),
                          k);
    }
    Kind->setCurrentIndex(std::max(Kind->findData(previous), 0));
}

void TForceform::SideChange() {
    fillKinds();
    InputChange();
}

void TForceform::InputChange() {
    // What is shown always answers the question now asked.
    if (shown_)
        clearAnswer();
}

void TForceform::clearAnswer() {
    shown_.reset();
    Answer->clear();
    QChart* old = Chart->chart();
    Chart->setChart(EmptyChart());
    delete old;
    Apply->setEnabled(false);
}

void TForceform::FindClick() {
    if (work_->running())
        return;
    if (const std::string missing = MissingArmy(document_.players(), Command::Simulation); !missing.empty()) {
        ShowError({QString::fromStdString(missing)});
        return;
    }
    if (Kind->currentIndex() < 0) {
        Forcemes->setText(QStringLiteral("The player's army has no kind to search for"));
        return;
    }
    const int player = Side->currentData().toInt();
    const int32_t kind = Kind->currentData().toInt();
    ForceSearchOptions options = searchOptions;
    options.target = Chance->value() / 100.0;
    options.largest = Largest->value();
    if (!fixedSeed)
        options.seed = FreshSeed();
    else
        options.seed = *fixedSeed;
    const int most = MostNumbers(options.largest);

    ForceSearchResult result;
    QElapsedTimer clock;
    clock.start();
    // The search fights copies: the document's armies stay as they are
    // whatever happens to it.
    const bool finished = work_->run([this, &result, &options, player, kind, most, I = document_.army(1),
                                      II = document_.army(2)](LongWork::Control& control) {
        options.cancel = control.cancelFlag();
        options.progress = [&control, most](const SearchProgress& p) {
            control.report(p.numbersTried, most,
                           QStringLiteral("Numbers tried: %1  Battles: %2  Now: %3")
                               .arg(p.numbersTried)
                               .arg(p.battles)
                               .arg(p.current));
        };
        const BatchFighter fight = fighter ? fighter(I, II, player - 1, kind, options.cancel)
                                           : SimulatedBattles(I, II, player - 1, kind, 0, options.cancel);
        result = FindForce(fight, options);
    });
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    if (!finished || result.cancelled) {
        // The answer shown before, if any, stays: a cancel changes nothing.
        Forcemes->setText(QStringLiteral("Search cancelled"));
        if (const std::optional<int> closed = work_->deferredClose())
            Form::done(*closed);
        return;
    }
    clearAnswer();
    shown_ = Shown{player, kind, std::move(result)};
    showAnswer(*shown_, options, seconds);
}

void TForceform::showAnswer(const Shown& shown, const ForceSearchOptions& options, double seconds) {
    const Unittype& kind = document_.army(shown.player).unittypes[shown.kind];
    QStringList lines;
    for (const std::string& line : DescribeForce(shown.result, options, kind.Fullname, seconds))
        lines << QString::fromStdString(line);
    Answer->setPlainText(lines.join(QLatin1Char('\n')));
    QChart* old = Chart->chart();
    Chart->setChart(ChartOf(shown.result, options, QString::fromStdString(kind.Fullname)));
    delete old;
    Apply->setEnabled(shown.result.found.has_value());
    Forcemes->setText(shown.result.found ? QStringLiteral("Apply sets the number in the army")
                                         : QStringLiteral("No number up to the largest wins the chance wanted"));
}

void TForceform::ApplyClick() {
    if (!shown_ || !shown_->result.found)
        return;
    // As the modify dialog applies a kind whose number alone was changed.
    const Player& player = document_.player(shown_->player);
    const Unittype& kind = player.army.unittypes[shown_->kind];
    if (!document_.modifyKind(shown_->player, shown_->kind, valuesOf(kind), *shown_->result.found))
        return;
    Apply->setEnabled(false);
    Forcemes->setText(QStringLiteral("%1 of player %2 set to %3")
                          .arg(QString::fromStdString(kind.Fullname), QString::fromStdString(player.number))
                          .arg(*shown_->result.found));
}

void TForceform::done(int result) {
    if (work_->deferClose(result))
        return;
    Form::done(result);
}
