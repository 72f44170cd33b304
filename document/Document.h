#pragma once

#include <QObject>
#include <QString>
#include <optional>

#include "army/Players.h"
#include "document/Recovery.h"

class Battle;

// What one edit of the armies changed, for whoever shows them.
struct ArmiesChange {
    enum What {
        KindWritten,    // kind `kind` of `player` was added or given new values
        KindRemoved,    // kind `kind` left; the kinds up to `lastKind` moved down one
        NumberWritten,  // the player's number was written (perhaps unchanged)
        NameWritten,    // the wizard's name was written (perhaps unchanged)
        Replaced,       // both players replaced whole: opened or restored
    };
    What what;
    int player = 0;
    int kind = 0;
    int lastKind = 0;
};

// The armies a player works on, as a document: both players, the army file
// they were last opened from or saved to, whether they differ from it, and
// the recovery file that keeps every change safe from a crash. Every edit
// goes through here and is announced by changed(); windows are handed the
// document and never hold armies of their own.
class Document : public QObject {
    Q_OBJECT
public:
    // Recovery files go to recoveryFolder; by default the user's data folder.
    explicit Document(QString recoveryFolder = QString(), QObject* parent = nullptr);

    const Players& players() const { return players_; }
    const Player& player(int p) const { return players_.player(p); }
    const Army& army(int p) const { return players_.army(p); }

    // The dialogs' edits, as the army records make them.
    Army::AddResult addKind(int player, const KindValues& values, int32_t number);
    bool modifyKind(int player, int32_t kind, const KindValues& values, int32_t number);
    bool removeKind(int player, int32_t kind);
    Players::InfoWritten changeInfo(const Players::InfoChange& change);
    // One battle, fought on the armies themselves as the main window fights
    // it: they end rebuilt whole, the same armies.
    void fightBattle(Battle& engine);

    // An army file read whole and both armies built; false, with the reason,
    // when it cannot be opened.
    static bool read(const QString& file, Players* players, QString* error);
    // The armies saved to `file`, whole or not at all; false, with the reason,
    // when they could not be.
    bool save(const QString& file, QString* error);

    // Armies opened from `file`: they are what that file holds.
    void open(const Players& players, const QString& file);
    // Armies given back after a crash: changed, and belonging to no file.
    void restore(const Players& players);
    // The armies as they are now were saved to `file`.
    void markSaved(const QString& file);
    // The armies as they are now count as unchanged, belonging to no file,
    // as at the empty start.
    void markUnchanged();

    // The army file last opened or saved; empty when none.
    QString filePath() const { return file_; }
    // Whether the armies differ from those last opened or saved, or from
    // the empty start.
    bool isModified() const { return players_ != saved_; }

    Recovery& recovery() { return recovery_; }
    // A clean exit: nothing is left to recover.
    void close() { recovery_.finish(); }

signals:
    void changed(const ArmiesChange& change);
    // The recovery file could not be written: the armies are not safe from
    // a crash. Said once, until a write succeeds again.
    void recoveryFailed(const QString& error);

private:
    // After each edit: the recovery file follows the armies.
    void record();
    Players players_;
    Players saved_;
    // What the recovery file holds; nothing when there is no file.
    std::optional<Players> recorded_;
    QString file_;
    Recovery recovery_;
    bool recoveryFailing_ = false;
};
