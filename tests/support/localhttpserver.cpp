#include "localhttpserver.h"

#include <QFile>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

namespace ks::test {

HttpResponse HttpResponse::json(const QByteArray &body, int status)
{
    return HttpResponse(status, "Content-Type: application/json\r\n", body);
}

HttpResponse HttpResponse::endless(const QByteArray &chunk, int intervalMs, const QByteArray &headers)
{
    HttpResponse response(200, headers, {}, true);
    response.repeat = chunk;
    response.repeatIntervalMs = intervalMs;
    return response;
}

HttpResponse HttpResponse::endlessHeader(const QByteArray &chunk)
{
    HttpResponse response = endless(chunk, 0, "X-Padding: ");
    response.endlessHead = true;
    return response;
}

bool LocalHttpServer::listen()
{
    return start(new QTcpServer(this));
}

bool LocalHttpServer::listenTls()
{
    QTemporaryDir dir;
    const QString keyPath = dir.filePath(QStringLiteral("key.pem"));
    const QString certificatePath = dir.filePath(QStringLiteral("certificate.pem"));
    // An EC key is made in milliseconds, where RSA can take a second.
    const QStringList arguments
            = QStringLiteral(
                      "req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 -subj /CN=127.0.0.1 "
                      "-addext subjectAltName=IP:127.0.0.1")
                      .split(u' ')
            + QStringList{ QStringLiteral("-keyout"), keyPath, QStringLiteral("-out"), certificatePath };
    QProcess openssl; // its chatter on standard error is dropped
    openssl.start(QStringLiteral("openssl"), arguments);
    QFile key(keyPath);
    if (!openssl.waitForFinished() || openssl.exitCode() != 0 || !key.open(QIODevice::ReadOnly))
        return false;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate::fromPath(certificatePath).value(0));
    configuration.setPrivateKey(QSslKey(&key, QSsl::Ec));
    auto *server = new QSslServer(this);
    server->setSslConfiguration(configuration);

    QSslConfiguration clients = QSslConfiguration::defaultConfiguration();
    clients.addCaCertificate(configuration.localCertificate());
    QSslConfiguration::setDefaultConfiguration(clients);
    return start(server);
}

bool LocalHttpServer::start(QTcpServer *server)
{
    m_server = server;
    connect(server, &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            ++m_openConnections;
            // A small send buffer keeps what the system holds for a client
            // that stopped reading close to what it was really sent.
            socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 64 * 1024);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            connect(socket, &QTcpSocket::bytesWritten, this, [this](qint64 bytes) { m_bytesSent += bytes; });
            connect(socket, &QTcpSocket::disconnected, this, [this] { --m_openConnections; });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            onReadyRead(socket); // a TLS socket may hold the request already
        }
    });
    return server->listen(QHostAddress::LocalHost, 0);
}

QUrl LocalHttpServer::url(const QString &path) const
{
    const bool tls = qobject_cast<QSslServer *>(m_server);
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                        .arg(QLatin1String(tls ? "https" : "http"))
                        .arg(m_server ? m_server->serverPort() : 0)
                        .arg(path));
}

void LocalHttpServer::onReadyRead(QTcpSocket *socket)
{
    // The head may come in pieces; it stays in the socket until it is whole.
    const qsizetype end = socket->peek(socket->bytesAvailable()).indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QByteArray head = socket->read(end + 4);
    m_requests.append(head);
    const QString path = QUrl::fromEncoded(head.split(' ').value(1)).path();
    const HttpResponse response = m_responses.value(path, HttpResponse(404, {}, "not found"));
    if (response.status == 0)
        return;
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + " Canned\r\n" + response.headers;
    if (response.endlessHead) {
        socket->write(out);
        keepSending(socket, response.repeat, response.repeatIntervalMs);
        return;
    }
    if (!response.holdOpen)
        out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    socket->write(out + "Connection: close\r\n\r\n" + response.body);
    if (!response.repeat.isEmpty())
        keepSending(socket, response.repeat, response.repeatIntervalMs);
    else if (!response.holdOpen)
        socket->disconnectFromHost();
}

void LocalHttpServer::keepSending(QTcpSocket *socket, const QByteArray &chunk, int intervalMs)
{
    if (intervalMs > 0) {
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket, chunk] { socket->write(chunk); });
        timer->start(intervalMs);
        return;
    }
    // Topped up whenever the socket has passed most of it on.
    const auto topUp = [socket, chunk] {
        while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 4 * chunk.size())
            socket->write(chunk);
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, topUp);
    topUp();
}

} // namespace ks::test
