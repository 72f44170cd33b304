#pragma once

#include <QByteArray>
#include <QString>

#include "files/ArmyFile.h"

// Army files on disk, for the desktop program and orbsim: reading with a
// size limit, and writing that never leaves a half-written file.

namespace armyfile {

bool LoadArmies(const QString& path, ArmySetup* out, QString* error);
// Refuses a setup that would not open again; the old file stays whole on
// any failure.
bool SaveArmies(const QString& path, const ArmySetup& setup, QString* error);
// Writes data as the whole new content of the file, through a temporary
// file renamed over it: on any failure the old file stays whole.
bool WriteWhole(const QString& path, const QByteArray& data, QString* error);

}  // namespace armyfile
