#include "updatedialog.h"

#include <QCoreApplication>
#include <QDate>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocumentFragment>
#include <QUrl>
#include <QVBoxLayout>

namespace ks {

namespace {

// The width the dialog's lines are laid out in: its minimum width less the
// margins. A line from the server is elided to fit, so that it can neither
// widen the dialog nor push the words around it out of sight.
constexpr int LineWidth = 520 - 20 - 20;

// `text` elided to what is left of the line beside `rest`.
QString fitted(const QString &text, const QString &rest, const QFont &font)
{
    const QFontMetrics metrics(font);
    const int room = LineWidth - metrics.horizontalAdvance(rest);
    // Line breaks and other controls would make lines the width does not see.
    QList<uint> codePoints = text.toUcs4();
    for (uint &c : codePoints) {
        if (!UpdateChecker::staysOnLine(c))
            c = ' ';
    }
    return metrics.elidedText(
            QString::fromUcs4(reinterpret_cast<const char32_t *>(codePoints.constData()), codePoints.size()),
            Qt::ElideRight, qMax(room, metrics.averageCharWidth() * 8));
}

QString cutNotes(const QString &notes)
{
    if (notes.size() <= UpdateDialog::MaxNotesLength)
        return notes;
    const qsizetype length = notes.at(UpdateDialog::MaxNotesLength - 1).isHighSurrogate()
            ? UpdateDialog::MaxNotesLength - 1
            : UpdateDialog::MaxNotesLength;
    return notes.left(length) + QLatin1String("...");
}

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
    // interpreted as markup, and no label showing it opens links.
    auto *heading = new QLabel(this);
    heading->setObjectName(QStringLiteral("headingLabel"));
    heading->setTextFormat(Qt::RichText);
    heading->setTextInteractionFlags(Qt::NoTextInteraction);
    QFont bold = heading->font();
    bold.setBold(true);
    const QString headingText = tr("<b>%1 %2</b> is available.");
    const QString name = QCoreApplication::applicationName();
    heading->setText(headingText.arg(name.toHtmlEscaped(),
            fitted(result.latestVersion,
                    QTextDocumentFragment::fromHtml(headingText.arg(name, QString())).toPlainText(), bold)
                    .toHtmlEscaped()));

    const QString running = tr("You are running %1.").arg(QCoreApplication::applicationVersion());
    QString infoText = running;
    if (!result.releaseDate.isEmpty()) {
        const QString released = tr("Released %1.");
        infoText += QLatin1Char(' ')
                + released.arg(fitted(releaseDateText(result.releaseDate),
                        running + QLatin1Char(' ') + released.arg(QString()), font()));
    }
    auto *info = new QLabel(infoText, this);
    info->setObjectName(QStringLiteral("infoLabel"));
    info->setTextFormat(Qt::PlainText);

    // Where Download goes is shown before it is pressed.
    auto *destination = new QLabel(this);
    destination->setObjectName(QStringLiteral("destinationLabel"));
    destination->setTextFormat(Qt::PlainText);
    const QUrl download(m_downloadUrl);
    if (isWebAddress(download)) {
        const QString opens = tr("Download opens a page on %1.");
        destination->setText(opens.arg(fitted(download.host(), opens.arg(QString()), font())));
    } else {
        destination->hide();
    }

    auto *criticalLine
            = new QLabel(tr("<span style='color:#B0301F'><b>This release is marked critical.</b></span>"), this);
    criticalLine->setObjectName(QStringLiteral("criticalLabel"));
    criticalLine->setTextFormat(Qt::RichText);
    criticalLine->setVisible(result.critical);

    auto *notes = new QPlainTextEdit(this);
    notes->setObjectName(QStringLiteral("notesView"));
    notes->setReadOnly(true);
    // A word too long for the line is broken anywhere rather than laid out
    // as one line.
    notes->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    notes->setPlainText(result.notes.isEmpty() ? tr("No release notes were published.") : cutNotes(result.notes));
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
    layout->addWidget(destination);
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
        Q_EMIT linkNotOpened(tr("Not opening %1 - only http and https addresses are opened.").arg(address));
        return;
    }
    if (!m_openUrl || !m_openUrl(url))
        Q_EMIT linkNotOpened(tr("Could not open %1.").arg(address));
}

} // namespace ks
