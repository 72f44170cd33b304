#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "army/Army.h"

// Army files: both players' numbers, wizard names and every kind of both
// armies, as JSON. A file is checked whole before anything is taken from
// it, by the same rules the unit and army-info dialogs apply, so whatever
// opens can be fought and edited like an army entered by hand.

namespace armyfile {

inline constexpr const char* Format = "orb-battle-armies";
inline constexpr int Version = 1;

// Far beyond any real army file; keeps a stray huge file out of memory.
inline constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;

struct KindSetup {
    KindValues values;
    int32_t number = 0;  // units of the kind
};

struct PlayerSetup {
    QString number;  // as the main window stores it: "07" keeps its zero
    QString name;
    std::vector<KindSetup> kinds;
};

struct ArmySetup {
    std::array<PlayerSetup, 2> players;
};

// The kinds in use of an army, in kind order, with a player's texts.
PlayerSetup SetupFromArmy(const Army& army, const QString& number, const QString& name);
ArmySetup SetupFromArmies(const Army& army1, const QString& number1, const QString& name1, const Army& army2,
                          const QString& number2, const QString& name2);

// Empty when the setup keeps every rule of a file, else what breaks first.
QString Check(const ArmySetup& setup);

QByteArray ToJson(const ArmySetup& setup);
// On failure *out is untouched and *error (if given) names the problem and
// where it is.
bool FromJson(const QByteArray& json, ArmySetup* out, QString* error);

bool LoadArmies(const QString& path, ArmySetup* out, QString* error);
// Refuses a setup that would not open again; the old file stays whole on
// any failure.
bool SaveArmies(const QString& path, const ArmySetup& setup, QString* error);
// Writes data as the whole new content of the file, through a temporary
// file renamed over it: on any failure the old file stays whole.
bool WriteWhole(const QString& path, const QByteArray& data, QString* error);

// Replaces *army with the player's army, built kind by kind in order as the
// add dialog builds it. On failure (a kind no dialog would accept) *army is
// untouched.
bool BuildArmy(const PlayerSetup& player, Army* army);

}  // namespace armyfile
