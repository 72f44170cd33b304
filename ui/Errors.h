#pragma once

#include <memory>

#include "Toolkit.h"

// The error window: messages longer than a dialog's message line.
class TErrorform : public Form {
    Q_OBJECT
public:
    explicit TErrorform(QWidget* parent);

    QPlainTextEdit* Erroroutput;
    QPushButton* BitBtn1;
    MemoBoard& board() { return *board_; }

protected:
    void FormClose() override;

private:
    std::unique_ptr<MemoBoard> board_;
};

extern TErrorform* Errorform;

// Shows a message of up to three lines in the error window, modally.
void ShowError(const QStringList& lines);
