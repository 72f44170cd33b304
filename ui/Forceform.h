#pragma once

#include <optional>

#include "Toolkit.h"
#include "battle/ForceSearch.h"

class Document;
class LongWork;
class QChartView;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;

// "How many do I need?": finds the fewest units of one kind of a player's
// army that win the wanted share of battles, shows the answer with a chart
// of the numbers tried, and applies the number to the army on request. The
// search fights copies: the document's armies change only by Apply.
class TForceform : public Form {
    Q_OBJECT
public:
    TForceform(QWidget* parent, Document& document);

    QLabel* titles;
    QLabel* sides;
    QComboBox* Side;
    QLabel* kinds;
    QComboBox* Kind;
    QLabel* chances;
    QDoubleSpinBox* Chance;
    QLabel* largests;
    QSpinBox* Largest;
    QPushButton* Find;
    QLineEdit* Forcemes;
    QPlainTextEdit* Answer;
    QChartView* Chart;
    QPushButton* Apply;
    QPushButton* BitBtn1;

    void SideChange();
    void InputChange();
    void FindClick();
    void ApplyClick();

    bool searching() const;
    // The search's own battles; tests put a stand-in here.
    std::function<BatchFighter(const Army& I, const Army& II, int side, int32_t kind, const std::atomic<bool>* cancel)>
        fighter;
    // The options of the next search (tests lower the cap), and a seed for
    // it; without one every search draws its own.
    ForceSearchOptions searchOptions;
    std::optional<uint64_t> fixedSeed;

    // Closing the dialog while the search runs cancels it first.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The answer on show, kept for Apply.
    struct Shown {
        int player = 0;  // 1 or 2
        int32_t kind = 0;
        ForceSearchResult result;
    };
    void fillSides();
    void fillKinds();
    void clearAnswer();
    void showAnswer(const Shown& shown, const ForceSearchOptions& options, double seconds);

    Document& document_;
    std::optional<Shown> shown_;
    LongWork* work_;
};

extern TForceform* Forceform;
