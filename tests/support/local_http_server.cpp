#include "local_http_server.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace tessaly::testing {

LocalHttpServer::LocalHttpServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Serve(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void LocalHttpServer::Route(const QByteArray& path, const Response& response) {
    routes_.insert(path, response);
}

void LocalHttpServer::Page(const QByteArray& path, const QByteArray& html, int delayMs) {
    Response response;
    response.body = "<!DOCTYPE html><html><head><meta charset='utf-8'><title>" + path +
                    "</title></head><body>" + html + "</body></html>";
    response.delayMs = delayMs;
    Route(path, response);
}

QString LocalHttpServer::Url(const QByteArray& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2")
        .arg(server_.serverPort())
        .arg(QString::fromLatin1(path));
}

void LocalHttpServer::Serve(QTcpSocket* socket) {
    QByteArray request = socket->property("pending").toByteArray() + socket->readAll();
    const int end = request.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty("pending", request);
        return;
    }
    socket->setProperty("pending", QByteArray());
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    const QByteArray path = words.value(1).split('?').value(0);
    requests_.append(path);
    lastRequestHeaders_ = request.left(end);
    headersByPath_.insert(path, lastRequestHeaders_);

    const bool known = routes_.contains(path);
    Response response = routes_.value(path);
    if (!known) {
        response.status = 404;
        response.body = "<html><body>not found</body></html>";
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) +
                      (response.status == 200 ? " OK" : " Error") +
                      "\r\nContent-Type: " + response.contentType +
                      "\r\nContent-Length: " + QByteArray::number(response.body.size()) +
                      "\r\nConnection: close\r\n";
    for (const auto& [name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
    }
    head += "\r\n";

    QPointer<QTcpSocket> guarded(socket);
    auto send = [this, guarded, head, response] {
        if (!guarded) {
            return;
        }
        guarded->write(head);
        if (response.chunkIntervalMs <= 0 || response.chunkBytes <= 0) {
            guarded->write(response.body);
            guarded->disconnectFromHost();
            return;
        }
        auto* timer = new QTimer(guarded);
        auto sent = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, this, [guarded, timer, sent, response] {
            if (!guarded) {
                return;
            }
            guarded->write(response.body.mid(*sent, response.chunkBytes));
            *sent += response.chunkBytes;
            if (response.stallAfterBytes >= 0 && *sent >= response.stallAfterBytes) {
                timer->stop();
                if (response.closeAfterStallMs >= 0) {
                    QTimer::singleShot(response.closeAfterStallMs, guarded, [guarded] {
                        if (guarded) {
                            guarded->abort();
                        }
                    });
                }
                return;
            }
            if (*sent >= response.body.size()) {
                timer->stop();
                guarded->disconnectFromHost();
            }
        });
        timer->start(response.chunkIntervalMs);
    };
    if (response.delayMs > 0) {
        QTimer::singleShot(response.delayMs, this, send);
    } else {
        send();
    }
}

}  // namespace tessaly::testing
