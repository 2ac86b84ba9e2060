#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// One program per user (per home and settings folders): the desktop's proxy
// settings are the user's, so two copies would each believe they own them.
// The first start listens on a local socket in the user's runtime folder (XDG_RUNTIME_DIR, or Qt's private
// fallback; either is the user's alone, so no other user can answer there);
// a later start finds it, asks it to show its window and ends.
class CSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit CSingleInstance(QString socketPath = DefaultSocketPath());

    // True when another copy answers; it has been asked to show its window.
    // Otherwise this copy listens from now on (a socket left by a copy that
    // died is replaced). Starts at the same moment take turns through a lock
    // file, so exactly one of them listens.
    bool HandOverToRunningCopy();

    static QString DefaultSocketPath();

signals:
    // A later start asked for the window.
    void showRequested();

private:
    QString path_;
    QLocalServer server_;
};
