#include "updatechecker.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>

#include <climits>
#include <utility>

namespace ks {

namespace {

// The numbers of a version string: "1.2.3-beta" gives 1, 2, 3 and "v2.0"
// gives 0, 0. Each part counts by its leading decimal digits (any script);
// a part without them, or too big for an int, counts as 0.
QList<int> versionNumbers(const QString &version)
{
    QList<int> numbers;
    const QStringList parts = version.trimmed().split(QLatin1Char('.'));
    for (const QString &part : parts) {
        qint64 value = 0;
        bool fits = true;
        const QList<uint> codePoints = part.toUcs4();
        for (const uint c : codePoints) {
            if (!QChar::isDigit(char32_t(c)))
                break;
            value = value * 10 + QChar::digitValue(char32_t(c));
            if (value > INT_MAX) {
                fits = false;
                break;
            }
        }
        numbers.append(fits ? int(value) : 0);
    }
    return numbers;
}

QString userAgent()
{
    return QStringLiteral("%1/%2 (%3; %4)")
        .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion(),
             QSysInfo::prettyProductName(), QSysInfo::currentCpuArchitecture());
}

} // namespace

UpdateChecker::UpdateChecker(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_endpoint(defaultEndpoint())
{
    qRegisterMetaType<Result>("ks::UpdateChecker::Result");
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

void UpdateChecker::setTransferTimeout(int ms)
{
    m_transferTimeoutMs = qMax(0, ms);
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

int UpdateChecker::compareVersions(const QString &a, const QString &b)
{
    const QList<int> left = versionNumbers(a);
    const QList<int> right = versionNumbers(b);
    const qsizetype count = qMax(left.size(), right.size());
    for (qsizetype i = 0; i < count; ++i) {
        const int l = left.value(i, 0);
        const int r = right.value(i, 0);
        if (l != r)
            return l > r ? 1 : -1;
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
        result.error = tr("Update endpoint is not a valid URL: %1").arg(m_endpoint);
        emit finished(result, userInitiated);
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
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(m_transferTimeoutMs);

    m_body.clear();
    m_tooLarge = false;
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &UpdateChecker::onMetaDataChanged);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateChecker::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this,
            [this, userInitiated] { onReplyFinished(userInitiated); });
}

void UpdateChecker::onMetaDataChanged()
{
    // Give up at once on a reply that announces it is too big.
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > MaxReplyBytes) {
        m_tooLarge = true;
        m_reply->abort(); // runs onReplyFinished before it returns
    }
}

void UpdateChecker::onReadyRead()
{
    readBounded();
    if (m_tooLarge)
        m_reply->abort();
}

void UpdateChecker::readBounded()
{
    // An aborted reply (time limit, or too large) has nothing left to read.
    if (m_tooLarge || !m_reply->isReadable())
        return;
    // One byte past the limit is enough to know the reply is too big.
    m_body += m_reply->read(MaxReplyBytes + 1 - m_body.size());
    m_tooLarge = m_body.size() > MaxReplyBytes;
}

void UpdateChecker::onReplyFinished(bool userInitiated)
{
    readBounded();
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    reply->deleteLater();
    const QByteArray body = std::exchange(m_body, QByteArray());
    const bool tooLarge = std::exchange(m_tooLarge, false);

    Result result;
    // The network layer reports 404 as an error, but for the feed it only
    // means that nothing is published for this platform.
    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 404) {
        result.ok = true;
        result.nothingPublished = true;
        emit finished(result, userInitiated);
        return;
    }
    // Checked before the network error, which for a reply cut short here is
    // only "operation cancelled".
    if (tooLarge) {
        result.error = tr("Update server sent a malformed reply.");
        emit finished(result, userInitiated);
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        result.error = reply->errorString();
        emit finished(result, userInitiated);
        return;
    }

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        result.error = tr("Update server sent a malformed reply.");
        emit finished(result, userInitiated);
        return;
    }

    const QJsonObject object = document.object();
    result.latestVersion = object.value(QLatin1String("latest_version")).toString();
    result.downloadUrl = object.value(QLatin1String("download_url")).toString();
    result.notesUrl = object.value(QLatin1String("notes_url")).toString();
    result.notes = object.value(QLatin1String("notes")).toString();
    result.releaseDate = object.value(QLatin1String("release_date")).toString();
    result.critical = object.value(QLatin1String("critical")).toBool(false);

    result.ok = true;
    if (result.latestVersion.isEmpty())
        result.nothingPublished = true;
    else
        result.updateAvailable =
            compareVersions(result.latestVersion, QCoreApplication::applicationVersion()) > 0;
    emit finished(result, userInitiated);
}

} // namespace ks
