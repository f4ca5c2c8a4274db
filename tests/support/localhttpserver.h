#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>
#include <QUrlQuery>

class QSslCertificate;
class QSslKey;
class QTcpServer;
class QTcpSocket;

namespace ks::test {

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// A canned answer for one path.
struct HttpResponse
{
    // How the body ends: by its Content-Length, by closing the connection, or
    // not at all (the connection stays open after the body, so a client has to
    // stop reading on its own).
    enum class End { ContentLength, Close, HoldOpen };

    int status = 200;
    HttpHeaders headers;
    QByteArray body;
    End end = End::ContentLength;
    // Read the request and never answer it.
    bool silent = false;

    static HttpResponse json(const QByteArray &body, int status = 200);
    static HttpResponse redirect(const QString &location, int status = 302);
    static HttpResponse neverAnswer();
};

// One request as the server received it.
struct HttpRequest
{
    QByteArray method;
    QByteArray target; // as on the request line: path and query
    QString path;
    QUrlQuery query;
    HttpHeaders headers;

    // The first header of that name (case-insensitive), or empty.
    QByteArray header(const QByteArray &name) const;
};

// A small HTTP/1.1 server on 127.0.0.1 with a free port, plain or TLS, that
// answers each path with a canned response (404 for paths it was not given)
// and records every request. One request per connection; the answer says
// "Connection: close".
class LocalHttpServer final : public QObject
{
    Q_OBJECT

public:
    explicit LocalHttpServer(QObject *parent = nullptr);
    ~LocalHttpServer() override;

    bool listen();
    bool listenTls(const QSslCertificate &certificate, const QSslKey &key);
    quint16 port() const;
    // http://127.0.0.1:<port><path>, or https:// when listening with TLS.
    QUrl url(const QString &path) const;

    void setResponse(const QString &path, const HttpResponse &response);

    QList<HttpRequest> requests() const { return m_requests; }
    int requestCount() const { return int(m_requests.size()); }

signals:
    void requestReceived(const QString &path);

private:
    Q_DISABLE_COPY_MOVE(LocalHttpServer)

    bool startListening();
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const HttpResponse &response);

    QTcpServer *m_server = nullptr;
    bool m_tls = false;
    QHash<QString, HttpResponse> m_responses;
    QList<HttpRequest> m_requests;
};

} // namespace ks::test

Q_DECLARE_METATYPE(ks::test::HttpResponse)
