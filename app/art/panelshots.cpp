// Renders the status panel in three states (idle, in the middle of a trim
// run, after the run) to PNG files in the folder given on the command line,
// at twice the pixel density so the pictures stay sharp on fine screens.
// Run by hand when the panel's look changes; the README shows one of them.

#include "daytimeline.h"
#include "panelstyle.h"
#include "vfdpanel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTextStream>

namespace {

constexpr qreal pixelRatio = 2.0;
const QSize panelSize(980, 214);

bool save(ks::VfdPanel &panel, const QDir &folder, const QString &name)
{
    // Let the layout catch up with the new texts first.
    QCoreApplication::processEvents();
    QImage image(panel.size() * pixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::transparent);
    panel.render(&image);
    const QString path = folder.filePath(name);
    if (!image.save(path)) {
        QTextStream(stderr) << "cannot write " << QDir::toNativeSeparators(path) << '\n';
        return false;
    }
    QTextStream(stdout) << QDir::toNativeSeparators(path) << '\n';
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // Pictures need no screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: kestrova-panelshots <folder>\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        QTextStream(stderr) << "cannot create " << folder.path() << '\n';
        return 1;
    }

    ks::PanelStyle::applyStyleSheet();

    ks::VfdPanel panel;
    panel.resize(panelSize);
    panel.show();
    QCoreApplication::processEvents();
    // A fixed time of day, so the pictures do not depend on when they are made.
    // The panel moves its current-time cell only every 30 s.
    auto *timeline = panel.findChild<ks::DayTimeline *>();

    // As the window opens with the default settings.
    panel.setDetection(ks::PanelStyle::join({ QStringLiteral("-50 dB"), QStringLiteral("0.50 S") }));
    panel.setEnds(ks::PanelStyle::join({ QStringLiteral("HEAD MAX 150 MS"), QStringLiteral("TAIL MAX 150 MS") }));
    panel.setOutput(
            ks::PanelStyle::join({ QStringLiteral("OUT"), QStringLiteral("IN PLACE"), QStringLiteral("BACKUP ON") }));
    timeline->setCurrentSlot(37);
    bool ok = save(panel, folder, QStringLiteral("panel-idle.png"));

    // Twelve minutes into a mirror run of 46 files.
    panel.setOutput(ks::PanelStyle::join({ QStringLiteral("OUT"), QStringLiteral("MIRROR"),
            QStringLiteral("/srv/audio/podcasts/season-04/trimmed") }));
    panel.setPhase(ks::VfdPanel::Trimming);
    panel.setElapsedSeconds(754);
    panel.setBatchProgress(19 * 100 / 46);
    panel.setFileProgress(64);
    panel.setCurrentFile(QStringLiteral("Episode 117 - The Long Winter (final master).flac"));
    panel.setSkipLit(true);
    panel.setErrorLit(true);
    for (const int slot : { 22, 23, 36, 37, 38 })
        timeline->markSlot(slot);
    timeline->setCurrentSlot(38);
    ok = save(panel, folder, QStringLiteral("panel-trimming.png")) && ok;

    // The run has ended; ERR goes dark with it, SKIP stays lit.
    panel.setPhase(ks::VfdPanel::Idle);
    panel.setElapsedSeconds(-1);
    panel.setSummary(ks::PanelStyle::join({ QStringLiteral("LAST 09:58"), QStringLiteral("46 SCANNED"),
            QStringLiteral("41 WRITTEN"), QStringLiteral("4 SKIPPED"), QStringLiteral("1 FAIL"),
            QStringLiteral("212.6 S CUT"), QStringLiteral("3.5 S ADDED") }));
    timeline->markSlot(39);
    timeline->setCurrentSlot(39);
    ok = save(panel, folder, QStringLiteral("panel-finished.png")) && ok;

    return ok ? 0 : 1;
}
