#include "Test.h"

TTestform::TTestform(QWidget* parent) : Form(QStringLiteral("Testform"), QStringLiteral("Testform"), 693, 480, parent) {
    Testoutput = new QPlainTextEdit(this);
    Testoutput->setObjectName(QStringLiteral("Testoutput"));
    Testoutput->setReadOnly(true);
    Testoutput->setGeometry(8, 8, 677, 420);
    board_ = std::make_unique<MemoBoard>(Testoutput, 250);
    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Close, this);
    BitBtn1->setGeometry(300, 438, 90, 32);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    tabOrder().set({BitBtn1});
}
