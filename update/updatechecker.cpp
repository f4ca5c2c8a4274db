#include "updatechecker.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <utility>

namespace ks {

namespace {

// What the network layer may hold for a reply before the checker has read
// it; without a bound it reads ahead as fast as the server sends.
constexpr qint64 ReadBufferBytes = 64 * 1024;

// The text after one optional leading v or V: "v2.0" is version 2.0.
QString withoutPrefix(const QString &version)
{
    const QString text = version.trimmed();
    if (text.startsWith(QLatin1Char('v'), Qt::CaseInsensitive))
        return text.mid(1);
    return text;
}

// The numbers of a version string as decimal digit strings without leading
// zeros, so that parts of any length compare without overflow: "1.2.3-beta"
// gives 1, 2, 3. Each part counts by its leading decimal digits (any
// script); a part without them counts as 0 (the empty string).
QStringList versionNumbers(const QString &version)
{
    QStringList numbers;
    const QStringList parts = withoutPrefix(version).split(QLatin1Char('.'));
    for (const QString &part : parts) {
        QString digits;
        const QList<uint> codePoints = part.toUcs4();
        for (const uint c : codePoints) {
            if (!QChar::isDigit(char32_t(c)))
                break;
            const int value = QChar::digitValue(char32_t(c));
            if (value != 0 || !digits.isEmpty())
                digits.append(QLatin1Char(char('0' + value)));
        }
        numbers.append(digits);
    }
    return numbers;
}

// The platform, not the system's release: the feed needs no more to answer.
QString userAgent()
{
    return QStringLiteral("%1/%2 (%3; %4)")
            .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion(),
                    UpdateChecker::platformName(), QSysInfo::currentCpuArchitecture());
}

} // namespace

UpdateChecker::UpdateChecker(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_deadline(new QTimer(this))
    , m_endpoint(defaultEndpoint())
{
    qRegisterMetaType<Result>("ks::UpdateChecker::Result");
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] { fail(TimedOut, tr("Update check timed out.")); });
}

UpdateChecker::~UpdateChecker()
{
    // A check still running ends with its checker, without a signal.
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void UpdateChecker::setEndpoint(const QString &endpoint)
{
    m_endpoint = endpoint;
}

void UpdateChecker::setTimeLimit(int ms)
{
    m_timeLimitMs = qMax(0, ms);
}

QString UpdateChecker::defaultEndpoint()
{
    const QString fromEnvironment = qEnvironmentVariable("KESTROVA_UPDATE_URL");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStringLiteral(KESTROVA_BUILTIN_UPDATE_URL);
}

QString UpdateChecker::platformName()
{
#if defined(Q_OS_WIN)
    return QStringLiteral("windows");
#elif defined(Q_OS_MACOS)
    return QStringLiteral("macos");
#elif defined(Q_OS_LINUX)
    return QStringLiteral("linux");
#else
    // Anything else is named by its kernel, so the feed offers it nothing
    // rather than another platform's download.
    return QSysInfo::kernelType();
#endif
}

bool UpdateChecker::staysOnLine(char32_t c)
{
    return QChar::isPrint(c) && c != 0x2028 && c != 0x2029;
}

bool UpdateChecker::isVersion(const QString &text)
{
    if (text.size() > MaxVersionLength)
        return false;
    // A line break or a direction override would let the feed forge what
    // the log and the boxes show around the version.
    const QList<uint> codePoints = text.toUcs4();
    for (const uint c : codePoints) {
        if (!staysOnLine(c))
            return false;
    }
    const QList<uint> first = withoutPrefix(text).left(2).toUcs4();
    return !first.isEmpty() && QChar::isDigit(char32_t(first.first()));
}

int UpdateChecker::compareVersions(const QString &a, const QString &b)
{
    const QStringList left = versionNumbers(a);
    const QStringList right = versionNumbers(b);
    const qsizetype count = qMax(left.size(), right.size());
    for (qsizetype i = 0; i < count; ++i) {
        const QString l = left.value(i);
        const QString r = right.value(i);
        if (l.size() != r.size())
            return l.size() > r.size() ? 1 : -1;
        if (const int order = l.compare(r))
            return order > 0 ? 1 : -1;
    }
    return 0;
}

void UpdateChecker::check(bool userInitiated)
{
    if (isBusy())
        return;

    QUrl url(m_endpoint);
    // Only a web address is asked: anything else (a file: address, a bare
    // host) would not be the release feed.
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty()
            || (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        Result result;
        result.failure = InvalidEndpoint;
        result.error = tr("Update endpoint is not a valid URL: %1").arg(m_endpoint);
        // From the event loop, as every other outcome: a caller that
        // connects after check() still hears of it.
        QMetaObject::invokeMethod(
                this, [this, result, userInitiated] { Q_EMIT finished(result, userInitiated); }, Qt::QueuedConnection);
        return;
    }

    QUrlQuery query(url);
    query.addQueryItem(QStringLiteral("app"), QCoreApplication::applicationName());
    query.addQueryItem(QStringLiteral("current"), QCoreApplication::applicationVersion());
    query.addQueryItem(QStringLiteral("platform"), platformName());
    query.addQueryItem(QStringLiteral("arch"), QSysInfo::currentCpuArchitecture());
    url.setQuery(query);

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    // The feed has no business following the program from check to check.
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);

    m_body.clear();
    m_userInitiated = userInitiated;
    m_reply = m_network->get(request);
    m_reply->setReadBufferSize(ReadBufferBytes);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &UpdateChecker::onMetaDataChanged);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateChecker::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateChecker::onReplyFinished);
    // The network layer's own transfer timeout only measures silence; a
    // server sending a byte a second would keep it waiting for ever.
    m_deadline->start(m_timeLimitMs);
}

