#include "Battlesim.h"

TBatsim::TBatsim(QWidget* parent) : Form(QStringLiteral("Batsim"), QStringLiteral("Battle Simulation Form"), 403, 418, parent) {
    Amount = new Edit(QStringLiteral("Amount"), QStringLiteral("Number"), this);
    Amount->setGeometry(20, 60, 100, 24);
    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Ok, this);
    BitBtn1->setGeometry(100, 300, 90, 32);
    BitBtn2 = MakeButton(QStringLiteral("BitBtn2"), StandardButton::Cancel, this);
    BitBtn2->setGeometry(210, 300, 90, 32);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    tabOrder().set({Amount, BitBtn1, BitBtn2});
}
