#include "app/singleinstance.h"

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
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/velmora.socket");
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
