#include "Battlesim.h"

#include <QLabel>

#include "Results.h"
#include "Simulator.h"

namespace {
const QString RestingMessage = QStringLiteral("Errors and Messages appear here");
const QString DefaultAmount = QStringLiteral("10");

// Detaches the engine's report for the individual runs, whose reports the
// averaged result replaces anyway, and attaches it again however the runs end.
class DetachedReport {
public:
    explicit DetachedReport(Battle& engine) : engine_(engine), report_(engine.report()) { engine_.setReport(nullptr); }
    ~DetachedReport() { engine_.setReport(report_); }
    DetachedReport(const DetachedReport&) = delete;
    DetachedReport& operator=(const DetachedReport&) = delete;

private:
    Battle& engine_;
    ReportColumns* report_;
};

// Clears the loss totals of every kind once the result is written, and also
// when a simulation breaks off, so the next one starts from nothing.
class ClearedSimCasualties {
public:
    ClearedSimCasualties(Army& a, Army& b) : a_(a), b_(b) {}
    ~ClearedSimCasualties() {
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
}

void TBatsim::FormActivate() {
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
    Army& army1 = Mainform->PlayerArmy1;
    Army& army2 = Mainform->PlayerArmy2;
    Battle& engine = Mainform->engine;
    {
        WaitCursor busy;
        ClearedSimCasualties clearAfterwards(army1, army2);
        {
            DetachedReport quiet(engine);
            for (int i = 0; i < StrToInt(Amount->text()); ++i) {
                Battle::PrepareLine(army1);
                Battle::PrepareLine(army2);
                engine.FightSimBattle(army1, army2);
            }
        }
        ReportBatch batch(Battleform);
        engine.ReportHeader(army1, army2);
        engine.ReportAverageLeft(army1, army2, StrToInt(Amount->text()));
    }
    // A results window left open by a battle report is taken over: shown
    // modally like any simulation result, at the same place.
    if (Battleform->isVisible())
        Battleform->hide();
    Battleform->ShowModal();
}
