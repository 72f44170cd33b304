#pragma once

#include <memory>

#include "Toolkit.h"

// A window for test output that no command opens.
class TTestform : public Form {
    Q_OBJECT
public:
    explicit TTestform(QWidget* parent);

    QPlainTextEdit* Testoutput;
    QPushButton* BitBtn1;
    MemoBoard& board() { return *board_; }

private:
    std::unique_ptr<MemoBoard> board_;
};

extern TTestform* Testform;
