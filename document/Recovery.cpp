#include "Recovery.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QUuid>
#include <algorithm>

#include "files/ArmyFileIO.h"

namespace {
const QString suffix = QStringLiteral(".json");

QString lockPathOf(const QString& file) {
    return file.chopped(suffix.size()) + QStringLiteral(".lock");
}

std::unique_ptr<QLockFile> makeLock(const QString& path) {
    auto lock = std::make_unique<QLockFile>(path);
    // Only a lock whose program is gone is stale, however old it is: the
    // program may have been running for days.
    lock->setStaleLockTime(0);
    return lock;
}
}  // namespace

Recovery::Recovery(QString folder)
    : folder_(folder.isEmpty()
                  ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/recovery")
                  : std::move(folder)),
      id_(QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

Recovery::~Recovery() = default;

QString Recovery::path() const {
    return QDir(folder_).filePath(id_ + suffix);
}

bool Recovery::hold() {
    if (lock_ && lock_->isLocked())
        return true;
    if (!QDir().mkpath(folder_))
        return false;
    lock_ = makeLock(lockPathOf(path()));
    return lock_->tryLock(0);
}

bool Recovery::write(const QByteArray& data, QString* error) {
    if (!hold()) {
        if (error)
            *error = QStringLiteral("cannot lock the recovery folder %1").arg(QDir::toNativeSeparators(folder_));
        return false;
    }
    return armyfile::WriteWhole(path(), data, error);
}

void Recovery::remove() {
    QFile::remove(path());
}

void Recovery::finish() {
    remove();
    if (lock_)
        lock_->unlock();
    lock_.reset();
}

std::vector<Recovery::Leftover> Recovery::leftovers() const {
    std::vector<Leftover> found;
    const QFileInfoList files = QDir(folder_).entryInfoList({QStringLiteral("*") + suffix}, QDir::Files, QDir::Time);
    for (const QFileInfo& file : files) {
        if (file.absoluteFilePath() == QFileInfo(path()).absoluteFilePath())
            continue;
        // The lock of a running program cannot be taken; that of a program
        // that is gone is stale and can.
        std::shared_ptr<QLockFile> lock = makeLock(lockPathOf(file.absoluteFilePath()));
        if (!lock->tryLock(0))
            continue;
        found.push_back({file.absoluteFilePath(), file.lastModified(), std::move(lock)});
    }
    std::sort(found.begin(), found.end(), [](const Leftover& a, const Leftover& b) { return a.written > b.written; });
    // A run that crashed while its armies were saved leaves only its lock.
    for (const QFileInfo& lock : QDir(folder_).entryInfoList({QStringLiteral("*.lock")}, QDir::Files)) {
        const QString file = lock.absoluteFilePath().chopped(5) + suffix;
        if (QFileInfo::exists(file))
            continue;
        std::unique_ptr<QLockFile> stale = makeLock(lock.absoluteFilePath());
        if (stale->tryLock(0))
            stale->unlock();
    }
    return found;
}

void Recovery::Leftover::discard() {
    QFile::remove(path);
    if (lock)
        lock->unlock();
}
