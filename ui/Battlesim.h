#pragma once

#include <functional>

#include "Toolkit.h"

class Document;
class LongWork;
class QLabel;
class QProgressBar;

// The simulation dialog: fights the battle between the document's two armies
// a chosen number of times and shows the average units left.
// The runs are fought on every core away from the window thread; a long
// simulation shows its progress and can be cancelled.
class TBatsim : public Form {
    Q_OBJECT
public:
    TBatsim(QWidget* parent, const Document& document);

    QLabel* titles;
    QLabel* runtimes;
    Edit* Amount;
    QPushButton* simrun;
    QLineEdit* Simmes1;
    QPushButton* BitBtn1;
    QPlainTextEdit* batllesimhelp;

    // The progress window of a long simulation.
    QDialog* SimulationProgress;
    QLabel* progressRuns;
    QLabel* progressTime;
    QProgressBar* progressBar;
    QPushButton* cancelSimulation;

    void AmountClick();
    void AmountChange();
    void AmountExit();
    void simrunClick();

    // 1 while the text of Amount is a legal run count.
    int amountLegal() const { return amountLegal_; }
    bool simulationRunning() const;

    // Called by the workers after every run, from several threads at once;
    // tests use it to pace a simulation.
    std::function<void()> afterRunHook;

    // Closing the dialog while the runs are fought cancels them first.
    void done(int result) override;

protected:
    void FormActivate() override;

private:
    int amountLegal_ = 1;
    const Document& document_;
    LongWork* work_;
};

extern TBatsim* Batsim;
