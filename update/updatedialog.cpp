#include "updatedialog.h"

#include <QCoreApplication>
#include <QDate>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace ks {

namespace {

// An ISO 8601 date is written out with an English month name whatever the
// system's locale; anything else is shown as the server sent it.
QString releaseDateText(const QString &releaseDate)
{
    const QDate date = QDate::fromString(releaseDate, Qt::ISODate);
    if (!date.isValid())
        return releaseDate;
    return QLocale(QLocale::English).toString(date, QStringLiteral("d MMMM yyyy"));
}

// Only web addresses leave the program: a file: or javascript: address, or a
// bare local path, from a server is not something to hand to the desktop.
bool isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

} // namespace

UpdateDialog::UpdateDialog(const UpdateChecker::Result &result, QWidget *parent)
    : QDialog(parent)
    , m_downloadUrl(result.downloadUrl)
    , m_notesUrl(result.notesUrl)
    , m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    setWindowTitle(result.critical ? tr("Important update") : tr("Update available"));
    setModal(true);
    setMinimumWidth(520);

    // Everything the server sent is escaped or shown as plain text, never
    // interpreted as markup.
    auto *heading = new QLabel(tr("<b>%1 %2</b> is available.")
                                   .arg(QCoreApplication::applicationName().toHtmlEscaped(),
                                        result.latestVersion.toHtmlEscaped()),
                               this);
    heading->setObjectName(QStringLiteral("headingLabel"));
    heading->setTextFormat(Qt::RichText);

    QStringList sentences{ tr("You are running %1.").arg(QCoreApplication::applicationVersion()) };
    if (!result.releaseDate.isEmpty())
        sentences.append(tr("Released %1.").arg(releaseDateText(result.releaseDate)));
    auto *info = new QLabel(sentences.join(QLatin1Char(' ')), this);
    info->setObjectName(QStringLiteral("infoLabel"));
    info->setTextFormat(Qt::PlainText);
    info->setWordWrap(true);

    auto *criticalLine = new QLabel(
        tr("<span style='color:#B0301F'><b>This release is marked critical.</b></span>"), this);
    criticalLine->setObjectName(QStringLiteral("criticalLabel"));
    criticalLine->setTextFormat(Qt::RichText);
    criticalLine->setVisible(result.critical);

    auto *notes = new QPlainTextEdit(this);
    notes->setObjectName(QStringLiteral("notesView"));
    notes->setReadOnly(true);
    notes->setPlainText(result.notes.isEmpty() ? tr("No release notes were published.")
                                               : result.notes);
    notes->setMinimumHeight(140);

    auto *notesButton = new QPushButton(tr("Release notes"), this);
    notesButton->setObjectName(QStringLiteral("notesButton"));
    notesButton->setEnabled(!m_notesUrl.isEmpty());
    auto *skipButton = new QPushButton(tr("Skip this version"), this);
    skipButton->setObjectName(QStringLiteral("skipButton"));
    skipButton->setVisible(!result.critical);
    auto *laterButton = new QPushButton(tr("Later"), this);
    laterButton->setObjectName(QStringLiteral("laterButton"));
    auto *downloadButton = new QPushButton(tr("Download"), this);
    downloadButton->setObjectName(QStringLiteral("downloadButton"));
    downloadButton->setProperty("accent", true);
    downloadButton->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(notesButton);
    buttons->addStretch(1);
    buttons->addWidget(skipButton);
    buttons->addWidget(laterButton);
    buttons->addWidget(downloadButton);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(10);
    layout->addWidget(heading);
    layout->addWidget(info);
    layout->addWidget(criticalLine);
    layout->addWidget(notes, 1);
    layout->addLayout(buttons);

    connect(downloadButton, &QPushButton::clicked, this, [this] {
        if (!m_downloadUrl.isEmpty())
            openLink(m_downloadUrl);
        m_choice = Download;
        accept();
    });
    connect(notesButton, &QPushButton::clicked, this, [this] { openLink(m_notesUrl); });
    connect(skipButton, &QPushButton::clicked, this, [this] {
        m_choice = SkipVersion;
        accept();
    });
    connect(laterButton, &QPushButton::clicked, this, [this] {
        m_choice = Later;
        reject();
    });
}

void UpdateDialog::setUrlOpener(UrlOpener opener)
{
    m_openUrl = std::move(opener);
}

void UpdateDialog::openLink(const QString &address)
{
    const QUrl url(address);
    if (!isWebAddress(url)) {
        emit linkNotOpened(
            tr("Not opening %1 - only http and https addresses are opened.").arg(address));
        return;
    }
    if (!m_openUrl || !m_openUrl(url))
        emit linkNotOpened(tr("Could not open %1.").arg(address));
}

} // namespace ks
