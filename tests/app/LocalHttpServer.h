#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QUrl>

// A small HTTP server on 127.0.0.1 for the update check: it answers every request with
// the status and body the test sets, or, when silent, reads the request and never
// answers.
class LocalHttpServer : public QTcpServer {
    Q_OBJECT

public:
    LocalHttpServer();

    void answer(int status, const QByteArray& body);
    void staySilent() { m_silent = true; }

    QUrl url(const QString& path = QStringLiteral("/appcast.xml")) const;
    int requestsReceived() const { return m_requests; }

private:
    void serve();

    int m_status = 200;
    QByteArray m_body;
    bool m_silent = false;
    int m_requests = 0;
};
