#pragma once

// The recovery file: after each change the armies are written to a file of
// this run in the user's data folder, and a clean exit removes it, so a file
// found at start that no running program holds is what a crash or a kill
// left behind. Each run holds a lock file beside its own; a program running
// beside this one still holds its lock, so its file is never taken for a
// crash's.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <vector>

class QLockFile;

class Recovery {
public:
    // In `folder`; by default the "recovery" folder of the user's data folder.
    explicit Recovery(QString folder = QString());
    ~Recovery();
    Recovery(const Recovery&) = delete;
    Recovery& operator=(const Recovery&) = delete;

    // Writes data as this run's file, whole or not at all.
    bool write(const QByteArray& data, QString* error = nullptr);
    // This run's file goes; the lock stays for the rest of the run.
    void remove();
    // A clean exit: the file and the lock go.
    void finish();
    QString path() const;
    QString folder() const { return folder_; }

    // A file of a run that ended without removing it, locked for this run
    // while it lives, so no other program offers it at the same time.
    struct Leftover {
        QString path;
        QDateTime written;
        std::shared_ptr<QLockFile> lock;
        // The file and its lock go.
        void discard();
    };
    // Newest first.
    std::vector<Leftover> leftovers() const;

private:
    bool hold();
    QString folder_;
    QString id_;
    std::unique_ptr<QLockFile> lock_;
};
