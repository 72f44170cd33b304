#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "Toolkit.h"
#include "army/Players.h"
#include "battle/Replay.h"
#include "battle/Report.h"
#include "battle/ReportText.h"

class Document;
class QComboBox;
class QLabel;
class QTableWidget;
class QChartView;
class QScrollArea;

// The battle results window: the two columns of a battle report and, after
// a simulation, a panel beside them telling how sure its result is. A
// right-click on a column offers to copy or save the report as plain text.
class TBattleform : public Form, public ReportColumns {
    Q_OBJECT
public:
    // The report's header names the document's players. The window named
    // "Battleform" is the design's; others show one battle of a simulation.
    TBattleform(QWidget* parent, const Document& document, const QString& name = QStringLiteral("Battleform"));

    // The window's whole content, scrolled when the screen is too small
    // for it; the controls below lie on Page.
    QScrollArea* Scroller;
    QWidget* Page;

    QLabel* title;
    QPlainTextEdit* Results1;
    QPlainTextEdit* Results2;
    QPushButton* BitBtn1;

    // The odds panel, right of the columns; the window widens to hold it.
    QWidget* Statistics;
    QLabel* statisticsTitle;
    QTableWidget* Odds;
    // Per side: how often it wins, and in how many battles at least so many
    // of its units are left.
    QChartView* Chances1;
    QChartView* Chances2;
    // "How did that happen?": a battle of the simulation shown, fought again,
    // in a window of its own; a click on a chart picks one with that many
    // units left.
    QComboBox* ShowBattle;
    TBattleform* RunReport = nullptr;

    // The simulation shown: its armies and result, kept for its battles.
    struct Simulation {
        Players players;
        SimulationResult result;
    };
    const std::optional<Simulation>& simulation() const { return simulation_; }
    // Run `run` (from 0) of the simulation shown, in the run window.
    void showRun(int32_t run);

    // A simulation of these armies: its averaged report, and beside it its
    // odds.
    void showSimulation(const Players& players, const SimulationResult& result);
    // Shows the win chances, the units left per kind and their spread over
    // the runs of a simulation; a new report hides them again.
    void showStatistics(const Players& players, const SimulationResult& result);
    void hideStatistics();
    bool statisticsShown() const;

    // The column's pop-up menu: "Copy Report", "Save Report...", then the
    // memo's own commands.
    void showReportMenu(QPlainTextEdit* column, const QPoint& position);
    // Both columns to the clipboard.
    void CopyReport1Click();
    // Both columns and the odds shown, to a text file.
    void SaveReport1Click();
    // Where "Save Report..." writes; an empty path is a cancel. By default
    // it asks with a file dialog; tests put their own answer here.
    std::function<QString()> chooseReportPath;
    std::string reportText(bool withOdds) const;

    MemoBoard& column(int index) { return index == 0 ? *column1_ : *column2_; }

    // Report writes between these reach the memos once, at the end.
    void beginReport();
    void endReport();

    void clearColumns() override;
    void setLine(int column, int index, const std::string& text) override;
    std::string playerNumber(int side) const override;
    std::string wizardName(int side) const override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fillOdds(const Players& players, const SimulationResult& result);
    void fillChances(const Players& players, const SimulationResult& result);
    void fillBattles(const SimulationResult& result);
    // A report written whole into the columns.
    void showColumns(const StringReport& report);
    void ShowBattleChange(int index);
    void showReplayed(const ReplayedRun& run);
    // Each row of the odds table as tall as its wrapped text needs.
    void fitRows();
    // The window as large as its content, but no larger than the screen
    // leaves room for, and placed on it.
    void fitToScreen();
    QString askForReportFile();

    const Document& document_;
    std::unique_ptr<MemoBoard> column1_;
    std::unique_ptr<MemoBoard> column2_;
    // The simulation whose odds are shown, for the saved report.
    std::optional<SimulationOdds> odds_;
    std::optional<Simulation> simulation_;
    // Said before the report when it is copied or saved: which battle it is.
    std::string heading_;
    QString lastReportFile_;
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

extern TBattleform* Battleform;
