#pragma once

// What the program remembers between runs, in the user's settings: the
// army files used last, the folders of the file dialogs and where windows
// were left. Every read goes to the settings, so programs running side by
// side share one list of recent files.

#include <QString>
#include <QStringList>

class QWidget;

namespace settings {

inline constexpr int MaxRecentFiles = 8;

// Newest first, at most MaxRecentFiles absolute paths.
QStringList recentFiles();
// Puts the file first, without a second entry for it.
void addRecentFile(const QString& path);
void removeRecentFile(const QString& path);
void clearRecentFiles();

// The folder a kind of file dialog last chose in; home when none yet.
QString folder(const QString& kind);
void setFolderOf(const QString& kind, const QString& file);

// A window's place and size under its objectName.
void saveGeometry(const QWidget* window);
void restoreGeometry(QWidget* window);

double value(const QString& key, double fallback);
void setValue(const QString& key, double value);

}  // namespace settings
