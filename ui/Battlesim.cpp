#include "Battlesim.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <limits>
#include <memory>
#include <optional>

#include "Results.h"
#include "Simulator.h"
#include "battle/Simulation.h"

namespace {
const QString RestingMessage = QStringLiteral("Errors and Messages appear here");
const QString DefaultAmount = QStringLiteral("10");
// A simulation quicker than this shows no progress window.
constexpr int ProgressDelayMs = 500;
constexpr int ProgressRefreshMs = 50;

// Clears the loss totals of every kind once the result is written, and also
// when a simulation breaks off, so the next one starts from nothing.
class ClearedSimCasualties {
public:
    ClearedSimCasualties(Army& a, Army& b) : a_(a), b_(b) {}
    ~ClearedSimCasualties() { now(); }
    void now() {
        for (Army* army : {&a_, &b_})
            for (Unittype& kind : army->unittypes)
                kind.SimCasualties = 0;
    }
    ClearedSimCasualties(const ClearedSimCasualties&) = delete;
    ClearedSimCasualties& operator=(const ClearedSimCasualties&) = delete;

private:
    Army& a_;
    Army& b_;
};

// The losses of one side's kinds, summed over the runs, as the averaged
// result reads them.
void setSimCasualties(Army& army, const SideResult& side) {
    for (int32_t k = 0; k <= army.currentType && k < Army::maxTypes; ++k)
        army.unittypes[k].SimCasualties =
            static_cast<int32_t>(std::min<int64_t>(side.casualties[k], std::numeric_limits<int32_t>::max()));
}

QString Duration(qint64 ms) {
    const qint64 s = (ms + 500) / 1000;
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(s / 3600)
            .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

bool IsUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}
}  // namespace

TBatsim::TBatsim(QWidget* parent)
    : Form(QStringLiteral("Batsim"), QStringLiteral("Battle Simulation Form"), 403, 418, parent) {
    titles = MakeTitle(QStringLiteral("titles"), QStringLiteral("Battle Simulation"), this, 40);
    QFont titleFont = titles->font();
    titleFont.setBold(false);
    titles->setFont(titleFont);
    titles->setGeometry(0, 0, 403, 60);

    runtimes =
        MakeLabel(QStringLiteral("runtimes"), QStringLiteral("The times that this battle will be run:"), this, true);
    runtimes->setGeometry(12, 76, 300, 26);

    Amount = new Edit(QStringLiteral("Amount"), DefaultAmount, this);
    Amount->setTypingLimit(3);
    Amount->setGeometry(318, 76, 70, 26);

    simrun = new QPushButton(QStringLiteral("Run Simulation!"), this);
    simrun->setObjectName(QStringLiteral("simrun"));
    QFont runFont = simrun->font();
    runFont.setBold(true);
    runFont.setPixelSize(30);
    simrun->setFont(runFont);
    simrun->setGeometry(40, 118, 323, 58);

    Simmes1 = MakeMessageLine(QStringLiteral("Simmes1"), RestingMessage, this);
    QFont messageFont = Simmes1->font();
    messageFont.setFamily(QStringLiteral("MS Serif"));
    messageFont.setStyleHint(QFont::Serif);
    Simmes1->setFont(messageFont);
    Simmes1->setGeometry(12, 190, 379, 26);

    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Close, this);
    BitBtn1->setGeometry(154, 232, 95, 32);

    batllesimhelp = MakeMemo(QStringLiteral("batllesimhelp"),
                             {QStringLiteral("By simulating a battle you calculate the average result of the "),
                              QStringLiteral("battle, but you can't see who died which round. Make sure "),
                              QStringLiteral("you don't calculate large battles too many times, because "),
                              QStringLiteral("your system will crash.")},
                             this);
    batllesimhelp->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    batllesimhelp->setGeometry(8, 276, 387, 134);

    // No button acts on Enter typed into the count: a button acts only when
    // clicked or when it has the focus itself, so the count is always left
    // (and repaired) first.
    simrun->setAutoDefault(false);
    BitBtn1->setAutoDefault(false);

    connect(Amount, &Edit::clicked, this, &TBatsim::AmountClick);
    connect(Amount, &QLineEdit::textChanged, this, &TBatsim::AmountChange);
    connect(Amount, &Edit::exited, this, &TBatsim::AmountExit);
    connect(simrun, &QPushButton::clicked, this, [this] { RunGuarded([this] { simrunClick(); }); });
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    tabOrder().set({Amount, simrun, Simmes1, BitBtn1, batllesimhelp});

    // The progress window of a long simulation, modal over the dialog.
    SimulationProgress = new QDialog(this, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    SimulationProgress->setObjectName(QStringLiteral("SimulationProgress"));
    SimulationProgress->setWindowTitle(QStringLiteral("Simulation running"));
    SimulationProgress->setWindowModality(Qt::ApplicationModal);
    SimulationProgress->setFixedSize(340, 150);
    SetBackground(SimulationProgress, Palette::olive);
    progressRuns = MakeLabel(QStringLiteral("progressRuns"), QString(), SimulationProgress, true);
    progressRuns->setGeometry(16, 12, 308, 24);
    progressTime = MakeLabel(QStringLiteral("progressTime"), QString(), SimulationProgress);
    progressTime->setGeometry(16, 38, 308, 24);
    progressBar = new QProgressBar(SimulationProgress);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setGeometry(16, 68, 308, 24);
    cancelSimulation = MakeButton(QStringLiteral("cancelSimulation"), StandardButton::Cancel, SimulationProgress);
    cancelSimulation->setGeometry(122, 104, 95, 32);
    cancelSimulation->setDefault(true);
    connect(cancelSimulation, &QPushButton::clicked, this, &TBatsim::cancelRun);
    // Closing the progress window by other means cancels too.
    connect(SimulationProgress, &QDialog::rejected, this, &TBatsim::cancelRun);
}

