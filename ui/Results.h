#pragma once

#include <memory>

#include "Toolkit.h"
#include "battle/Report.h"

class QLabel;
class QTableWidget;
class QChartView;
struct SimulationResult;

// The battle results window: the two columns of a battle report and, after
// a simulation, a panel beside them telling how sure its result is.
class TBattleform : public Form, public ReportColumns {
    Q_OBJECT
public:
    explicit TBattleform(QWidget* parent);

    QLabel* title;
    QPlainTextEdit* Results1;
    QPlainTextEdit* Results2;
    QPushButton* BitBtn1;

    // The odds panel, right of the columns; the window widens to hold it.
    QWidget* Statistics;
    QLabel* statisticsTitle;
    QTableWidget* Odds;
    QChartView* Spread;

    // Shows the win chances, the units left per kind and their spread over
    // the runs of a simulation; a new report hides them again.
    void showStatistics(const SimulationResult& result);
    void hideStatistics();
    bool statisticsShown() const;

    MemoBoard& column(int index) { return index == 0 ? *column1_ : *column2_; }

    // Report writes between these reach the memos once, at the end.
    void beginReport();
    void endReport();

    void clearColumns() override;
    void setLine(int column, int index, const std::string& text) override;
    std::string playerNumber(int side) const override;
    std::string wizardName(int side) const override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fillOdds(const SimulationResult& result);
    void fillSpread(const SimulationResult& result);

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
