#include "app/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace {

constexpr int kAnswerWaitMs = 1000;

}  // namespace

CSingleInstance::CSingleInstance(QString socketPath) : path_(std::move(socketPath))
{
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            socket->deleteLater();
            emit showRequested();
        }
    });
}

QString CSingleInstance::DefaultSocketPath()
{
    // One copy per set of settings the program acts on: the home folder and
    // the XDG folders that hold the desktop's proxy settings and the saved
    // configuration. A user has one; a sandboxed run (a test, the demo) has
    // its own.
    const QByteArray settings =
        QDir::homePath().toUtf8() + '\n' + qgetenv("XDG_CONFIG_HOME") + '\n' + qgetenv("XDG_STATE_HOME");
    const QString key =
        QString::fromLatin1(QCryptographicHash::hash(settings, QCryptographicHash::Sha256).toHex().left(16));
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/velmora-") + key
           + QStringLiteral(".socket");
}

bool CSingleInstance::HandOverToRunningCopy()
{
    QLockFile lock(path_ + QStringLiteral(".lock"));
    lock.tryLock(5 * kAnswerWaitMs);  // a copy that holds it longer has died; go on without it

    QLocalSocket running;
    running.connectToServer(path_);
    if (running.waitForConnected(kAnswerWaitMs)) {
        running.write("show\n");
        running.waitForBytesWritten(kAnswerWaitMs);
        running.disconnectFromServer();
        return true;
    }
    QLocalServer::removeServer(path_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(path_);
    return false;
}
