#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QUrl>

class QTcpServer;
class QTcpSocket;

namespace ks::test {

// A canned answer for one path.
struct HttpResponse
{
    explicit HttpResponse(
            int status = 200, const QByteArray &headers = {}, const QByteArray &body = {}, bool holdOpen = false)
        : status(status)
        , headers(headers)
        , body(body)
        , holdOpen(holdOpen)
    {
    }

    int status;         // 0: read the request and never answer it
    QByteArray headers; // extra header lines, each ending in "\r\n"
    QByteArray body;
    // No Content-Length, and the connection stays open after the body, so
    // only the client can end the reply.
    bool holdOpen;
    // Sent again and again after the body until the client goes: as fast as
    // the client takes it with no interval, else once per interval.
    QByteArray repeat;
    int repeatIntervalMs = 0;
    // The head never ends: the repeat goes on with the last header line.
    bool endlessHead = false;

    static HttpResponse json(const QByteArray &body, int status = 200);
    // A 200 answer whose body never ends; `headers` may claim a length.
    static HttpResponse endless(const QByteArray &chunk, int intervalMs = 0, const QByteArray &headers = {});
    // A 200 answer whose last header line never ends.
    static HttpResponse endlessHeader(const QByteArray &chunk);
};

// A small HTTP/1.1 server on 127.0.0.1 with a free port, plain or TLS, that
// answers each path with its canned response (404 for any other), one request
// per connection, and keeps the head of every request it receives.
class LocalHttpServer final : public QObject
{
    Q_OBJECT

public:
    explicit LocalHttpServer(QObject *parent = nullptr)
        : QObject(parent)
    {
    }

    bool listen();
    // Listens on a certificate for 127.0.0.1 made now with the openssl
    // command; every TLS client in the process trusts it from then on.
    bool listenTls();
    // http://127.0.0.1:<port><path>, or https:// with TLS.
    QUrl url(const QString &path) const;

    void setResponse(const QString &path, const HttpResponse &response) { m_responses.insert(path, response); }
    // The request line and headers of each request, in the order they came.
    QList<QByteArray> requests() const { return m_requests; }
    int requestCount() const { return int(m_requests.size()); }
    // Bytes handed to the system for all clients, and the connections no
    // side has closed yet.
    qint64 bytesSent() const { return m_bytesSent; }
    int openConnections() const { return m_openConnections; }

private:
    Q_DISABLE_COPY_MOVE(LocalHttpServer)

    bool start(QTcpServer *server);
    void onReadyRead(QTcpSocket *socket);
    void keepSending(QTcpSocket *socket, const QByteArray &chunk, int intervalMs);

    QTcpServer *m_server = nullptr;
    QHash<QString, HttpResponse> m_responses;
    QList<QByteArray> m_requests;
    qint64 m_bytesSent = 0;
    int m_openConnections = 0;
};

} // namespace ks::test

Q_DECLARE_METATYPE(ks::test::HttpResponse)
