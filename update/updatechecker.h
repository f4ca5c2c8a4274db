#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

namespace ks {

// Asks the release feed which version is current and reports, through one
// signal per check, whether it is newer than the running program. One request
// at a time; lives on the GUI thread.
class UpdateChecker final : public QObject
{
    Q_OBJECT

public:
    // The outcome of one check. A failure has ok false and an error text;
    // "nothing published" (404 or no version in the reply) is not a failure.
    struct Result
    {
        bool ok = false;
        bool nothingPublished = false;
        bool updateAvailable = false;
        bool critical = false;
        QString latestVersion;
        QString downloadUrl;
        QString notesUrl;
        QString notes;
        QString releaseDate;
        QString error;
    };

    static constexpr int DefaultTransferTimeoutMs = 15000;
    // A reply larger than this is treated as malformed, so that a broken or
    // hostile server cannot make the program allocate without limit.
    static constexpr qint64 MaxReplyBytes = 1024 * 1024;

    explicit UpdateChecker(QObject *parent = nullptr);
    ~UpdateChecker() override;

    // Starts a check unless one is running; a check while busy is ignored and
    // produces no signal. Every other check ends in exactly one finished().
    void check(bool userInitiated);
    bool isBusy() const { return m_reply != nullptr; }

    // The address asked, as text; it is parsed by check(). Starts as
    // defaultEndpoint().
    QString endpoint() const { return m_endpoint; }
    void setEndpoint(const QString &endpoint);

    // Time without progress after which a request is abandoned.
    void setTransferTimeout(int ms);

    // The KESTROVA_UPDATE_URL environment variable when set and not empty,
    // otherwise the address the program was built with.
    static QString defaultEndpoint();
    // The platform the program was built for, as sent to the feed:
    // "windows", "linux" or "macos".
    static QString platformName();
    // 1 if a is newer, -1 if b is newer, 0 if they are the same version.
    static int compareVersions(const QString &a, const QString &b);

signals:
    void finished(const ks::UpdateChecker::Result &result, bool userInitiated);

private:
    Q_DISABLE_COPY_MOVE(UpdateChecker)

    void onReadyRead();
    void onMetaDataChanged();
    void onReplyFinished(bool userInitiated);
    void readBounded();

    QNetworkAccessManager *m_network;
    QNetworkReply *m_reply = nullptr;
    QByteArray m_body;
    bool m_tooLarge = false;
    QString m_endpoint;
    int m_transferTimeoutMs = DefaultTransferTimeoutMs;
};

} // namespace ks

Q_DECLARE_METATYPE(ks::UpdateChecker::Result)
