#include "testcertificate.h"

#include <QFile>
#include <QProcess>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace ks::test {

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TestCertificate makeTestCertificate(QString *error)
{
    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (openssl.isEmpty()) {
        *error = QStringLiteral("openssl not found");
        return TestCertificate();
    }
    QTemporaryDir dir;
    const QString keyPath = dir.filePath(QStringLiteral("key.pem"));
    const QString certificatePath = dir.filePath(QStringLiteral("certificate.pem"));
    // An EC key is made in milliseconds, where RSA can take a second.
    QProcess process;
    process.start(openssl, { QStringLiteral("req"), QStringLiteral("-x509"),
                             QStringLiteral("-newkey"), QStringLiteral("ec"),
                             QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                             QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("1"),
                             QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                             QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                             QStringLiteral("-keyout"), keyPath,
                             QStringLiteral("-out"), certificatePath });
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        *error = QStringLiteral("openssl failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
        return TestCertificate();
    }
    TestCertificate result;
    result.certificate = QSslCertificate(readAll(certificatePath), QSsl::Pem);
    result.key = QSslKey(readAll(keyPath), QSsl::Ec, QSsl::Pem);
    if (result.isNull())
        *error = QStringLiteral("openssl wrote no usable certificate");
    return result;
}

void trustCertificate(const QSslCertificate &certificate)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificate(certificate);
    QSslConfiguration::setDefaultConfiguration(configuration);
}

} // namespace ks::test
