#include "Results.h"

#include <QLabel>

#include "Simulator.h"

namespace {
constexpr int PreparedLines = 300;
}

TBattleform::TBattleform(QWidget* parent)
    : Form(QStringLiteral("Battleform"), QStringLiteral("Battle Results"), 755, 554, parent) {
    title = MakeTitle(QStringLiteral("title"), QStringLiteral("*** Battle Results ***"), this, 40);
    title->setGeometry(0, 0, 755, 56);
    auto makeColumn = [this](const QString& name, int x) {
        auto* memo = new QPlainTextEdit(this);
        memo->setObjectName(name);
        memo->setReadOnly(true);
        memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo->setGeometry(x, 66, 362, 430);
        return memo;
    };
    Results1 = makeColumn(QStringLiteral("Results1"), 10);
    Results2 = makeColumn(QStringLiteral("Results2"), 383);
    column1_ = std::make_unique<MemoBoard>(Results1, PreparedLines, true);
    column2_ = std::make_unique<MemoBoard>(Results2, PreparedLines, true);
    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Close, this);
    BitBtn1->setGeometry(330, 508, 95, 32);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    tabOrder().set({BitBtn1});
}

void TBattleform::beginReport() {
    column1_->beginBatch();
    column2_->beginBatch();
}

void TBattleform::endReport() {
    column1_->endBatch();
    column2_->endBatch();
}

void TBattleform::clearColumns() {
    column1_->clear();
    column2_->clear();
}

void TBattleform::setLine(int column, int index, const std::string& text) {
    this->column(column).setLine(index, QString::fromStdString(text));
}

std::string TBattleform::playerNumber(int side) const {
    return (side == 0 ? Mainform->wizardno1 : Mainform->wizardno2)->text().toStdString();
}

std::string TBattleform::wizardName(int side) const {
    return (side == 0 ? Mainform->name1 : Mainform->name2)->text().toStdString();
}
