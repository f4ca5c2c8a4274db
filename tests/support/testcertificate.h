#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

namespace ks::test {

// A self-signed certificate for 127.0.0.1 with its private key, made with
// the openssl command, for a local TLS server.
struct TestCertificate
{
    QSslCertificate certificate;
    QSslKey key;

    bool isNull() const { return certificate.isNull() || key.isNull(); }
};

// Makes a fresh certificate valid for a day. On failure returns a null one
// and says why in `error`; "openssl not found" when the command is missing.
TestCertificate makeTestCertificate(QString *error);

// Makes `certificate` trusted by every TLS connection the process opens from
// now on, as if a system authority had signed it.
void trustCertificate(const QSslCertificate &certificate);

} // namespace ks::test
