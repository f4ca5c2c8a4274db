// Runs the real window through one trim (or, with --analyse, one analysis)
// of the files given on the command line, answering its questions itself,
// and saves a picture of the screen once the run is over: with --preview,
// with the edges of one row open (rows count from 0); with --tip, with the
// first failed row's reason open; with --minimum, at the window's smallest
// size; with --laptop, filling a 1366 x 768 screen above a 40-px taskbar. Meant for a real X server (Xvfb will do):
//   xvfb-run -s "-screen 0 1100x860x24" kestrova-windowshot [--analyse] [--preview ROW] [--tip] [--minimum] [--laptop]
//       OUT.png DEST FILE...

#include "edgepreview.h"
#include "identity.h"
#include "mainwindow.h"
#include "panelstyle.h"
#include "queuemodel.h"
#include "queueview.h"
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
#include <QToolTip>

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
    QStringList args = app.arguments().mid(1);
    const bool analyse = args.removeAll(QStringLiteral("--analyse")) > 0;
    const bool tip = args.removeAll(QStringLiteral("--tip")) > 0;
    const bool minimum = args.removeAll(QStringLiteral("--minimum")) > 0;
    const bool laptop = args.removeAll(QStringLiteral("--laptop")) > 0;
    int previewRow = -1;
    if (const qsizetype at = args.indexOf(QStringLiteral("--preview")); at >= 0 && at + 1 < args.size()) {
        previewRow = args.at(at + 1).toInt();
        args.remove(at, 2);
    }
    if (args.size() < 3) {
        QTextStream(stderr)
                << "usage: kestrova-windowshot [--analyse] [--preview ROW] [--tip] [--minimum] [--laptop] OUT.png "
                   "DESTINATION FILE...\n";
        return 2;
    }
    ks::applyIdentity();
    ks::registerRecordTypes();
    // In the language of the locale it runs in, as the program itself would.
    ks::installTranslations(app, QLocale());
    ks::PanelStyle::applyStyleSheet();
    const QString picture = args.takeFirst();
    ks::Settings &settings = ks::appSettings();
    settings.autoCheck = false;
    settings.outputRoot = args.takeFirst();
    const QStringList files = args;

    ks::MainWindow window;
    window.setPrompts(std::make_unique<Answers>(files));
    if (minimum)
        window.resize(window.minimumSize());
    if (laptop)
        window.setGeometry(0, 0, 1366, 768 - 40);
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
        const QList<ks::QueueItem> &items = table->queue()->items();
        for (int row = 0; tip && row < items.size(); ++row) {
            if (items.at(row).status != ks::ItemStatus::Failed)
                continue;
            const QModelIndex cell = table->model()->index(row, ks::QueueModel::ResultColumn);
            const QPoint at = table->viewport()->mapToGlobal(table->visualRect(cell).center());
            QToolTip::showText(at, cell.data(Qt::ToolTipRole).toString(), table);
            break;
        }
        // Let the last repaints land, then take the screen as the X server has it.
        QTimer::singleShot(500, &app, [&] {
            const QPixmap shot = window.screen()->grabWindow(0, window.frameGeometry().x(), window.frameGeometry().y(),
                    window.frameGeometry().width(), window.frameGeometry().height());
            app.exit(shot.save(picture) ? 0 : 1);
        });
    });
    poll.start(200);
    return app.exec();
}
