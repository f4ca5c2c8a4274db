#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace ks {

// Asks the release feed which version is current and reports, through one
// signal per check, whether it is newer than the running program. One request
// at a time; lives on the GUI thread.
class UpdateChecker final : public QObject
{
    Q_OBJECT

public:
    // Why a check failed, so that the user is told what happened.
    enum Failure {
        NoFailure,
        InvalidEndpoint,
        Unreachable,    // no answer: refused, no route, TLS, ...
        ServerError,    // the server answered with an HTTP error
        MalformedReply, // the server answered with something unusable
        TimedOut,
    };

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
        Failure failure = NoFailure;
    };

    // A whole check ends after this, however slowly the reply trickles in.
    static constexpr int DefaultTimeLimitMs = 15000;
    // A reply larger than this is malformed and cut off where it is found to
    // be, so that a broken or hostile server cannot make the program
    // download or allocate without limit.
    static constexpr qint64 MaxReplyBytes = 1024 * 1024;
    // A longer "version" is no version but junk to store and display.
    static constexpr int MaxVersionLength = 64;

    explicit UpdateChecker(QObject *parent = nullptr);
    ~UpdateChecker() override;

    // Starts a check unless one is running; a check while busy is ignored and
    // produces no signal. Every other check ends in exactly one finished(),
    // sent from the event loop after the connection is closed.
    void check(bool userInitiated);
    bool isBusy() const { return m_reply != nullptr; }

    // The address asked, as text; it is parsed by check(). Starts as
    // defaultEndpoint().
    QString endpoint() const { return m_endpoint; }
    void setEndpoint(const QString &endpoint);

    // The time a whole check may take.
    void setTimeLimit(int ms);

    // The KESTROVA_UPDATE_URL environment variable when set and not empty,
    // otherwise the address the program was built with.
    static QString defaultEndpoint();
    // The platform the program was built for, as sent to the feed:
    // "windows", "linux" or "macos".
    static QString platformName();
    // Whether a character keeps to one line: printable, and no line or
    // paragraph separator (which Qt counts as printable).
    static bool staysOnLine(char32_t c);
    // Whether the feed's text names a version: at most MaxVersionLength
    // characters that stay on one line, starting, after one optional v or V,
    // with a digit.
    static bool isVersion(const QString &text);
    // 1 if a is newer, -1 if b is newer, 0 if they are the same version.
    static int compareVersions(const QString &a, const QString &b);

Q_SIGNALS:
    void finished(const ks::UpdateChecker::Result &result, bool userInitiated);

private:
    Q_DISABLE_COPY_MOVE(UpdateChecker)

    void onMetaDataChanged();
    void onReadyRead();
    void onReplyFinished();
    Result judgeReply() const;
    void fail(Failure failure, const QString &error);
    void finish(const Result &result);

    QNetworkAccessManager *m_network;
    QTimer *m_deadline;
    QNetworkReply *m_reply = nullptr;
    QByteArray m_body;
    bool m_userInitiated = false;
    QString m_endpoint;
    int m_timeLimitMs = DefaultTimeLimitMs;
};

} // namespace ks

Q_DECLARE_METATYPE(ks::UpdateChecker::Result)
