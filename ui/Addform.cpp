#include "Addform.h"

TAddform1::TAddform1(QWidget* parent) : Form(QStringLiteral("Addform1"), QStringLiteral("Unit Addition Form"), 405, 420, parent) {
    id = new Edit(QStringLiteral("id"), QStringLiteral("Number"), this);
    id->setGeometry(20, 60, 100, 24);
    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Ok, this);
    BitBtn1->setGeometry(100, 300, 90, 32);
    BitBtn2 = MakeButton(QStringLiteral("BitBtn2"), StandardButton::Cancel, this);
    BitBtn2->setGeometry(210, 300, 90, 32);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    tabOrder().set({id, BitBtn1, BitBtn2});
}
