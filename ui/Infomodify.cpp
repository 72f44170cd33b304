#include "Infomodify.h"

TArmymodify::TArmymodify(QWidget* parent) : Form(QStringLiteral("Armymodify"), QStringLiteral("General Army Modification Form"), 405, 420, parent) {
    id1 = new Edit(QStringLiteral("id1"), QStringLiteral("Number"), this);
    id1->setGeometry(20, 60, 100, 24);
    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Ok, this);
    BitBtn1->setGeometry(100, 300, 90, 32);
    BitBtn2 = MakeButton(QStringLiteral("BitBtn2"), StandardButton::Cancel, this);
    BitBtn2->setGeometry(210, 300, 90, 32);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    tabOrder().set({id1, BitBtn1, BitBtn2});
}
