#pragma once

#include <string>
#include <vector>

// The two line-addressed text columns a battle report is written into: the
// left one for side I (player 1), the right one for side II (player 2).
// A column grows as the report needs, so no line is ever lost.
class ReportColumns {
public:
    virtual ~ReportColumns() = default;
    // Empties both columns.
    virtual void clearColumns() = 0;
    virtual void setLine(int column, int index, const std::string& text) = 0;
    // The player's number and wizard name as they stand when the report's
    // header is written; side 0 is player 1.
    virtual std::string playerNumber(int side) const = 0;
    virtual std::string wizardName(int side) const = 0;
};

// Columns kept as plain string vectors, with fixed player texts.
class StringReport : public ReportColumns {
public:
    std::vector<std::string> columns[2];
    std::string numbers[2] = {"1", "2"};
    std::string names[2] = {"Nameless 1", "Nameless 2"};

    void clearColumns() override {
        // The lines' buffers are kept for the next report: a report is
        // written once per battle, and allocating every line anew would cost
        // more than the battle itself in small armies.
        for (auto& c : columns) {
            for (std::string& line : c)
                spare_.push_back(std::move(line));
            c.clear();
        }
    }
    void setLine(int column, int index, const std::string& text) override {
        auto& c = columns[column];
        if (index < 0)
            return;
        while (static_cast<size_t>(index) >= c.size()) {
            if (spare_.empty()) {
                c.emplace_back();
            } else {
                c.push_back(std::move(spare_.back()));
                spare_.pop_back();
                c.back().clear();
            }
        }
        c[static_cast<size_t>(index)] = text;
    }
    std::string playerNumber(int side) const override { return numbers[side]; }
    std::string wizardName(int side) const override { return names[side]; }
    // Line i of a column, or the empty text past its end.
    const std::string& line(int column, int index) const {
        static const std::string empty;
        const auto& c = columns[column];
        return index >= 0 && static_cast<size_t>(index) < c.size() ? c[static_cast<size_t>(index)] : empty;
    }

private:
    std::vector<std::string> spare_;
};
