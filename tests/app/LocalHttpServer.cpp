#include "LocalHttpServer.h"

#include <QTcpSocket>

LocalHttpServer::LocalHttpServer()
{
    listen(QHostAddress::LocalHost);
    connect(this, &QTcpServer::newConnection, this, &LocalHttpServer::serve);
}

void LocalHttpServer::answer(int status, const QByteArray& body)
{
    m_status = status;
    m_body = body;
    m_silent = false;
}

QUrl LocalHttpServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
}

void LocalHttpServer::serve()
{
    while (QTcpSocket* socket = nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            // The request is complete at its empty line; a GET has no body.
            QByteArray request = socket->property("request").toByteArray() + socket->readAll();
            socket->setProperty("request", request);
            if (!request.contains("\r\n\r\n") || socket->property("answered").toBool()) {
                return;
            }
            socket->setProperty("answered", true);
            ++m_requests;
            if (m_silent) {
                return;
            }
            socket->write("HTTP/1.1 " + QByteArray::number(m_status) + " Status\r\n" +
                          "Content-Type: application/rss+xml\r\n" +
                          "Content-Length: " + QByteArray::number(m_body.size()) + "\r\n" +
                          "Connection: close\r\n\r\n" + m_body);
            socket->disconnectFromHost();
        });
    }
}
