#include "audiofixture.h"
#include "faketool.h"
#include "mediaprobe.h"
#include "queueitem.h"
#include "settings.h"
#include "settingssandbox.h"
#include "settingsstore.h"
#include "silenceanalyzer.h"
#include "toollocator.h"
#include "trimengine.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// Rewrites real files with the real ffmpeg and measures the results again.
class tst_TrimApply : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void endsReachTheirTargets_data();
    void endsReachTheirTargets();
    void losslessStreamCopyIsSampleExact();
    void paddingSkippedTouchesNothing();
    void tagsSurvive_data();
    void tagsSurvive();
    void modificationTime_data();
    void modificationTime();
    void backupIsExactCopyOfOriginal();
    void coverArtSurvives_data();
    void coverArtSurvives();
    void realVideoIsNotCarried();
    void unknownEncoderFailsBeforeWriting();
    void failuresLoseNothing_data();
    void failuresLoseNothing();

private:
    QString path(const QString &name) const { return QDir(m_dir.path()).filePath(name); }
    QString source(const QString &name, const test::ToneSpec &spec = {}, const QStringList &extra = {},
                   const QStringList &inputs = {});
    StepResult planAndApply(QueueItem &item, const Settings &settings);
    static QByteArray digest(const QString &file);
    QStringList leftovers() const;

    QTemporaryDir m_dir;
    QTemporaryDir m_cache;
    std::unique_ptr<test::SettingsSandbox> m_sandbox;
    Settings m_measure; // finer detection, so that 0.15 s ends can be measured again
};

void tst_TrimApply::initTestCase()
{
    QVERIFY2(!test::ffmpegExecutable().isEmpty(), "ffmpeg is needed on the search path");
    m_measure.minSilenceSec = 0.1;
}

void tst_TrimApply::init()
{
    m_sandbox = std::make_unique<test::SettingsSandbox>();
    resetToolCache();
}

void tst_TrimApply::cleanup()
{
    m_sandbox.reset();
    resetToolCache();
    QDir(m_dir.path()).removeRecursively();
    QDir().mkpath(m_dir.path());
}

