#include "aboutdialog.h"

#include "panelstyle.h"
#include "version.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace ks {

namespace {

QLabel *centredLabel(const QString &text, QWidget *parent, bool wordWrap = false)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(wordWrap);
    return label;
}

// The palette's quiet grey for a small note, made to read at 4.5:1 on the
// window whatever the theme.
QString noteColour(const QPalette &palette)
{
    return PanelStyle::readable(
            palette.color(QPalette::Mid), palette.color(QPalette::WindowText), palette.color(QPalette::Window))
            .name();
}

} // namespace

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("About Kestrova"));
    setModal(true);

    auto *logo = centredLabel(QString(), this);
    logo->setObjectName(QStringLiteral("logoLabel"));
    QPixmap pixmap(QStringLiteral(":/icons/logo.png"));
    if (!pixmap.isNull()) {
        // Scaled in device pixels and tagged with the ratio, so the logo takes
        // at most 400 x 70 logical pixels and stays sharp on a dense screen.
        const qreal ratio = devicePixelRatioF();
        pixmap = pixmap.scaled(qRound(400 * ratio), qRound(70 * ratio), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        pixmap.setDevicePixelRatio(ratio);
        logo->setPixmap(pixmap);
    } else {
        logo->setTextFormat(Qt::RichText);
        logo->setText(QStringLiteral("<span style='font-weight:700; font-size:26pt; color:#12325C'>Kest</span>"
                                     "<span style='font-weight:700; font-size:26pt; color:#F2601A'>rova</span>"));
    }

    auto *version = centredLabel(tr("Version %1").arg(QCoreApplication::applicationVersion()), this);
    version->setObjectName(QStringLiteral("versionLabel"));
    QFont bold = version->font();
    bold.setWeight(QFont::Bold);
    version->setFont(bold);

    auto *description
            = centredLabel(tr("Automatic silence trimming and batch topping and tailing, part of the %1 suite.")
                                   .arg(QCoreApplication::organizationName()),
                    this, true);
    description->setObjectName(QStringLiteral("descriptionLabel"));

    auto *rights = centredLabel(tr("© 2026 %1. All rights reserved.").arg(QCoreApplication::organizationName()), this);
    rights->setObjectName(QStringLiteral("rightsLabel"));

    const QString makerSite = QLatin1String(KESTROVA_WEBSITE);
    const QString authorSite = makerSite + QLatin1String("/people/kestrova");
    auto *links = centredLabel(QStringLiteral("<a href=\"%1\">%1</a><br><a href=\"%2\">%2</a>")
                                       .arg(makerSite.toHtmlEscaped(), authorSite.toHtmlEscaped()),
            this);
    links->setObjectName(QStringLiteral("linksLabel"));
    links->setTextFormat(Qt::RichText);
    links->setOpenExternalLinks(true);

#ifdef Q_OS_WIN
    const QString licenceText = tr("<span style='color:%1; font-size:small'>Uses FFmpeg under the LGPL "
                                   "v3. Its licence and source details are in the ffmpeg folder.</span>")
                                        .arg(noteColour(palette()));
#else
    const QString licenceText = tr("<span style='color:%1; font-size:small'>Uses the system's FFmpeg, "
                                   "which comes with its own licence (see /usr/share/doc/ffmpeg).</span>")
                                        .arg(noteColour(palette()));
#endif
    auto *licence = centredLabel(licenceText, this, true);
    licence->setObjectName(QStringLiteral("licenceLabel"));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 24, 28, 18);
    layout->setSpacing(12);
    layout->addWidget(logo);
    layout->addSpacing(6);
    layout->addWidget(version);
    layout->addWidget(description);
    layout->addSpacing(4);
    layout->addWidget(rights);
    layout->addWidget(links);
    layout->addWidget(licence);
    layout->addSpacing(8);
    layout->addWidget(buttons, 0, Qt::AlignRight);
}

} // namespace ks
