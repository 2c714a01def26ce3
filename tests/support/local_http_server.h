#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QTcpServer>

namespace tessaly::testing {

// A tiny HTTP/1.1 server on 127.0.0.1 (a free port) for tests: each path
// answers with a fixed response, optionally after a delay. It never listens on
// any other address and stops with the object.
class LocalHttpServer : public QObject {
    Q_OBJECT

public:
    struct Response {
        int status = 200;
        QByteArray contentType = "text/html; charset=utf-8";
        QByteArray body;
        int delayMs = 0;
        QList<QPair<QByteArray, QByteArray>> headers;
    };

    LocalHttpServer();
    void route(const QByteArray& path, const Response& response);
    void page(const QByteArray& path, const QByteArray& html, int delayMs = 0);
    QString url(const QByteArray& path) const;
    QList<QByteArray> requests() const { return requests_; }
    QByteArray lastRequestHeaders() const { return lastRequestHeaders_; }

private:
    void Serve(class QTcpSocket* socket);

    QTcpServer server_;
    QHash<QByteArray, Response> routes_;
    QList<QByteArray> requests_;
    QByteArray lastRequestHeaders_;
};

}  // namespace tessaly::testing
