#include "Battlesim.h"

#include <QLabel>
#include <optional>

#include "LongWork.h"
#include "Results.h"
#include "battle/Simulation.h"
#include "document/Document.h"

namespace {
const QString RestingMessage = QStringLiteral("Errors and Messages appear here");
const QString DefaultAmount = QStringLiteral("10");
}  // namespace

TBatsim::TBatsim(QWidget* parent, const Document& document)
    : Form(QStringLiteral("Batsim"), QStringLiteral("Battle Simulation Form"), 403, 418, parent), document_(document) {
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

    simrun = MakeBoldButton(QStringLiteral("simrun"), QStringLiteral("Run Simulation!"), this, 30);
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
    work_ = new LongWork(this, QStringLiteral("SimulationProgress"), QStringLiteral("Simulation running"));
    SimulationProgress = work_->window;
    progressRuns = work_->text;
    progressRuns->setObjectName(QStringLiteral("progressRuns"));
    progressTime = work_->time;
    progressBar = work_->bar;
    cancelSimulation = work_->cancelButton;
    cancelSimulation->setObjectName(QStringLiteral("cancelSimulation"));
}

bool TBatsim::simulationRunning() const {
    return work_->running();
}

void TBatsim::FormActivate() {
    // The progress window is part of the run, not a window shown over the
    // dialog: coming back from it is no return in the dialog's sense.
    if (work_->running())
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
    if (work_->running())
        return;
    SimulationOptions options;
    options.runs = StrToInt(Amount->text());
    options.afterRun = afterRunHook;

    SimulationResult result;
    // The workers fight copies: the document's armies stay as they are
    // whatever happens to the run.
    const Players players = document_.players();
    const bool finished = work_->run([&result, &players, options](LongWork::Control& control) mutable {
        options.cancel = control.cancelFlag();
        options.progress = [&control, runs = options.runs](int32_t done) {
            control.report(done, runs, QStringLiteral("Battles fought: %1 of %2").arg(done).arg(runs));
        };
        options.progress(0);
        result = Simulate(players.army(1), players.army(2), options);
    });
    if (!finished || result.cancelled) {
        Simmes1->setText(QStringLiteral("Simulation cancelled"));
        if (const std::optional<int> closed = work_->deferredClose())
            Form::done(*closed);
        return;
    }
    Battleform->showSimulation(players, result);
    // A results window left open by a battle report is taken over: shown
    // modally like any simulation result, at the same place.
    if (Battleform->isVisible())
        Battleform->hide();
    Battleform->ShowModal();
}

void TBatsim::done(int result) {
    if (!work_->deferClose(result))
        Form::done(result);
}