void UpdateChecker::onMetaDataChanged()
{
    // Give up at once on a reply that announces it is too big.
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > MaxReplyBytes)
        fail(MalformedReply, tr("Update server sent a malformed reply."));
}

void UpdateChecker::onReadyRead()
{
    if (m_body.size() + m_reply->bytesAvailable() > MaxReplyBytes) {
        fail(MalformedReply, tr("Update server sent a malformed reply."));
        return;
    }
    m_body += m_reply->readAll();
}

void UpdateChecker::onReplyFinished()
{
    onReadyRead();
    if (m_reply)
        finish(judgeReply());
}

UpdateChecker::Result UpdateChecker::judgeReply() const
{
    Result result;
    const QVariant statusCode = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusCode.toInt();
    const QNetworkReply::NetworkError error = m_reply->error();
    // The network layer reports 404 as an error, but for the feed it only
    // means that nothing is published for this platform.
    if (status == 404) {
        result.ok = true;
        result.nothingPublished = true;
        return result;
    }
    if (error == QNetworkReply::InsecureRedirectError || error == QNetworkReply::TooManyRedirectsError) {
        result.failure = ServerError;
        result.error = m_reply->errorString();
        return result;
    }
    // The network layer's text for these quotes the server's reason phrase.
    if (statusCode.isValid() && (status < 200 || status > 299)) {
        result.failure = ServerError;
        result.error = tr("The update server answered with an error (HTTP %1).").arg(status);
        return result;
    }
    // A body that cannot be decoded is the server's fault, not the network's.
    if (statusCode.isValid()
            && (error == QNetworkReply::ProtocolFailure || error == QNetworkReply::UnknownContentError)) {
        result.failure = MalformedReply;
        result.error = tr("Update server sent a malformed reply.");
        return result;
    }
    if (error == QNetworkReply::OperationCanceledError) {
        result.failure = TimedOut;
        result.error = tr("Update check timed out.");
        return result;
    }
    if (error != QNetworkReply::NoError) {
        result.failure = Unreachable;
        result.error = m_reply->errorString();
        return result;
    }

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(m_body, &parseError);
    const QJsonObject object = document.object();
    result.latestVersion = object.value(QLatin1String("latest_version")).toString();
    if (parseError.error != QJsonParseError::NoError || !document.isObject()
            || (!result.latestVersion.isEmpty() && !isVersion(result.latestVersion))) {
        result = Result();
        result.failure = MalformedReply;
        result.error = tr("Update server sent a malformed reply.");
        return result;
    }
    result.downloadUrl = object.value(QLatin1String("download_url")).toString();
    result.notesUrl = object.value(QLatin1String("notes_url")).toString();
    result.notes = object.value(QLatin1String("notes")).toString();
    result.releaseDate = object.value(QLatin1String("release_date")).toString();
    result.critical = object.value(QLatin1String("critical")).toBool(false);

    result.ok = true;
    if (result.latestVersion.isEmpty())
        result.nothingPublished = true;
    else
        result.updateAvailable = compareVersions(result.latestVersion, QCoreApplication::applicationVersion()) > 0;
    return result;
}

void UpdateChecker::fail(Failure failure, const QString &error)
{
    Result result;
    result.failure = failure;
    result.error = error;
    finish(result);
}

void UpdateChecker::finish(const Result &result)
{
    // The reply is closed and its data dropped before anyone hears of the
    // outcome: a message box shown from the signal runs an event loop in
    // which an open reply would go on receiving.
    m_deadline->stop();
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
    // Nor is a connection kept for the next check, hours away.
    m_network->clearConnectionCache();
    m_body = QByteArray();
    QMetaObject::invokeMethod(
            this, [this, result, userInitiated = m_userInitiated] { Q_EMIT finished(result, userInitiated); },
            Qt::QueuedConnection);
}

} // namespace ks
