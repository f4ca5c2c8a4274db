#include "fixtures.h"
#include "identity.h"
#include "mainwindow.h"
#include "preferencesdialog.h"
#include "settingssandbox.h"
#include "settingsstore.h"
#include "translations.h"

#include <QDialogButtonBox>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// The placeholders of a text, sorted: a translation that drops or adds one
// shows the wrong number, or none.
QStringList placeholders(const QString &text)
{
    QStringList found;
    static const QRegularExpression marker(u"%(\\d|n)"_s);
    for (auto it = marker.globalMatch(text); it.hasNext();)
        found << it.next().captured();
    found.sort();
    return found;
}

} // namespace

class tst_Translations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everySourceTextTranslated_data()
    {
        QTest::addColumn<QString>("tsFile");
        const QDir dir(QStringLiteral(KS_TRANSLATIONS_DIR));
        const QStringList files = dir.entryList({ u"*.ts"_s }, QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString &file : files)
            QTest::newRow(qPrintable(file)) << dir.filePath(file);
    }

    // Brought up to date with the sources first, so a text added to the program
    // without its translation fails here rather than showing English.
    void everySourceTextTranslated()
    {
        QFETCH(QString, tsFile);
        QTemporaryDir dir;
        const QString copy = dir.filePath(QFileInfo(tsFile).fileName());
        QVERIFY(ks::test::writeFile(copy, ks::test::contents(tsFile)));
        const ks::test::ProgramRun lupdate = ks::test::runProgram(QStringLiteral(KS_LUPDATE),
                { u"-locations"_s, u"none"_s, u"-no-obsolete"_s, u"-silent"_s,
                        u"@"_s + QStringLiteral(KS_TRANSLATED_SOURCES), u"-ts"_s, copy });
        QVERIFY2(lupdate.exitCode == 0, qPrintable(lupdate.err));

        // A message's source, then its translation: plain, or one form per plural.
        static const QRegularExpression message(
                u"(?s)<source>(.*?)</source>.*?<translation( type=\"\\w+\")?>(.*?)</translation>"_s);
        static const QRegularExpression form(u"(?s)<numerusform>(.*?)</numerusform>"_s); // may span lines
        QStringList faults;
        int messages = 0;
        for (auto it = message.globalMatch(QString::fromUtf8(ks::test::contents(copy))); it.hasNext(); ++messages) {
            const QRegularExpressionMatch m = it.next();
            const QString source = m.captured(1);
            if (m.hasCaptured(2))
                faults << source + m.captured(2);
            QStringList forms;
            for (auto f = form.globalMatch(m.captured(3)); f.hasNext();)
                forms << f.next().captured(1);
            for (const QString &text : forms.isEmpty() ? QStringList{ m.captured(3) } : forms)
                if (text.trimmed().isEmpty() || placeholders(text) != placeholders(source))
                    faults << u"%1: \"%2\""_s.arg(source, text);
        }
        QVERIFY(messages > 100);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    }

    void windowSpeaksTheLocale_data()
    {
        QTest::addColumn<QString>("locale"); // empty: the locale of the environment
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("texts"); // Jobs menu, Preferences entry, Add files, Qt's own Cancel

        // The environment of this test asks for French, then German: Qt has both,
        // the program only German, so the whole window, dialogs too, is German.
        const QStringList german{ u"&Aufträge"_s, u"&Einstellungen..."_s, u"Dateien hinzufügen"_s, u"Abbrechen"_s };
        QTest::newRow("environment, French then German") << QString() << u"de"_s << german;
        QTest::newRow("de_CH falls back to de") << u"de_CH"_s << u"de"_s << german;
        // Qt has French, the program has not: the dialogs stay English with the rest.
        const QStringList english{ u"&Jobs"_s, u"&Preferences..."_s, u"Add files"_s, u"Cancel"_s };
        QTest::newRow("fr_FR stays English") << u"fr_FR"_s << QString() << english;
    }

    void windowSpeaksTheLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QStringList, texts);
        ks::test::SettingsSandbox sandbox;
        ks::applyIdentity();
        QTEST(ks::installTranslations(*qApp, locale.isEmpty() ? QLocale() : QLocale(locale)), "language");

        ks::MainWindow window;
        const QList<QAction *> menus = window.menuBar()->actions();
        QCOMPARE(menus.at(0)->text(), u"&Kestrova"_s); // the product's name, in every language
        QStringList seen{ menus.at(1)->text() };
        for (const QAction *entry : menus.at(0)->menu()->actions())
            if (entry->text() == texts.at(1))
                seen << entry->text();
        seen << window.findChild<QPushButton *>(u"addFilesButton"_s)->text();
        const ks::PreferencesDialog dialog(ks::appSettings(), &window);
        seen << dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->text();
        QCOMPARE(seen, texts);
    }

    // A translator takes itself out of the application as it is deleted.
    void cleanup() { qDeleteAll(qApp->findChildren<QTranslator *>(Qt::FindDirectChildrenOnly)); }
};

QTEST_MAIN(tst_Translations)
#include "tst_translations.moc"
