#pragma once

#include "Toolkit.h"

class QLabel;

// The simulation dialog: fights the battle between the two armies of the
// main window a chosen number of times and shows the average units left.
class TBatsim : public Form {
    Q_OBJECT
public:
    explicit TBatsim(QWidget* parent);

    QLabel* titles;
    QLabel* runtimes;
    Edit* Amount;
    QPushButton* simrun;
    QLineEdit* Simmes1;
    QPushButton* BitBtn1;
    QPlainTextEdit* batllesimhelp;

    void AmountClick();
    void AmountChange();
    void AmountExit();
    void simrunClick();

    // 1 while the text of Amount is a legal run count.
    int amountLegal() const { return amountLegal_; }

protected:
    void FormActivate() override;

private:
    int amountLegal_ = 1;
};
