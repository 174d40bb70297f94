#include "ui/cinstancechecker.h"

#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

namespace ravelin::ui {

namespace {
constexpr char kRaiseRequest[] = "raise\n";
constexpr int kConnectTimeoutMs = 500;
}  // namespace

CInstanceChecker::CInstanceChecker(const QString& applicationTitle, QObject* parent)
    : QObject(parent),
      name(QStringLiteral("CInstanceChecker_%1_%2").arg(applicationTitle).arg(static_cast<qulonglong>(::getuid())))
{
}

CInstanceChecker::~CInstanceChecker() = default;

bool CInstanceChecker::ActivatePreviousInstance()
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(kRaiseRequest);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kConnectTimeoutMs);
    return true;
}

bool CInstanceChecker::TrackFirstInstance(std::function<void()> raiseWindow)
{
    if (server)
        return true;
    // A socket left behind by a crashed instance answers nobody; a live one
    // means another instance registered meanwhile.
    {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(kConnectTimeoutMs))
            return false;
    }
    QLocalServer::removeServer(name);
    raise = std::move(raiseWindow);
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) {
        delete server;
        server = nullptr;
        return false;
    }
    connect(server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server->nextPendingConnection()) {
            connect(client, &QLocalSocket::readyRead, client, [this, client] {
                if (client->readAll().contains("raise") && raise)
                    raise();
            });
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        }
    });
    return true;
}

void RaiseWindow(QWidget* window)
{
    if (!window)
        return;
    if (window->isMinimized())
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace ravelin::ui
