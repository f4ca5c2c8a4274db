#include "logconsole.h"

#include <QDateTime>
#include <QMetaMethod>
#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>

using namespace Qt::StringLiterals;
using ks::LogConsole;

class tst_LogConsole : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void linesShownLiterallyInTheirLevelColours();
    void keepsTheLatest2000LinesUnwrappedAndFollowsTheEnd();
};

void tst_LogConsole::linesShownLiterallyInTheirLevelColours()
{
    QCOMPARE(LogConsole::formatLine(u"a <b> & \"c\""_s, 3, QDateTime(QDate(2026, 3, 14), QTime(9, 5, 7, 450))),
             u"<span style=\"color:#1E8F82\">[2026-03-14 09:05:07]</span> "
             u"<span style=\"color:#E05B4C\">a &lt;b&gt; &amp; &quot;c&quot;</span>"_s);

    // Levels outside 0..3 are clamped; markup and "%1" are shown as typed. A
    // one-argument connection logs information, through the default level.
    LogConsole console;
    QObject source;
    const QMetaMethod shortAppend = console.metaObject()->method(console.metaObject()->indexOfSlot("append(QString)"));
    QVERIFY(QObject::connect(&source, QMetaMethod::fromSignal(&QObject::objectNameChanged), &console, shortAppend));
    const QString text = u"<b>100%</b> of %1 & %2"_s;
    source.setObjectName(text);
    for (const int level : { -5, 1, 2, 7 })
        console.append(text, level);
    QList<QColor> colours;
    for (QTextBlock line = console.document()->firstBlock(); line.isValid(); line = line.next()) {
        QCOMPARE(line.text().mid(22), text); // past the "[yyyy-MM-dd HH:mm:ss] " stamp
        QCOMPARE(line.begin().fragment().charFormat().foreground().color(), QColor(u"#1E8F82"_s));
        colours << (--line.end()).fragment().charFormat().foreground().color();
    }
    QCOMPARE(colours, (QList<QColor>{ QColor(u"#33C9B8"_s), QColor(u"#33C9B8"_s), QColor(u"#4BE3A0"_s),
                                      QColor(u"#C98A2E"_s), QColor(u"#E05B4C"_s) }));
}

void tst_LogConsole::keepsTheLatest2000LinesUnwrappedAndFollowsTheEnd()
{
    LogConsole console;
    console.resize(240, 120);
    console.show();
    QVERIFY(QTest::qWaitForWindowExposed(&console));
    for (int i = 0; i < 2000; ++i)
        console.append(u"line %1"_s.arg(i));
    console.append(QString(400, u'w'));
    QCOMPARE(console.document()->blockCount(), 2000);
    QCOMPARE(console.document()->firstBlock().text().mid(22), u"line 1"_s);
    QTRY_VERIFY(console.horizontalScrollBar()->maximum() > 0);
    QCOMPARE(console.document()->lastBlock().layout()->lineCount(), 1);

    // The user scrolls up to read; the next message brings the view back.
    QScrollBar *bar = console.verticalScrollBar();
    bar->setValue(0);
    console.append(u"newest"_s);
    QVERIFY(bar->value() > 0);
    QCOMPARE(bar->value(), bar->maximum());
}

QTEST_MAIN(tst_LogConsole)
#include "tst_logconsole.moc"
