#pragma once

// A small HTTP/1.1 server on the loopback interface for the update tests. It
// runs on its own thread (so a client may hold the test's thread while it
// waits), listens on a port the system chooses, answers each request from a
// table of routes and closes the connection after every answer. It records
// the request lines and headers it received.

#include <QByteArray>
#include <QEventLoop>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace ravelin::update::testing {

struct Route {
    int status = 200;
    QByteArray body;
    // Content-Length is sent unless this is false (the body then ends where
    // the connection closes).
    bool sendLength = true;
    // The connection is cut after this many body bytes (-1: the whole body);
    // Content-Length still announces the whole body.
    qint64 dropAfter = -1;
};

struct Request {
    QByteArray method;
    QByteArray path;
    QHash<QByteArray, QByteArray> headers;  // names in lower case
};

class TestHttpServer {
public:
    TestHttpServer()
    {
        thread_ = QThread::create([this] { Serve(); });
        thread_->start();
        ready_.acquire();
    }
    ~TestHttpServer()
    {
        thread_->quit();
        thread_->wait();
        delete thread_;
    }
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    quint16 Port() const { return port_; }
    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }

    void SetRoute(const QByteArray& path, const Route& route)
    {
        QMutexLocker lock(&mutex_);
        routes_[path] = route;
    }
    QList<Request> Requests() const
    {
        QMutexLocker lock(&mutex_);
        return requests_;
    }

private:
    void Serve()
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        port_ = server.serverPort();
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Read(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        ready_.release();
        // Runs until the thread is told to quit.
        QEventLoop loop;
        loop.exec();
    }

    void Read(QTcpSocket* socket)
    {
        QByteArray& buffer = pending_[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        pending_.remove(socket);
        Request request;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
        }
        Route route;
        bool found = false;
        {
            QMutexLocker lock(&mutex_);
            requests_.append(request);
            if (routes_.contains(request.path)) {
                route = routes_.value(request.path);
                found = true;
            }
        }
        if (!found)
            route = Route{404, QByteArrayLiteral("not here"), true, -1};
        QByteArray answer = "HTTP/1.1 " + QByteArray::number(route.status) + " Status\r\n";
        if (route.sendLength)
            answer += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n";
        answer += "Connection: close\r\n\r\n";
        if (request.method != "HEAD")
            answer += route.dropAfter >= 0 ? route.body.left(route.dropAfter) : route.body;
        socket->write(answer);
        socket->disconnectFromHost();
    }

    QThread* thread_ = nullptr;
    QSemaphore ready_;
    quint16 port_ = 0;
    mutable QMutex mutex_;
    QHash<QByteArray, Route> routes_;
    QList<Request> requests_;
    QHash<QTcpSocket*, QByteArray> pending_;
};

}  // namespace ravelin::update::testing
