#include "fixtures.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

constexpr auto BashCompletion = "/usr/share/bash-completion/bash_completion"_L1;

using Run = ks::test::ProgramRun;
using ks::test::runProgram;

// Every match of `pattern` in `text`, each line its own start and end.
QStringList matches(const QString &pattern, const QString &text)
{
    QStringList found;
    for (auto it = QRegularExpression(pattern, QRegularExpression::MultilineOption).globalMatch(text); it.hasNext();)
        found << it.next().captured();
    return found;
}

// The long options that --help names, wherever it names them.
QStringList longOptions(const QString &help)
{
    QStringList options = matches(u"(?<![\\w-])--[a-z][a-z-]*"_s, help);
    options.removeDuplicates();
    options.sort();
    return options;
}

} // namespace

// Builds the Debian package as `make package` does, unpacks it and checks
// what Debian's tools and a user's shell make of it.
class tst_DebianPackage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const Run cpack = runProgram(QStringLiteral(KS_CPACK),
                { u"--config"_s, QStringLiteral(KS_BUILD_DIR "/CPackConfig.cmake"), u"-B"_s, m_dir.path() });
        QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.out + cpack.err));
        const QStringList debs = QDir(m_dir.path()).entryList({ u"*.deb"_s });
        QCOMPARE(debs.size(), 1);
        m_deb = m_dir.filePath(debs.first());
        m_root = m_dir.filePath(u"root"_s);
        const Run unpack = runProgram(u"dpkg-deb"_s, { u"-x"_s, m_deb, m_root });
        QVERIFY2(unpack.exitCode == 0, qPrintable(unpack.err));
        m_help = QString::fromUtf8(ks::test::programOutput(cli(), { u"--help"_s }));
        QVERIFY(!m_help.isEmpty());
    }

    void lintianFindsNothing()
    {
        const QString lintian = QStandardPaths::findExecutable(u"lintian"_s);
        if (lintian.isEmpty())
            QSKIP("lintian is not installed (scripts/install-deps.sh installs it)");
        // Fails on any error or warning, and names each on its standard output.
        const Run result = runProgram(lintian, { u"--fail-on"_s, u"error,warning"_s, m_deb });
        QVERIFY2(result.exitCode == 0, qPrintable(result.out + result.err));
    }

    // The page names every option, exit status, default and example of
    // --help, and every JSON field. The fields are read off a real run, so a
    // field added to the output and not to the page fails here.
    void cliPageFollowsHelp()
    {
        const QString audio = m_dir.filePath(u"take.wav"_s);
        QCOMPARE(ks::test::makeAudio(audio), QString());
        const Run result = runProgram(cli(), { u"analyse"_s, u"--no-settings"_s, u"--json"_s, audio });
        const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2(result.exitCode == 0 && lines.size() == 2, qPrintable(result.out + result.err));
        const QJsonObject summary = QJsonDocument::fromJson(lines.last().toUtf8()).object();
        const QStringList fields = QJsonDocument::fromJson(lines.first().toUtf8()).object().keys() + summary.keys()
                + summary.value("summary"_L1).toObject().keys();
        const QStringList options = longOptions(m_help);
        const QStringList statuses = matches(u"^  \\d+ +.+$"_s, m_help.section(u"Exit status:"_s, 1));
        const QStringList defaults = matches(u"default: [^)]+"_s, m_help.simplified());
        QVERIFY(options.size() > 20 && fields.size() > 20 && defaults.size() > 10);
        QCOMPARE(statuses.size(), 5);

        const QString page = manPage(u"kestrova-cli"_s);
        const QString json = page.section(u".SH \"JSON OUTPUT\""_s, 1).section(u".SH "_s, 0, 0);
        const QString plain = QString(page).remove(QRegularExpression(u"\\\\f[BIRP]"_s)).simplified();
        for (const QString &option : options)
            QVERIFY2(page.contains(u"\\fB"_s + option + u"\\fR"_s), qPrintable(option));
        for (const QString &field : fields)
            QVERIFY2(json.contains(u"\\fB"_s + field + u"\\fR"_s), qPrintable(field));
        static const QRegularExpression code(u"^ +(\\d+) +"_s); // a status as the page sets it
        for (const QString &status : statuses)
            QVERIFY2(page.contains(QString(status).replace(code, u".TP\n\\1\n"_s)), qPrintable(status));
        for (const QString &shown : defaults)
            QVERIFY2(plain.contains(shown), qPrintable(shown));
        QVERIFY(manPage(u"kestrova"_s).contains(u"kestrova-cli (1)"_s));

        // As `man` shows it on an 80-column terminal: every example of --help
        // on a line of its own, whole, to be copied as it stands.
        const QString man = QStandardPaths::findExecutable(u"man"_s);
        if (man.isEmpty())
            QSKIP("man is not installed (scripts/install-deps.sh test installs man-db)");
        const Run shown = runProgram(u"env"_s,
                { u"-u"_s, u"LC_ALL"_s, u"-u"_s, u"MANPAGER"_s, u"-u"_s, u"PAGER"_s, u"MANWIDTH=80"_s,
                        u"LANG=C.UTF-8"_s, man, u"-l"_s, m_root + u"/usr/share/man/man1/kestrova-cli.1.gz"_s });
        QVERIFY2(shown.exitCode == 0, qPrintable(shown.err));
        // Bold and underline, had the formatting been kept, as plain letters.
        const QString text = QString(shown.out).remove(QRegularExpression(u".\b"_s));
        const auto trimmedLines = [](const QString &of) { return matches(u"\\S(.*\\S)?"_s, of); };
        const QStringList examples = trimmedLines(m_help.section(u"\nExamples:\n"_s, 1));
        QVERIFY(examples.size() >= 3);
        QCOMPARE(trimmedLines(text.section(u"\nEXAMPLES\n"_s, 1).section(u"\n\n"_s, 0, 0)), examples);
    }

    void bashCompletes_data()
    {
        QTest::addColumn<QString>("line"); // up to the cursor
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("command") << u"kestrova-cli "_s << QStringList{ u"analyse"_s, u"help"_s, u"trim"_s };
        QTest::newRow("head modes") << u"kestrova-cli trim --head "_s
                                    << QStringList{ u"cut"_s, u"exact"_s, u"leave"_s, u"topup"_s };
        QTest::newRow("destination is a folder") << u"kestrova-cli trim --out "_s << QStringList{ u"folder"_s };
        // A negative threshold looks like an option but is the value.
        QTest::newRow("threshold value") << u"kestrova-cli --threshold -4"_s << QStringList();
        QTest::newRow("every option") << u"kestrova-cli --"_s << longOptions(m_help);
    }

    // What the installed completion offers, sorted, the way bash calls it on
    // Tab: in a folder holding one file and one sub-folder.
    void bashCompletes()
    {
        QFETCH(QString, line);
        if (!QFileInfo::exists(BashCompletion))
            QSKIP("bash-completion is not installed");
        QDir work(m_dir.filePath(u"work"_s));
        work.mkpath(u"folder"_s);
        QFile(work.filePath(u"take.wav"_s)).open(QIODevice::WriteOnly);
        const QString script = uR"(
            source "$1"; source "$2"; cd "$4"; COMP_LINE=$3; COMP_POINT=${#COMP_LINE}
            read -ra COMP_WORDS <<<"$COMP_LINE"; [[ $COMP_LINE == *' ' ]] && COMP_WORDS+=('')
            COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
            _kestrova_cli kestrova-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
            printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort)"_s;
        const Run result = runProgram(u"bash"_s,
                { u"-c"_s, script, u"bash"_s, BashCompletion,
                        m_root + u"/usr/share/bash-completion/completions/kestrova-cli"_s, line, work.path() });
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QTEST(result.out.split(u'\n', Qt::SkipEmptyParts), "expected");
    }

    void runWithoutDisplayAdvises_data()
    {
        QTest::addColumn<QStringList>("session"); // set for the check, the others unset
        QTest::addColumn<bool>("advised");
        QTest::newRow("no session") << QStringList() << true;
        for (const QString &variable : { u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s })
            QTest::newRow(qPrintable(variable)) << QStringList{ variable + u"=:7"_s } << false;
    }

    // What `make run` says before the window where no screen is to be had: that a
    // graphical session is needed, and the two ways on without one.
    void runWithoutDisplayAdvises()
    {
        QFETCH(QStringList, session);
        QFETCH(bool, advised);
        const Run check = runProgram(u"env"_s,
                u"-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM"_s.split(u' ') + session
                        << u"sh"_s << QStringLiteral(KS_SOURCE_DIR "/scripts/check-display.sh"));
        QCOMPARE(check.exitCode, advised ? 1 : 0);
        QVERIFY2(check.out.isEmpty() && check.err.isEmpty() == !advised, qPrintable(check.out + check.err));
        for (const QString &said :
                { u"graphical session"_s, u"build/cli/kestrova-cli"_s, u"xvfb-run build/app/kestrova"_s })
            QVERIFY2(check.err.contains(said) == advised, qPrintable(check.err));
    }

    // The check comes before the build and the window in `make run`.
    void runChecksTheDisplayFirst()
    {
        const Run plan = runProgram(
                u"make"_s, { u"-n"_s, u"-C"_s, QStringLiteral(KS_SOURCE_DIR), u"run"_s, u"BUILD_DIR=/nonexistent"_s });
        QVERIFY2(plan.exitCode == 0, qPrintable(plan.err));
        const qsizetype check = plan.out.indexOf(u"scripts/check-display.sh"_s);
        QVERIFY2(check >= 0 && check < plan.out.indexOf(u"install-deps.sh"_s)
                        && check < plan.out.indexOf(u"/app/kestrova"_s),
                qPrintable(plan.out));
    }

private:
    QString manPage(const QString &name) const
    {
        const QString gz = m_root + u"/usr/share/man/man1/"_s + name + u".1.gz"_s;
        // roff's minus signs as plain hyphens, so options read as typed.
        return QString::fromUtf8(ks::test::programOutput(u"gzip"_s, { u"-dc"_s, gz })).replace(u"\\-"_s, u"-"_s);
    }

    QString cli() const { return m_root + u"/usr/bin/kestrova-cli"_s; }

    QTemporaryDir m_dir;
    QString m_deb;
    QString m_root;
    QString m_help;
};

QTEST_GUILESS_MAIN(tst_DebianPackage)
#include "tst_debianpackage.moc"
