#include "Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QWidget>

namespace settings {

namespace {
const QString recentKey = QStringLiteral("recentFiles");

// One file named after the program, ~/.config/orbsimulator.conf: no
// organisation folder around it.
QSettings store() {
    return QSettings(QCoreApplication::applicationName(), QString());
}

QString geometryKey(const QWidget* window) {
    return QStringLiteral("windows/%1").arg(window->objectName());
}
}  // namespace

QStringList recentFiles() {
    QStringList files = store().value(recentKey).toStringList();
    // A hand-edited settings file may hold more, or blanks.
    files.removeAll(QString());
    files.removeDuplicates();
    return files.mid(0, MaxRecentFiles);
}

void addRecentFile(const QString& path) {
    const QString file = QFileInfo(path).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(file);
    files.prepend(file);
    store().setValue(recentKey, files.mid(0, MaxRecentFiles));
}

void removeRecentFile(const QString& path) {
    QStringList files = recentFiles();
    files.removeAll(path);
    store().setValue(recentKey, files);
}

void clearRecentFiles() {
    store().remove(recentKey);
}

QString folder(const QString& kind) {
    const QString saved = store().value(QStringLiteral("folders/") + kind).toString();
    // A folder since removed would leave the dialog somewhere arbitrary.
    return !saved.isEmpty() && QFileInfo(saved).isDir() ? saved : QDir::homePath();
}

void setFolderOf(const QString& kind, const QString& file) {
    store().setValue(QStringLiteral("folders/") + kind, QFileInfo(file).absolutePath());
}

void saveGeometry(const QWidget* window) {
    store().setValue(geometryKey(window), window->saveGeometry());
}

void restoreGeometry(QWidget* window) {
    const QByteArray saved = store().value(geometryKey(window)).toByteArray();
    if (!saved.isEmpty())
        window->restoreGeometry(saved);
}

double value(const QString& key, double fallback) {
    bool ok = false;
    const double v = store().value(key).toDouble(&ok);
    return ok ? v : fallback;
}

void setValue(const QString& key, double value) {
    store().setValue(key, value);
}

}  // namespace settings
