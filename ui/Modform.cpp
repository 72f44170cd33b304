#include "Modform.h"

TModform1::TModform1(QWidget* parent) : Form(QStringLiteral("Modform1"), QStringLiteral("Unit Modification Form"), 405, 418, parent) {
    Id = new Edit(QStringLiteral("Id"), QStringLiteral("Number"), this);
    Id->setGeometry(20, 60, 100, 24);
    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Ok, this);
    BitBtn1->setGeometry(100, 300, 90, 32);
    BitBtn2 = MakeButton(QStringLiteral("BitBtn2"), StandardButton::Cancel, this);
    BitBtn2->setGeometry(210, 300, 90, 32);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    tabOrder().set({Id, BitBtn1, BitBtn2});
}
