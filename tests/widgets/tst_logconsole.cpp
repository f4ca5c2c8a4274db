#include "logconsole.h"

#include <QDateTime>
#include <QMetaMethod>
#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>

using namespace Qt::StringLiterals;
using ks::LogConsole;

namespace {

// The colours of the timestamp and the message of one line.
struct LineColours
{
    QColor stamp;
    QColor message;
};

LineColours coloursOf(const QTextBlock &block)
{
    LineColours colours;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.text().startsWith(u'['))
            colours.stamp = fragment.charFormat().foreground().color();
        else if (!fragment.text().trimmed().isEmpty())
            colours.message = fragment.charFormat().foreground().color();
    }
    return colours;
}

QString messageOf(const QTextBlock &block)
{
    // "[yyyy-MM-dd HH:mm:ss] " is 22 characters.
    return block.text().mid(22);
}

} // namespace

class Announcer : public QObject
{
    Q_OBJECT

signals:
    void said(const QString &text);
};

class tst_LogConsole : public QObject
{
    Q_OBJECT

private slots:
    void setUpForTheStylesheet();
    void levelsClampedToColours_data();
    void levelsClampedToColours();
    void lineFormat();
    void markupShownLiterally();
    void percentSequencesKept();
    void keepsTheLatest2000Lines();
    void longLinesScrollInsteadOfWrapping();
    void everyAppendScrollsToTheEnd();
    void oneArgumentConnectionLogsInformation();
};

void tst_LogConsole::setUpForTheStylesheet()
{
    const LogConsole console;
    QCOMPARE(console.objectName(), u"LogConsole"_s);
    QVERIFY(console.isReadOnly());
    QCOMPARE(console.lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(console.document()->maximumBlockCount(), 2000);
    QCOMPARE(console.frameShape(), QFrame::NoFrame);
}

void tst_LogConsole::levelsClampedToColours_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("-5 is information") << -5 << QColor(u"#33C9B8"_s);
    QTest::newRow("information") << 0 << QColor(u"#33C9B8"_s);
    QTest::newRow("success") << 1 << QColor(u"#4BE3A0"_s);
    QTest::newRow("warning") << 2 << QColor(u"#C98A2E"_s);
    QTest::newRow("error") << 3 << QColor(u"#E05B4C"_s);
    QTest::newRow("7 is an error") << 7 << QColor(u"#E05B4C"_s);
}

void tst_LogConsole::levelsClampedToColours()
{
    QFETCH(int, level);
    QFETCH(QColor, colour);

    LogConsole console;
    console.append(u"x"_s, level);
    const QTextBlock line = console.document()->lastBlock();
    QCOMPARE(messageOf(line), u"x"_s);
    const LineColours colours = coloursOf(line);
    QCOMPARE(colours.message, colour);
    QCOMPARE(colours.stamp, QColor(u"#1E8F82"_s));
}

void tst_LogConsole::lineFormat()
{
    const QDateTime when(QDate(2026, 3, 14), QTime(9, 5, 7, 450));
    QCOMPARE(LogConsole::formatLine(u"a <b> & \"c\""_s, 3, when),
             u"<span style=\"color:#1E8F82\">[2026-03-14 09:05:07]</span> "
             u"<span style=\"color:#E05B4C\">a &lt;b&gt; &amp; &quot;c&quot;</span>"_s);

    LogConsole console;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    console.append(u"stamped"_s);
    const QString stamp = console.document()->lastBlock().text().mid(1, 19);
    const QDateTime logged = QDateTime::fromString(stamp, u"yyyy-MM-dd HH:mm:ss"_s);
    QVERIFY2(logged.isValid(), qPrintable(stamp));
    QVERIFY(logged >= before && logged <= QDateTime::currentDateTime());
}

void tst_LogConsole::markupShownLiterally()
{
    LogConsole console;
    console.append(u"<b>bold</b> & <i>co</i>"_s, 1);
    const QTextBlock line = console.document()->lastBlock();
    QCOMPARE(messageOf(line), u"<b>bold</b> & <i>co</i>"_s);
    for (auto it = line.begin(); !it.atEnd(); ++it) {
        QCOMPARE(it.fragment().charFormat().fontWeight(), int(QFont::Normal));
        QVERIFY(!it.fragment().charFormat().fontItalic());
    }
    QCOMPARE(console.document()->blockCount(), 1);
}

void tst_LogConsole::percentSequencesKept()
{
    LogConsole console;
    console.append(u"100% of %1 and %2"_s, 2);
    QCOMPARE(messageOf(console.document()->lastBlock()), u"100% of %1 and %2"_s);
}

void tst_LogConsole::keepsTheLatest2000Lines()
{
    LogConsole console;
    for (int i = 0; i < 2001; ++i)
        console.append(u"line %1"_s.arg(i));
    QCOMPARE(console.document()->blockCount(), 2000);
    QCOMPARE(messageOf(console.document()->firstBlock()), u"line 1"_s);
    QCOMPARE(messageOf(console.document()->lastBlock()), u"line 2000"_s);
}

void tst_LogConsole::longLinesScrollInsteadOfWrapping()
{
    LogConsole console;
    console.resize(240, 120);
    console.show();
    QVERIFY(QTest::qWaitForWindowExposed(&console));
    console.append(QString(400, u'w'));
    QTRY_VERIFY(console.horizontalScrollBar()->maximum() > 0);
    QCOMPARE(console.document()->lastBlock().layout()->lineCount(), 1);
}

void tst_LogConsole::everyAppendScrollsToTheEnd()
{
    LogConsole console;
    console.resize(300, 120);
    console.show();
    QVERIFY(QTest::qWaitForWindowExposed(&console));
    for (int i = 0; i < 60; ++i)
        console.append(u"line %1"_s.arg(i));
    QScrollBar *bar = console.verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());

    // The user scrolls up to read; the next message brings the view back.
    bar->setValue(0);
    console.append(u"newest"_s);
    QVERIFY(bar->value() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    const QTextBlock last = console.cursorForPosition(QPoint(5, console.viewport()->height() - 5)).block();
    QCOMPARE(messageOf(last), u"newest"_s);
}

void tst_LogConsole::oneArgumentConnectionLogsInformation()
{
    // The default level registers a one-argument form of the slot as well.
    const QMetaObject &meta = LogConsole::staticMetaObject;
    const int full = meta.indexOfSlot("append(QString,int)");
    const int shortForm = meta.indexOfSlot("append(QString)");
    QVERIFY(full >= 0);
    QVERIFY(shortForm >= 0);
    QCOMPARE(meta.method(full).parameterNames(), QList<QByteArray>({ "text", "level" }));

    Announcer announcer;
    LogConsole console;
    const QMetaMethod said = QMetaMethod::fromSignal(&Announcer::said);
    QVERIFY(QObject::connect(&announcer, said, &console, meta.method(shortForm)));
    emit announcer.said(u"hello"_s);
    const QTextBlock line = console.document()->lastBlock();
    QCOMPARE(messageOf(line), u"hello"_s);
    QCOMPARE(coloursOf(line).message, QColor(u"#33C9B8"_s));
}

QTEST_MAIN(tst_LogConsole)
#include "tst_logconsole.moc"
