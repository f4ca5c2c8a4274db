#include "queuemodel.h"
#include "recordtypes.h"
#include "settingsstore.h"
#include "windowrig.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// What makes the window behave like other desktop programs: drops, a
// remembered layout, the queue's context menu and the Delete key.
class tst_DesktopIntegration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void dropQueuesFilesAndScansFolders();
    void dropDuringRunQueuesNothing();
    void dropOfWebAddressesRefused();
    void layoutComesBack();
    void contextMenuByRowState_data();
    void contextMenuByRowState();
    void deleteKeyRemovesOnlyWhenIdle();
    void doubleClickDoesNothing();

private:
    static QueueModel *model(WindowRig &rig) { return rig.queue(); }
    static bool drag(WindowRig &rig, const QList<QUrl> &urls, bool drop);
    QMenu *openMenu(WindowRig &rig, int row);
    QString file(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

void tst_DesktopIntegration::initTestCase()
{
    registerRecordTypes();
    for (const char *name : { "a/one.mp3", "a/two.wav", "b/three.flac", "folder/x.mp3", "folder/sub/y.ogg",
                              "folder/notes.txt", "b/cover.jpg" }) {
        QDir().mkpath(QFileInfo(file(QLatin1String(name))).absolutePath());
        QFile(file(QLatin1String(name))).open(QIODevice::WriteOnly);
    }
}

// Sends a drag into the window and, when asked, drops it; returns whether
// the window took it.
bool tst_DesktopIntegration::drag(WindowRig &rig, const QList<QUrl> &urls, bool drop)
{
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint centre = rig.window->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(rig.window.get(), &enter);
    if (!drop)
        return enter.isAccepted();
    QDropEvent dropped(QPointF(centre), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(rig.window.get(), &dropped);
    return dropped.isAccepted();
}

void tst_DesktopIntegration::dropQueuesFilesAndScansFolders()
{
    WindowRig rig;
    QVERIFY(rig.window->acceptDrops());
    const QList<QUrl> urls{ QUrl::fromLocalFile(file(u"a/one.mp3"_s)), QUrl::fromLocalFile(file(u"b/three.flac"_s)),
                            QUrl::fromLocalFile(file(u"b/cover.jpg"_s)), QUrl::fromLocalFile(file(u"folder"_s)) };
    QVERIFY(drag(rig, urls, false));
    QVERIFY(drag(rig, urls, true));

    QCOMPARE(model(rig)->rowCount(), 2); // the files at once, the folder after its scan
    QCOMPARE(model(rig)->items().at(1).relPath, u"three.flac"_s); // each file from its own folder
    QCOMPARE(rig.logTexts().mid(2, 3),
             QStringList({ u"Added 2 file(s)."_s, u"Ignored 1 dropped file(s) that are not of a scanned type."_s,
                           u"Scanning "_s + QDir::toNativeSeparators(file(u"folder"_s)) }));
    QTRY_COMPARE(rig.status(), u"Idle"_s);
    QCOMPARE(model(rig)->rowCount(), 4);
    QCOMPARE(model(rig)->items().at(3).relPath, u"x.mp3"_s);
    QCOMPARE(model(rig)->items().at(2).relPath, u"sub/y.ogg"_s);
    QCOMPARE(rig.lastLog().text, u"Scan complete - 2 file(s) found."_s);
    QVERIFY(rig.prompts->asked.isEmpty());
}

void tst_DesktopIntegration::dropDuringRunQueuesNothing()
{
    WindowRig rig;
    rig.prompts->fileNames << QStringList{ file(u"a/one.mp3"_s) };
    rig.find<QPushButton>("addFilesButton")->click();
    rig.find<QPushButton>("analyseButton")->click();
    QVERIFY(rig.find<QPushButton>("stopButton")->isEnabled()); // running

    const QList<QUrl> urls{ QUrl::fromLocalFile(file(u"a/two.wav"_s)) };
    QVERIFY(!drag(rig, urls, false));
    QCOMPARE(rig.lastLog().text, u"Nothing can be added while a run is going."_s);
    QCOMPARE(rig.lastLog().level, 2);
    QVERIFY(!drag(rig, urls, true));
    QCOMPARE(model(rig)->rowCount(), 1);
    QTRY_COMPARE(rig.status(), u"Idle"_s);
    QVERIFY(drag(rig, urls, true));
    QCOMPARE(model(rig)->rowCount(), 2);
}

void tst_DesktopIntegration::dropOfWebAddressesRefused()
{
    WindowRig rig;
    QVERIFY(!drag(rig, { QUrl(u"https://www.orrinworks.example/song.mp3"_s) }, false));
    QCOMPARE(model(rig)->rowCount(), 0);
    QCOMPARE(rig.log().size(), 2);
}

void tst_DesktopIntegration::layoutComesBack()
{
    QByteArray columns;
    {
        WindowRig rig;
        QCOMPARE(rig.window->size(), QSize(1020, 780)); // nothing stored yet
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        rig.window->resize(1111, 822);
        auto *header = rig.find<QTableView>("queueTable")->horizontalHeader();
        header->moveSection(QueueModel::StatusColumn, QueueModel::HeadColumn);
        columns = header->saveState();
        QVERIFY(rig.window->close());

        QSettings store;
        QVERIFY(store.childGroups().contains(u"window"_s));
        store.beginGroup(u"window"_s);
        QCOMPARE(store.childKeys(), QStringList({ u"geometry"_s, u"lastFolder"_s, u"queueColumns"_s, u"splitter"_s, u"state"_s }));
        store.endGroup();
        // The program's own groups are written as they always were, with nothing added.
        Settings loaded;
        loadSettings(loaded);
        QCOMPARE(loaded.thresholdDb, Settings().thresholdDb);
        store.beginGroup(u"output"_s);
        QVERIFY(!store.childKeys().contains(u"geometry"_s));

        // The next window, built on the same store, comes back as it was left.
        WindowRig again({}, WindowRig::SameStore);
        QCOMPARE(again.window->size(), QSize(1111, 822));
        QCOMPARE(again.find<QTableView>("queueTable")->horizontalHeader()->saveState(), columns);
    }
}

QMenu *tst_DesktopIntegration::openMenu(WindowRig &rig, int row)
{
    auto *table = rig.find<QTableView>("queueTable");
    const QPoint at = row < 0 ? QPoint(5, table->viewport()->height() - 5)
                              : table->visualRect(model(rig)->index(row, 0)).center();
    Q_EMIT table->customContextMenuRequested(at);
    return table->findChild<QMenu *>(u"queueMenu"_s);
}

void tst_DesktopIntegration::contextMenuByRowState_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("withOutput");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QStringList>("enabled");
    const QStringList rowCommands{ u"Copy result"_s,      u"Analyse selected"_s, u"Trim selected"_s,
                                   u"Retry failed"_s,     u"Restore original"_s, u"Delete backups"_s,
                                   u"Remove selected"_s };
    QTest::newRow("fresh row") << 0 << false << false << QStringList{ u"Show in folder"_s } + rowCommands;
    QTest::newRow("row with an output")
            << 0 << true << false << QStringList{ u"Show in folder"_s, u"Open output folder"_s } + rowCommands;
    QTest::newRow("during a run") << 0 << true << true
                                  << QStringList{ u"Show in folder"_s, u"Open output folder"_s, u"Copy result"_s };
    QTest::newRow("below the rows") << -1 << false << false << rowCommands;
}

void tst_DesktopIntegration::contextMenuByRowState()
{
    QFETCH(int, row);
    QFETCH(bool, withOutput);
    QFETCH(bool, running);
    QFETCH(QStringList, enabled);
    WindowRig rig;
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    rig.prompts->fileNames << QStringList{ file(u"a/one.mp3"_s), file(u"a/two.wav"_s) };
    rig.find<QPushButton>("addFilesButton")->click();
    if (withOutput) {
        QueueItem item = model(rig)->items().first();
        item.outputPath = file(u"b/one.mp3"_s);
        model(rig)->setItem(0, item);
    }
    if (running)
        rig.find<QPushButton>("analyseButton")->click();

    QMenu *menu = openMenu(rig, row);
    QVERIFY(menu);
    QStringList live;
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator() && action->isEnabled())
            live << WindowRig::plain(action->text());
    }
    QCOMPARE(live, enabled);

    if (enabled.contains(u"Open output folder"_s)) {
        menu->actions().at(1)->trigger();
        QCOMPARE(rig.prompts->opened.last(), QUrl::fromLocalFile(file(u"b"_s)));
    }
    if (row >= 0) {
        menu->actions().at(0)->trigger();
        QCOMPARE(rig.prompts->opened.last(), QUrl::fromLocalFile(file(u"a"_s)));
    }
    menu->close();
    if (running)
        QTRY_COMPARE(rig.status(), u"Idle"_s);
}