bool TBatsim::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && returnLoop_)
        returnLoop_->quit();
    return Form::event(event);
}

void TBatsim::FormActivate() {
    // The progress window is part of the run, not a window shown over the
    // dialog: coming back from it is no return in the dialog's sense.
    if (quietActivation_)
        return;
    Simmes1->setText(RestingMessage);
    Amount->setText(DefaultAmount);
    amountLegal_ = 1;
}

void TBatsim::AmountClick() {
    Simmes1->setText(QStringLiteral("Please type the new amount"));
}

void TBatsim::AmountChange() {
    if (StrToIntDef(Amount->text(), -1) > 0) {
        amountLegal_ = 1;
        Simmes1->setText(QStringLiteral("You've entered a legal number"));
    } else {
        amountLegal_ = 0;
        Simmes1->setText(QStringLiteral("You've entered an illegal number"));
    }
}

void TBatsim::AmountExit() {
    if (amountLegal_ == 0)
        Amount->setText(DefaultAmount);
    Simmes1->setText(QString());
}

void TBatsim::simrunClick() {
    if (running_)
        return;
    Army& army1 = Mainform->PlayerArmy1;
    Army& army2 = Mainform->PlayerArmy2;
    Battle& engine = Mainform->engine;
    SimulationOptions options;
    options.runs = StrToInt(Amount->text());
    options.cancel = &cancel_;
    options.progress = [this](int32_t done) { runsDone_.store(done, std::memory_order_relaxed); };
    options.afterRun = afterRunHook;

    SimulationResult result;
    std::exception_ptr error;
    // The loss totals are cleared once the result is written, before it
    // shows, and whichever way the run ends.
    ClearedSimCasualties clearAfterwards(army1, army2);
    {
        running_ = true;
        quietActivation_ = true;
        closeAfterRun_ = false;
        runCount_ = options.runs;
        cancel_.store(false);
        runsDone_.store(0);
        clock_.start();
        auto busy = std::make_optional<WaitCursor>();
        // While the runs are fought, input to any window but the progress
        // window is dropped: a simulation lets no other command start.
        qApp->installEventFilter(this);

        // The workers fight copies: the main window's armies stay as they are
        // whatever happens to the run.
        QEventLoop loop;
        std::unique_ptr<QThread> worker(
            QThread::create([&result, &error, &options, I = army1, II = army2] {
                try {
                    result = Simulate(I, II, options);
                } catch (...) {
                    error = std::current_exception();
                }
            }));
        connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
        QTimer showTimer;
        showTimer.setSingleShot(true);
        connect(&showTimer, &QTimer::timeout, this, [&] {
            busy.reset();
            showProgress();
        });
        QTimer refresh;
        connect(&refresh, &QTimer::timeout, this, [this] {
            if (SimulationProgress->isVisible())
                updateProgress();
        });
        worker->start();
        showTimer.start(ProgressDelayMs);
        refresh.start(ProgressRefreshMs);
        loop.exec();
        // The loop also ends when the application quits: the runs stop then.
        if (!worker->isFinished())
            cancel_.store(true);
        worker->wait();

        refresh.stop();
        showTimer.stop();
        if (SimulationProgress->isVisible()) {
            SimulationProgress->hide();
            // Back to the dialog before anything else shows, so the results
            // window returns to it when closed, as after a quick run.
            if (!closeAfterRun_ && !isActiveWindow()) {
                QEventLoop back;
                returnLoop_ = &back;
                activateWindow();
                QTimer::singleShot(300, &back, &QEventLoop::quit);
                back.exec();
                returnLoop_ = nullptr;
            }
        }
        qApp->removeEventFilter(this);
        running_ = false;
        quietActivation_ = false;
    }
    if (error)
        std::rethrow_exception(error);

    if (cancel_.load() || result.cancelled) {
        Simmes1->setText(QStringLiteral("Simulation cancelled"));
        if (closeAfterRun_)
            Form::done(closeResult_);
        return;
    }

    setSimCasualties(army1, result.sides[0]);
    setSimCasualties(army2, result.sides[1]);
    {
        ReportBatch batch(Battleform);
        engine.ReportHeader(army1, army2);
        engine.ReportAverageLeft(army1, army2, StrToInt(Amount->text()));
    }
    clearAfterwards.now();
    Battleform->showStatistics(result);
    // A results window left open by a battle report is taken over: shown
    // modally like any simulation result, at the same place.
    if (Battleform->isVisible())
        Battleform->hide();
    Battleform->ShowModal();
}