// Generated once per shape and suffix, then copied for each case.
QString tst_TrimApply::source(const QString &name, const test::ToneSpec &spec, const QStringList &extra,
                             const QStringList &inputs)
{
    const QString key = u"%1-%2-%3-%4-%5"_s.arg(spec.leadSec).arg(spec.toneSec).arg(spec.tailSec)
                                .arg(QString::number(qHash((extra + inputs).join(u'|'))), QFileInfo(name).suffix());
    const QString cached = QDir(m_cache.path()).filePath(key + u'.' + QFileInfo(name).suffix());
    if (!QFile::exists(cached)) {
        const QString error = test::makeAudio(cached, spec, extra, inputs);
        if (!error.isEmpty())
            qWarning("%s", qPrintable(error));
    }
    const QString target = path(name);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::remove(target);
    QFile::copy(cached, target);
    QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

StepResult tst_TrimApply::planAndApply(QueueItem &item, const Settings &settings)
{
    const StepResult planned = TrimEngine::plan(item, settings, {}, {});
    if (!planned.ok || planned.skipped)
        return planned;
    return TrimEngine::apply(item, settings, {}, {});
}

QByteArray tst_TrimApply::digest(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QStringList tst_TrimApply::leftovers() const
{
    QStringList found;
    QDirIterator it(m_dir.path(), { u"*.kstmp.*"_s }, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

void tst_TrimApply::endsReachTheirTargets_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("method");
    QTest::addColumn<double>("lead");
    QTest::addColumn<double>("tail");
    QTest::addColumn<int>("leadMode");
    QTest::addColumn<int>("tailMode");
    QTest::addColumn<double>("headAfter");
    QTest::addColumn<double>("tailAfter");
    QTest::addColumn<bool>("reencoded");
    QTest::addColumn<double>("tolerance");

    // Measured again the way the program measures: to the sample for
    // lossless re-encodes (FLAC is always re-encoded); a WAV stream copy ends
    // on the demuxer's packet (up to 1024 frames, 23 ms); mp3 cuts on 26 ms
    // frames and its tail is measured against the container's estimated
    // length; Vorbis and AAC land within 10 ms either way.
    struct Format { const char *suffix; double copyTolerance; double encodeTolerance; bool lossless; };
    const Format formats[] = { { "wav", 0.025, 0.002, false }, { "flac", 0.002, 0.002, true },
                               { "mp3", 0.06, 0.06, false }, { "ogg", 0.01, 0.01, false },
                               { "m4a", 0.01, 0.01, false } };
    for (const Format &f : formats) {
        const QString s = QString::fromLatin1(f.suffix);
        QTest::addRow("%s cut back, copy", f.suffix)
                << s << 0 << 1.0 << 2.0 << 1 << 1 << 0.15 << 0.15 << f.lossless
                << (f.lossless ? f.encodeTolerance : f.copyTolerance);
        QTest::addRow("%s cut back, re-encode", f.suffix)
                << s << 1 << 1.0 << 2.0 << 1 << 1 << 0.15 << 0.15 << true << f.encodeTolerance;
        QTest::addRow("%s top up, copy falls back", f.suffix)
                << s << 0 << 0.3 << 0.3 << 2 << 2 << 0.8 << 1.0 << true << f.encodeTolerance;
        QTest::addRow("%s exact, both ways", f.suffix)
                << s << 1 << 1.0 << 0.3 << 3 << 3 << 0.4 << 0.6 << true << f.encodeTolerance;
        QTest::addRow("%s head left alone", f.suffix)
                << s << 0 << 1.0 << 2.0 << 0 << 1 << 1.0 << 0.15 << f.lossless
                << (f.lossless ? f.encodeTolerance : f.copyTolerance);
    }
}

void tst_TrimApply::endsReachTheirTargets()
{
    QFETCH(QString, suffix);
    QFETCH(int, method);
    QFETCH(double, lead);
    QFETCH(double, tail);
    QFETCH(int, leadMode);
    QFETCH(int, tailMode);
    QFETCH(double, headAfter);
    QFETCH(double, tailAfter);
    QFETCH(bool, reencoded);
    QFETCH(double, tolerance);

    test::ToneSpec spec;
    spec.leadSec = lead;
    spec.tailSec = tail;
    spec.channels = 2;
    const QString input = source(u"in/take one."_s + suffix, spec);
    Settings settings = m_measure;
    settings.trimMethod = TrimMethod(method);
    settings.leadMode = EndMode(leadMode);
    settings.tailMode = EndMode(tailMode);
    settings.leadTargetMs = qRound(headAfter * 1000);
    settings.tailTargetMs = qRound(tailAfter * 1000);
    const QByteArray before = digest(input);

    QueueItem item;
    item.path = input;
    item.outputPath = path(u"out/sub/take one."_s + suffix);
    const StepResult result = planAndApply(item, settings);
    QVERIFY2(result.ok && !result.skipped, qPrintable(result.message));
    QCOMPARE(item.reencoded, reencoded);
    QCOMPARE(digest(input), before); // mirrored: the source is untouched
    QVERIFY(leftovers().isEmpty());

    const MediaInfo written = probeMedia(item.outputPath, {});
    QVERIFY2(written.ok, qPrintable(written.error));
    const SilenceAnalyzer::Result again = SilenceAnalyzer::analyse(item.outputPath, written.durationSec, m_measure, {}, {});
    QVERIFY(again.ok);
    const QString measured = u"head %1 (want %2), tail %3 (want %4), length %5 (planned %6)"_s.arg(again.headSec)
                                     .arg(headAfter)
                                     .arg(again.tailSec)
                                     .arg(tailAfter)
                                     .arg(written.durationSec)
                                     .arg(item.newDurationSec);
    if (qEnvironmentVariableIsSet("KS_SHOW_MEASURED"))
        qInfo("%s: %s", QTest::currentDataTag(), qPrintable(measured));
    QVERIFY2(qAbs(again.headSec - headAfter) <= tolerance, qPrintable(measured));
    QVERIFY2(qAbs(again.tailSec - tailAfter) <= tolerance, qPrintable(measured));
    QVERIFY2(qAbs(written.durationSec - item.newDurationSec) <= 2 * tolerance + 0.01, qPrintable(measured));
}

void tst_TrimApply::losslessStreamCopyIsSampleExact()
{
    test::ToneSpec spec;
    spec.leadSec = 1.3;
    spec.toneSec = 4.0;
    spec.tailSec = 1.7;
    const QString input = source(u"exact.flac"_s, spec);
    Settings settings = m_measure;
    settings.trimMethod = TrimMethod::StreamCopy;
    settings.outputMode = OutputMode::InPlace;
    settings.makeBackup = false;
    QueueItem item;
    item.path = item.outputPath = input;
    const StepResult result = planAndApply(item, settings);
    QVERIFY2(result.ok, qPrintable(result.message));

    const QJsonObject probe = test::probeJson(input);
    const double declared = probe.value(u"format").toObject().value(u"duration").toString().toDouble();
    const double start = probe.value(u"streams").toArray().first().toObject().value(u"start_time").toString().toDouble();
    const double decoded = test::decodedSeconds(input);
    const QString report = u"declared %1, decoded %2, start %3"_s.arg(declared).arg(decoded).arg(start);
    QVERIFY2(qAbs(declared - decoded) < 0.0005, qPrintable(report));
    QCOMPARE(start, 0.0);

    const SilenceAnalyzer::Result again = SilenceAnalyzer::analyse(input, declared, m_measure, {}, {});
    // One sample at 44.1 kHz is 0.023 ms.
    QVERIFY2(qAbs(again.headSec - 0.15) < 0.0005, qPrintable(QString::number(again.headSec, 'f', 6)));
    QVERIFY2(qAbs(again.tailSec - 0.15) < 0.0005, qPrintable(QString::number(again.tailSec, 'f', 6)));
}

void tst_TrimApply::paddingSkippedTouchesNothing()
{
    test::ToneSpec spec;
    spec.leadSec = 0.0;
    spec.tailSec = 0.0;
    const QString input = source(u"dry.mp3"_s, spec);
    const QByteArray before = digest(input);
    Settings settings = m_measure;
    settings.leadMode = EndMode::TopUp;
    settings.leadTargetMs = 200;
    settings.tailMode = EndMode::LeaveAlone;
    settings.padFallback = PadFallback::Skip;
    for (const OutputMode mode : { OutputMode::InPlace, OutputMode::Mirror }) {
        settings.outputMode = mode;
        QueueItem item;
        item.path = input;
        item.outputPath = mode == OutputMode::InPlace ? input : path(u"mirror/dry.mp3"_s);
        const StepResult result = planAndApply(item, settings);
        QVERIFY(result.ok && result.skipped);
        QCOMPARE(result.message, u"needs 0.20 s of silence added, which a stream copy cannot do"_s);
        QCOMPARE(digest(input), before);
        QVERIFY(!QFile::exists(input + u".bak"_s));
        QVERIFY(!QFileInfo::exists(path(u"mirror"_s)));
        QVERIFY(leftovers().isEmpty());
    }
}

void tst_TrimApply::tagsSurvive_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("method");
    QTest::newRow("mp3 copy") << u"mp3"_s << 0;
    QTest::newRow("mp3 re-encode") << u"mp3"_s << 1;
    QTest::newRow("flac") << u"flac"_s << 0;
    QTest::newRow("m4a copy") << u"m4a"_s << 0;
    QTest::newRow("ogg copy") << u"ogg"_s << 0;
}

void tst_TrimApply::tagsSurvive()
{
    QFETCH(QString, suffix);
    QFETCH(int, method);
    const QString input = source(u"tagged."_s + suffix, {},
                                 { u"-metadata"_s, u"title=Ünder the \"Sky\""_s, u"-metadata"_s, u"artist=Ærøs & Co"_s });
    Settings settings = m_measure;
    settings.trimMethod = TrimMethod(method);
    settings.outputMode = OutputMode::InPlace;
    QueueItem item;
    item.path = item.outputPath = input;
    const StepResult result = planAndApply(item, settings);
    QVERIFY2(result.ok, qPrintable(result.message));

    const QJsonObject probe = test::probeJson(input);
    QJsonObject tags = probe.value(u"format").toObject().value(u"tags").toObject();
    if (tags.isEmpty()) // Ogg keeps its comments on the stream
        tags = probe.value(u"streams").toArray().first().toObject().value(u"tags").toObject();
    const auto tag = [&](const QString &key) {
        for (auto it = tags.begin(); it != tags.end(); ++it)
            if (it.key().compare(key, Qt::CaseInsensitive) == 0)
                return it.value().toString();
        return QString();
    };
    QCOMPARE(tag(u"title"_s), u"Ünder the \"Sky\""_s);
    QCOMPARE(tag(u"artist"_s), u"Ærøs & Co"_s);
}

void tst_TrimApply::modificationTime_data()
{
    QTest::addColumn<bool>("keep");
    QTest::newRow("kept") << true;
    QTest::newRow("not kept") << false;
}

void tst_TrimApply::modificationTime()
{
    QFETCH(bool, keep);
    const QString input = source(u"old.wav"_s);
    const QDateTime old(QDate(2021, 5, 1), QTime(8, 30, 15));
    {
        QFile f(input);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
    }
    Settings settings = m_measure;
    settings.keepMtime = keep;
    QueueItem item;
    item.path = input;
    item.outputPath = path(u"out/old.wav"_s);
    QVERIFY(planAndApply(item, settings).ok);
    const QDateTime written = QFileInfo(item.outputPath).lastModified();
    if (keep)
        QCOMPARE(written, old);
    else
        QVERIFY(qAbs(written.secsTo(QDateTime::currentDateTime())) < 120);
}

void tst_TrimApply::backupIsExactCopyOfOriginal()
{
    const QString input = source(u"keep me.mp3"_s);
    QFile::setPermissions(input, QFile::ReadOwner | QFile::WriteOwner); // a private file stays private
    const QByteArray original = digest(input);
    QFile stale(input + u".bak"_s);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("an older backup");
    stale.close();

    Settings settings = m_measure;
    settings.outputMode = OutputMode::InPlace;
    settings.makeBackup = true;
    QueueItem item;
    item.path = item.outputPath = input;
    QVERIFY(planAndApply(item, settings).ok);
    QCOMPARE(digest(input + u".bak"_s), original);
    QVERIFY(digest(input) != original);
    const QFile::Permissions kept = QFile::permissions(input);
    QVERIFY(kept & QFile::WriteOwner);
    QVERIFY(!(kept & (QFile::ReadGroup | QFile::ReadOther)));
    QVERIFY(leftovers().isEmpty());
}

void tst_TrimApply::coverArtSurvives_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("leadMode");
    QTest::newRow("mp3 stream copy") << u"mp3"_s << 1;
    QTest::newRow("mp3 re-encoded to pad") << u"mp3"_s << 2;
    QTest::newRow("flac") << u"flac"_s << 1;
    QTest::newRow("flac padded") << u"flac"_s << 2;
    QTest::newRow("m4a stream copy") << u"m4a"_s << 1;
    QTest::newRow("m4a re-encoded to pad") << u"m4a"_s << 2;
}

void tst_TrimApply::coverArtSurvives()
{
    QFETCH(QString, suffix);
    QFETCH(int, leadMode);
    const QString cover = QDir(m_cache.path()).filePath(u"cover.png"_s);
    if (!QFile::exists(cover)) {
        bool ok = false;
        test::runFfmpeg({ u"-loglevel"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc=size=64x64"_s,
                          u"-frames:v"_s, u"1"_s, cover },
                        &ok);
        QVERIFY(ok);
    }
    const QString input = source(u"covered."_s + suffix, {},
                                 { u"-map"_s, u"0"_s, u"-map"_s, u"1"_s, u"-c:v"_s, u"copy"_s, u"-disposition:v"_s,
                                   u"attached_pic"_s },
                                 { u"-i"_s, cover });
    Settings settings = m_measure;
    settings.leadMode = EndMode(leadMode);
    settings.leadTargetMs = 1500;
    QueueItem item;
    item.path = input;
    item.outputPath = path(u"out/covered."_s + suffix);
    const StepResult result = planAndApply(item, settings);
    QVERIFY2(result.ok, qPrintable(result.message));
    QCOMPARE(item.reencoded, leadMode == 2 || suffix == u"flac");

    const QJsonArray streams = test::probeJson(item.outputPath).value(u"streams").toArray();
    QCOMPARE(streams.size(), 2);
    const QJsonObject picture = streams.at(1).toObject();
    QCOMPARE(picture.value(u"codec_name").toString(), u"png"_s);
    QCOMPARE(picture.value(u"disposition").toObject().value(u"attached_pic").toInt(), 1);
}

void tst_TrimApply::realVideoIsNotCarried()
{
    const QString input = path(u"clip.m4a"_s);
    bool ok = false;
    test::runFfmpeg({ u"-loglevel"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc=size=64x48:rate=10:duration=5"_s,
                      u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=duration=3"_s, u"-af"_s, u"apad=pad_dur=2"_s, u"-c:v"_s,
                      u"mpeg4"_s, u"-c:a"_s, u"aac"_s, input },
                    &ok);
    QVERIFY(ok);
    QueueItem item;
    item.path = input;
    item.outputPath = path(u"out/clip.m4a"_s);
    const StepResult result = planAndApply(item, m_measure);
    QVERIFY2(result.ok, qPrintable(result.message));
    const QJsonArray streams = test::probeJson(item.outputPath).value(u"streams").toArray();
    QCOMPARE(streams.size(), 1);
    QCOMPARE(streams.first().toObject().value(u"codec_type").toString(), u"audio"_s);
}

void tst_TrimApply::unknownEncoderFailsBeforeWriting()
{
    const QString input = path(u"legacy.wma"_s);
    bool ok = false;
    test::runFfmpeg({ u"-loglevel"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=duration=3"_s, u"-af"_s,
                      u"adelay=1s:all=1,apad=pad_dur=1"_s, u"-c:a"_s, u"wmav2"_s, input },
                    &ok);
    QVERIFY(ok);
    Settings settings = m_measure;
    settings.trimMethod = TrimMethod::ReEncode;
    QueueItem item;
    item.path = input;
    item.outputPath = path(u"never/made/legacy.wma"_s);
    const StepResult result = planAndApply(item, settings);
    QVERIFY(!result.ok);
    QCOMPARE(result.message, u"no encoder available for wmav2"_s);
    QVERIFY(!QFileInfo::exists(path(u"never"_s)));
}

void tst_TrimApply::failuresLoseNothing_data()
{
    QTest::addColumn<QByteArray>("fakeFfmpeg"); // empty: the real one
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<QString>("message"); // %1: the path the message names
    QTest::addColumn<bool>("stop");

    const QByteArray lastArg = "for last; do :; done\n";
    QTest::newRow("ffmpeg fails with a reason")
            << QByteArray("echo 'first line' >&2\necho '  Conversion failed!  ' >&2\nexit 1") << QString() << true
            << u"Conversion failed!"_s << false;
    QTest::newRow("ffmpeg fails silently") << QByteArray("exit 1") << QString() << true << u"ffmpeg failed"_s << false;
    QTest::newRow("ffmpeg writes an empty file")
            << QByteArray(lastArg + ": > \"$last\"\nexit 0") << QString() << true << u"ffmpeg produced no output"_s << false;
    QTest::newRow("ffmpeg writes nothing") << QByteArray("exit 0") << QString() << false
                                           << u"ffmpeg produced no output"_s << false;
    QTest::newRow("stopped mid-run")
            << QByteArray(lastArg + "echo partial > \"$last\"\nexec sleep 20") << QString() << true << u"cancelled"_s << true;
    QTest::newRow("a file stands where the folder should be")
            << QByteArray() << u"file-for-folder"_s << false << u"cannot create %1"_s << false;
    QTest::newRow("a folder stands at the backup path")
            << QByteArray() << u"folder-for-backup"_s << true << u"cannot write backup %1"_s << false;
    QTest::newRow("the output path is a folder with files")
            << QByteArray() << u"folder-for-output"_s << false << u"cannot replace %1"_s << false;
}

void tst_TrimApply::failuresLoseNothing()
{
    QFETCH(QByteArray, fakeFfmpeg);
    QFETCH(QString, obstacle);
    QFETCH(bool, inPlace);
    QFETCH(QString, message);
    QFETCH(bool, stop);

    const QString input = source(u"precious.flac"_s);
    const QByteArray before = digest(input);
    Settings settings = m_measure;
    settings.outputMode = inPlace ? OutputMode::InPlace : OutputMode::Mirror;
    settings.makeBackup = true;
    QueueItem item;
    item.path = input;
    item.outputPath = inPlace ? input : path(u"out/deeper/precious.flac"_s);
    QVERIFY(TrimEngine::plan(item, settings, {}, {}).ok);

    QString named;
    if (obstacle == u"file-for-folder") {
        QFile blocker(path(u"out"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        named = QDir::toNativeSeparators(path(u"out/deeper"_s));
    } else if (obstacle == u"folder-for-backup") {
        QVERIFY(QDir().mkpath(input + u".bak/inside"_s));
        named = QDir::toNativeSeparators(input + u".bak"_s);
    } else if (obstacle == u"folder-for-output") {
        QVERIFY(QDir().mkpath(item.outputPath + u"/inside"_s));
        named = QDir::toNativeSeparators(item.outputPath);
    }
    if (!fakeFfmpeg.isEmpty()) {
        appSettings().ffmpegPath = test::writeFakeTool(m_cache.path(), u"fake-ffmpeg"_s, fakeFfmpeg);
        resetToolCache();
    }

    QElapsedTimer clock;
    clock.start();
    const StepResult result = TrimEngine::apply(item, settings, [&] { return stop && clock.elapsed() > 300; }, {});
    QVERIFY(!result.ok);
    QCOMPARE(result.message, message.contains(u"%1"_s) ? message.arg(named) : message);
    QCOMPARE(digest(input), before);
    QVERIFY2(leftovers().isEmpty(), qPrintable(leftovers().join(u", "_s)));
}

QTEST_GUILESS_MAIN(tst_TrimApply)
#include "tst_trimapply.moc"
