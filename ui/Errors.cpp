#include "Errors.h"

TErrorform::TErrorform(QWidget* parent)
    : Form(QStringLiteral("Errorform"), QStringLiteral("Error Dialog Box"), 258, 176, parent) {
    Erroroutput = new QPlainTextEdit(this);
    Erroroutput->setObjectName(QStringLiteral("Erroroutput"));
    Erroroutput->setReadOnly(true);
    Erroroutput->setFocusPolicy(Qt::NoFocus);
    Erroroutput->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Erroroutput->setGeometry(8, 8, 242, 116);
    board_ = std::make_unique<MemoBoard>(Erroroutput, 17);
    BitBtn1 = MakeButton(QStringLiteral("BitBtn1"), StandardButton::Ok, this);
    BitBtn1->setGeometry(84, 134, 90, 32);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    tabOrder().set({BitBtn1});
}

void TErrorform::FormClose() {
    // Each message stands alone: the next one starts on a clean memo.
    board_->clear();
}

void ShowError(const QStringList& lines) {
    MemoBoard& board = Errorform->board();
    board.beginBatch();
    for (int i = 0; i < lines.size(); ++i)
        board.setLine(i, lines[i]);
    board.endBatch();
    Errorform->ShowModal();
}
