#include "localhttpserver.h"

#include <QHostAddress>
#include <QSslConfiguration>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>

namespace ks::test {

namespace {

const char *const BufferProperty = "ks_requestBuffer";

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return QByteArrayLiteral("OK");
    case 301: return QByteArrayLiteral("Moved Permanently");
    case 302: return QByteArrayLiteral("Found");
    case 307: return QByteArrayLiteral("Temporary Redirect");
    case 308: return QByteArrayLiteral("Permanent Redirect");
    case 404: return QByteArrayLiteral("Not Found");
    case 500: return QByteArrayLiteral("Internal Server Error");
    default: return QByteArrayLiteral("Status");
    }
}

// Parses the head of a request (everything before the empty line).
HttpRequest parseHead(const QByteArray &head)
{
    HttpRequest request;
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    const QUrl url = QUrl::fromEncoded(request.target);
    request.path = url.path();
    request.query = QUrlQuery(url);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({ line.left(colon).trimmed(), line.mid(colon + 1).trimmed() });
    }
    return request;
}

} // namespace

HttpResponse HttpResponse::json(const QByteArray &body, int status)
{
    HttpResponse response;
    response.status = status;
    response.headers = { { "Content-Type", "application/json" } };
    response.body = body;
    return response;
}

HttpResponse HttpResponse::redirect(const QString &location, int status)
{
    HttpResponse response;
    response.status = status;
    response.headers = { { "Location", location.toUtf8() } };
    return response;
}

HttpResponse HttpResponse::neverAnswer()
{
    HttpResponse response;
    response.silent = true;
    return response;
}

QByteArray HttpRequest::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

LocalHttpServer::LocalHttpServer(QObject *parent)
    : QObject(parent)
{
}

LocalHttpServer::~LocalHttpServer() = default;

bool LocalHttpServer::listen()
{
    m_server = new QTcpServer(this);
    return startListening();
}

bool LocalHttpServer::listenTls(const QSslCertificate &certificate, const QSslKey &key)
{
    auto *server = new QSslServer(this);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(certificate);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    server->setSslConfiguration(configuration);
    m_server = server;
    m_tls = true;
    return startListening();
}

bool LocalHttpServer::startListening()
{
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this,
            &LocalHttpServer::onNewConnection);
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 LocalHttpServer::port() const
{
    return m_server ? m_server->serverPort() : 0;
}

QUrl LocalHttpServer::url(const QString &path) const
{
    QUrl url;
    url.setScheme(m_tls ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(port());
    url.setPath(path);
    return url;
}

void LocalHttpServer::setResponse(const QString &path, const HttpResponse &response)
{
    m_responses.insert(path, response);
}

void LocalHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
    }
}

void LocalHttpServer::onReadyRead(QTcpSocket *socket)
{
    // The head may arrive in pieces; keep what came so far on the socket.
    QByteArray buffer = socket->property(BufferProperty).toByteArray() + socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty(BufferProperty, buffer);
        return;
    }
    socket->setProperty(BufferProperty, QByteArray());
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);

    const HttpRequest request = parseHead(buffer.left(end));
    m_requests.append(request);
    HttpResponse response;
    response.status = 404;
    response.body = QByteArrayLiteral("not found");
    response = m_responses.value(request.path, response);
    emit requestReceived(request.path);
    if (!response.silent)
        answer(socket, response);
}

void LocalHttpServer::answer(QTcpSocket *socket, const HttpResponse &response)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' '
        + reasonPhrase(response.status) + "\r\n";
    for (const auto &[name, value] : response.headers)
        out += name + ": " + value + "\r\n";
    if (response.end == HttpResponse::End::ContentLength)
        out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    out += response.body;
    socket->write(out);
    if (response.end != HttpResponse::End::HoldOpen)
        socket->disconnectFromHost();
}

} // namespace ks::test
