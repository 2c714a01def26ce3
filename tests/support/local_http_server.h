#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QTcpServer>

namespace tessaly::testing {

// A tiny HTTP/1.1 server on 127.0.0.1 (a free port) for tests: each path
// answers with a fixed response, optionally after a delay or trickled out in
// chunks. It never listens on any other address and stops with the object.
class LocalHttpServer : public QObject {
    Q_OBJECT

public:
    struct Response {
        int status = 200;
        QByteArray contentType = "text/html; charset=utf-8";
        QByteArray body;
        int delayMs = 0;
        QList<QPair<QByteArray, QByteArray>> headers;
        // With an interval, the body goes out chunkBytes at a time, one chunk
        // per interval (a slow download).
        int chunkBytes = 0;
        int chunkIntervalMs = 0;
        // With chunks, only the first stallAfterBytes of the body go out;
        // then the server sends nothing more, and after closeAfterStallMs
        // (when not negative) drops the connection.
        qsizetype stallAfterBytes = -1;
        int closeAfterStallMs = -1;
    };

    LocalHttpServer();
    void Route(const QByteArray& path, const Response& response);
    void Page(const QByteArray& path, const QByteArray& html, int delayMs = 0);
    QString Url(const QByteArray& path) const;
    QList<QByteArray> Requests() const { return requests_; }
    QByteArray LastRequestHeaders() const { return lastRequestHeaders_; }
    // The request line and headers of the last request for path.
    QByteArray RequestHeaders(const QByteArray& path) const { return headersByPath_.value(path); }

private:
    void Serve(class QTcpSocket* socket);

    QTcpServer server_;
    QHash<QByteArray, Response> routes_;
    QList<QByteArray> requests_;
    QByteArray lastRequestHeaders_;
    QHash<QByteArray, QByteArray> headersByPath_;
};

}  // namespace tessaly::testing
