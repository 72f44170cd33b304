#include "Document.h"

#include <utility>

#include "battle/Battle.h"
#include "files/ArmyFileIO.h"

Document::Document(QString recoveryFolder, QObject* parent) : QObject(parent), recovery_(std::move(recoveryFolder)) {
    saved_ = players_;
}

Army::AddResult Document::addKind(int player, const KindValues& values, int32_t number) {
    int32_t k = 0;
    const Army::AddResult result = players_.army(player).AddKind(values, number, &k);
    if (result == Army::AddResult::Added) {
        emit changed({ArmiesChange::KindWritten, player, k});
        record();
    }
    return result;
}

bool Document::modifyKind(int player, int32_t kind, const KindValues& values, int32_t number) {
    if (!players_.army(player).ApplyKind(kind, values, number))
        return false;
    emit changed({ArmiesChange::KindWritten, player, kind});
    record();
    return true;
}

bool Document::removeKind(int player, int32_t kind) {
    Army& army = players_.army(player);
    const int32_t last = army.currentType;
    if (kind < 0 || kind > last || !army.RemoveKind(kind))
        return false;
    emit changed({ArmiesChange::KindRemoved, player, kind, last});
    record();
    return true;
}

Players::InfoWritten Document::changeInfo(const Players::InfoChange& change) {
    const Players::InfoWritten written = players_.changeInfo(change);
    for (int p = 1; p <= 2; ++p)
        if (written.numbers[static_cast<size_t>(p - 1)])
            emit changed({ArmiesChange::NumberWritten, p});
    for (int p = 1; p <= 2; ++p)
        if (written.names[static_cast<size_t>(p - 1)])
            emit changed({ArmiesChange::NameWritten, p});
    record();
    return written;
}

void Document::fightBattle(Battle& engine) {
    Army& I = players_.army(1);
    Army& II = players_.army(2);
    Battle::PrepareLine(I);
    Battle::PrepareLine(II);
    engine.FightBattle(I, II);
}

bool Document::read(const QString& file, Players* players, QString* error) {
    armyfile::ArmySetup setup;
    std::string problem;
    if (!armyfile::LoadArmies(file, &setup, error))
        return false;
    if (armyfile::PlayersOf(setup, players, &problem))
        return true;
    *error = QString::fromStdString(problem);
    return false;
}

bool Document::save(const QString& file, QString* error) {
    if (!armyfile::SaveArmies(file, armyfile::SetupOf(players_), error))
        return false;
    markSaved(file);
    return true;
}

void Document::open(const Players& players, const QString& file) {
    players_ = players;
    saved_ = players;
    file_ = file;
    emit changed({ArmiesChange::Replaced});
    record();
}

void Document::restore(const Players& players) {
    players_ = players;
    file_.clear();
    emit changed({ArmiesChange::Replaced});
    record();
}

void Document::markSaved(const QString& file) {
    saved_ = players_;
    file_ = file;
    record();
}

void Document::markUnchanged() {
    saved_ = players_;
    file_.clear();
    record();
}

void Document::record() {
    // Armies as saved need no recovery: the file holds them.
    if (players_ == saved_) {
        if (recorded_)
            recovery_.remove();
        recorded_.reset();
        return;
    }
    if (recorded_ == players_)
        return;
    QString error;
    if (recovery_.write(QByteArray::fromStdString(armyfile::ToJson(armyfile::SetupOf(players_))), &error)) {
        recorded_ = players_;
        recoveryFailing_ = false;
    } else if (!std::exchange(recoveryFailing_, true)) {
        emit recoveryFailed(error);
    }
}