void TBatsim::done(int result) {
    if (running_) {
        closeAfterRun_ = true;
        closeResult_ = result;
        cancelRun();
        return;
    }
    Form::done(result);
}

void TBatsim::cancelRun() {
    if (!running_ || cancel_.load())
        return;
    cancel_.store(true);
    cancelSimulation->setEnabled(false);
    progressTime->setText(QStringLiteral("Stopping after the battles under way..."));
}

void TBatsim::showProgress() {
    cancelSimulation->setEnabled(!cancel_.load());
    progressBar->setRange(0, std::max(runCount_, 1));
    updateProgress();
    SimulationProgress->show();
    SimulationProgress->raise();
    SimulationProgress->activateWindow();
    cancelSimulation->setFocus();
}

void TBatsim::updateProgress() {
    const int done = std::min(runsDone_.load(std::memory_order_relaxed), runCount_);
    progressRuns->setText(QStringLiteral("Battles fought: %1 of %2").arg(done).arg(runCount_));
    progressBar->setValue(done);
    if (cancel_.load())
        return;
    const qint64 elapsed = clock_.elapsed();
    const QString left = done > 0 ? QStringLiteral("about ") + Duration(elapsed * (runCount_ - done) / done)
                                  : QStringLiteral("estimating...");
    progressTime->setText(QStringLiteral("Time elapsed: %1     Time left: %2").arg(Duration(elapsed), left));
}

bool TBatsim::eventFilter(QObject* watched, QEvent* event) {
    if (!running_ || !IsUserInput(event->type()))
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return false;
    if (widget->window() == SimulationProgress)
        return false;
    // Esc closes the dialog, which cancels the runs first.
    if (widget->window() == this && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        return false;
    return true;
}