void tst_DesktopIntegration::deleteKeyRemovesOnlyWhenIdle()
{
    WindowRig rig;
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    rig.prompts->fileNames << QStringList{ file(u"a/one.mp3"_s), file(u"a/two.wav"_s), file(u"b/three.flac"_s) };
    rig.find<QPushButton>("addFilesButton")->click();
    auto *table = rig.find<QTableView>("queueTable");
    table->setFocus();
    table->selectRow(1);

    rig.find<QPushButton>("analyseButton")->click();
    QTest::keyClick(table, Qt::Key_Delete);
    QCOMPARE(model(rig)->rowCount(), 3);
    QTRY_COMPARE(rig.status(), u"Idle"_s);

    table->selectRow(1);
    QTest::keyClick(table, Qt::Key_Delete);
    QCOMPARE(model(rig)->rowCount(), 2);
    QCOMPARE(model(rig)->items().at(1).path, file(u"b/three.flac"_s));
}

void tst_DesktopIntegration::doubleClickDoesNothing()
{
    WindowRig rig;
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    rig.prompts->fileNames << QStringList{ file(u"a/one.mp3"_s) };
    rig.find<QPushButton>("addFilesButton")->click();
    auto *table = rig.find<QTableView>("queueTable");
    const QPoint cell = table->visualRect(model(rig)->index(0, QueueModel::FileColumn)).center();
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell);
    QVERIFY(table->viewport()->findChildren<QLineEdit *>().isEmpty()); // no editor opened
    QCOMPARE(rig.prompts->asked.size(), 1);
    QVERIFY(rig.prompts->opened.isEmpty());
    QCOMPARE(rig.log().size(), 3);
}

QTEST_MAIN(tst_DesktopIntegration)
#include "tst_desktopintegration.moc"
