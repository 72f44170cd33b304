#pragma once

#include <memory>

#include "Toolkit.h"
#include "battle/Report.h"

class QLabel;

// The battle results window: the two columns of a battle report.
class TBattleform : public Form, public ReportColumns {
    Q_OBJECT
public:
    explicit TBattleform(QWidget* parent);

    QLabel* title;
    QPlainTextEdit* Results1;
    QPlainTextEdit* Results2;
    QPushButton* BitBtn1;

    MemoBoard& column(int index) { return index == 0 ? *column1_ : *column2_; }

    // Report writes between these reach the memos once, at the end.
    void beginReport();
    void endReport();

    void clearColumns() override;
    void setLine(int column, int index, const std::string& text) override;
    std::string playerNumber(int side) const override;
    std::string wizardName(int side) const override;

private:
    std::unique_ptr<MemoBoard> column1_;
    std::unique_ptr<MemoBoard> column2_;
};

// Holds the report writes of one command and shows them when it ends.
class ReportBatch {
public:
    explicit ReportBatch(TBattleform* form) : form_(form) { form_->beginReport(); }
    ~ReportBatch() { form_->endReport(); }
    ReportBatch(const ReportBatch&) = delete;
    ReportBatch& operator=(const ReportBatch&) = delete;

private:
    TBattleform* form_;
};
