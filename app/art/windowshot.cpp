// Runs the real window through one trim (or, with --analyse, one analysis)
// of the files given on the command line, answering its questions itself,
// and saves a picture of the screen once the run is over, with the edges of
// one row open when asked (rows count from 0). Meant for a real X server
// (Xvfb will do):
//   xvfb-run -s "-screen 0 1100x860x24" kestrova-windowshot [--analyse] [--preview ROW] OUT.png DEST FILE...

#include "edgepreview.h"
#include "identity.h"
#include "mainwindow.h"
#include "queueview.h"
#include "panelstyle.h"
#include "recordtypes.h"
#include "settings.h"
#include "settingsstore.h"
#include "translations.h"
#include "userprompts.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

namespace {

class Answers final : public ks::UserPrompts
{
public:
    explicit Answers(QStringList files)
        : m_files(std::move(files))
    {
    }
    QStringList openFileNames(QWidget *, const QString &, const QString &, const QString &) override
    {
        return std::exchange(m_files, {});
    }

private:
    QStringList m_files;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    bool analyse = false;
    if (argc > 1 && qstrcmp(argv[1], "--analyse") == 0) {
        analyse = true;
        ++argv;
        --argc;
    }
    int previewRow = -1;
    if (argc > 2 && qstrcmp(argv[1], "--preview") == 0) {
        previewRow = QByteArray(argv[2]).toInt();
        argv += 2;
        argc -= 2;
    }
    if (argc < 4) {
        QTextStream(stderr) << "usage: kestrova-windowshot [--analyse] [--preview ROW] OUT.png DESTINATION FILE...\n";
        return 2;
    }
    ks::applyIdentity();
    ks::registerRecordTypes();
    // In the language of the locale it runs in, as the program itself would.
    ks::installTranslations(app, QLocale());
    ks::PanelStyle::applyStyleSheet();
    const QString picture = QString::fromLocal8Bit(argv[1]);
    ks::Settings &settings = ks::appSettings();
    settings.autoCheck = false;
    settings.outputRoot = QString::fromLocal8Bit(argv[2]);
    QStringList files;
    for (int i = 3; i < argc; ++i)
        files << QString::fromLocal8Bit(argv[i]);

    ks::MainWindow window;
    window.setPrompts(std::make_unique<Answers>(files));
    window.show();
    window.findChild<QPushButton *>(QStringLiteral("addFilesButton"))->click();
    window.findChild<QPushButton *>(analyse ? QStringLiteral("analyseButton") : QStringLiteral("trimButton"))->click();

    auto *status = window.findChild<QLabel *>(QStringLiteral("statusLabel"));
    auto *preview = window.findChild<ks::EdgePreview *>();
    auto *table = window.findChild<ks::QueueView *>();
    QTimer poll;
    int settling = 0;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (status->text() != ks::MainWindow::tr("Idle"))
            return;
        if (previewRow >= 0) {
            // Selected once the run is over, then given time to read both edges.
            if (settling++ == 0)
                table->selectQueueRow(previewRow);
            if (settling < 3 || preview->isReading())
                return;
        }
        poll.stop();
        // Let the last repaints land, then take the screen as the X server has it.
        QTimer::singleShot(500, &app, [&] {
            const QPixmap shot = window.screen()->grabWindow(0, window.frameGeometry().x(), window.frameGeometry().y(),
                                                             window.frameGeometry().width(),
                                                             window.frameGeometry().height());
            app.exit(shot.save(picture) ? 0 : 1);
        });
    });
    poll.start(200);
    return app.exec();
}
