#include "ArmyFileIO.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace armyfile {

namespace {

void setError(QString* error, const QString& message) {
    if (error)
        *error = message;
}

}  // namespace

bool LoadArmies(const QString& path, ArmySetup* out, QString* error) {
    if (QFileInfo(path).isDir()) {
        setError(error, QStringLiteral("cannot open the file: it is a directory"));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("cannot open the file: %1").arg(file.errorString()));
        return false;
    }
    // Read one byte past the limit, so that a file that only looks small
    // (a pipe, a device) is caught as well; the reader refuses it.
    const QByteArray data = file.read(MaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        setError(error, QStringLiteral("cannot read the file: %1").arg(file.errorString()));
        return false;
    }
    std::string problem;
    if (!FromJson(std::string_view(data.constData(), static_cast<size_t>(data.size())), out, &problem)) {
        setError(error, QString::fromStdString(problem));
        return false;
    }
    return true;
}

bool SaveArmies(const QString& path, const ArmySetup& setup, QString* error) {
    const std::string broken = Check(setup);
    if (!broken.empty()) {
        setError(error, QStringLiteral("the armies cannot be saved: %1").arg(QString::fromStdString(broken)));
        return false;
    }
    return WriteWhole(path, QByteArray::fromStdString(ToJson(setup)), error);
}

bool WriteWhole(const QString& path, const QByteArray& data, QString* error) {
    QSaveFile file(path);
    // Never write in place: a failed save must leave the old file whole.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, QStringLiteral("cannot write the file: %1").arg(file.errorString()));
        return false;
    }
    if (file.write(data) != data.size()) {
        setError(error, QStringLiteral("cannot write the file: %1").arg(file.errorString()));
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        setError(error, QStringLiteral("cannot write the file: %1").arg(file.errorString()));
        return false;
    }
    return true;
}

}  // namespace armyfile
