#include "audiofixture.h"
#include "faketool.h"
#include "filechecks.h"
#include "mediaprobe.h"
#include "queueitem.h"
#include "settings.h"
#include "settingssandbox.h"
#include "settingsstore.h"
#include "silenceanalyzer.h"
#include "trimengine.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QProcess>
#include <QScopeGuard>
#include <QtTest>

#include <unistd.h>

using namespace ks;
using namespace Qt::StringLiterals;

// Rewrites real files with the real ffmpeg and measures the results again.
class tst_TrimApply : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void endsReachTheirTargets_data();
    void endsReachTheirTargets();
    void chaptersAndCoverFollowTheCut();
    void mp4FreeFormTagsKept();
    void everyFormatCuts_data();
    void everyFormatCuts();
    void losslessStreamCopyIsSampleExact();
    void paddingSkippedTouchesNothing();
    void inPlaceOwnerReadOnlyAndLinks();
    void inPlaceKeepsWhatMatters_data();
    void inPlaceKeepsWhatMatters();
    void onlyCoverArtRidesAlong_data();
    void onlyCoverArtRidesAlong();
    void failuresLoseNothing_data();
    void failuresLoseNothing();
    void topUpAndExactSettle_data();
    void topUpAndExactSettle();
    void damagedAudioIsRefused_data();
    void damagedAudioIsRefused();
    void fullDiskKeepsTheOriginal();

private:
    QString source(const QString &name, const test::ToneSpec &spec = {}, const QStringList &extra = {},
                   const QStringList &inputs = {});
    StepResult planAndApply(QueueItem &item, const Settings &settings);
    QStringList leftovers() const { return test::temporaryFiles(m_dir.path()); }

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
}

void tst_TrimApply::cleanup()
{
    m_sandbox.reset();
    QDir(m_dir.path()).removeRecursively();
    QDir().mkpath(m_dir.path());
}

// Generated once per shape, then copied for each case.
QString tst_TrimApply::source(const QString &name, const test::ToneSpec &spec, const QStringList &extra,
                             const QStringList &inputs)
{
    const QString suffix = QFileInfo(name).suffix();
    const QString cached = m_cache.filePath(u"%1-%2-%3-%4-%5-%6.%7"_s.arg(spec.leadSec).arg(spec.toneSec)
                                                    .arg(spec.tailSec).arg(spec.channels).arg(spec.sampleRate)
                                                    .arg(qHash((extra + inputs).join(u'|')))
                                                    .arg(suffix));
    if (!QFile::exists(cached)) {
        const QString error = test::makeAudio(cached, spec, extra, inputs);
        if (!error.isEmpty())
            qWarning("%s", qPrintable(error));
    }
    const QString target = m_dir.filePath(name);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::copy(cached, target);
    QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

StepResult tst_TrimApply::planAndApply(QueueItem &item, const Settings &settings)
{
    const StepResult planned = TrimEngine::plan(item, settings, test::systemTools(), {}, {});
    return !planned.ok() || planned.skipped() ? planned : TrimEngine::apply(item, settings, test::systemTools(), {}, {});
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
    // length; Vorbis and AAC land within 10 ms either way. FLAC and Vorbis
    // are re-encoded even when a copy is asked for.
    struct Format { const char *suffix; double copyTolerance; double encodeTolerance; bool copyReencodes; };
    const Format formats[] = { { "wav", 0.025, 0.002, false }, { "flac", 0.002, 0.002, true },
                               { "mp3", 0.06, 0.06, false }, { "ogg", 0.01, 0.01, true },
                               { "m4a", 0.01, 0.01, false } };
    for (const Format &f : formats) {
        const QString s = QString::fromLatin1(f.suffix);
        QTest::addRow("%s cut back, copy", f.suffix) << s << 0 << 1.0 << 2.0 << 1 << 1 << 0.15 << 0.15 << f.copyReencodes
                                                     << (f.copyReencodes ? f.encodeTolerance : f.copyTolerance);
        QTest::addRow("%s exact, both ways", f.suffix) << s << 1 << 1.0 << 0.3 << 3 << 3 << 0.4 << 0.6 << true
                                                       << f.encodeTolerance;
    }
    QTest::newRow("mp3 cut back, re-encode") << u"mp3"_s << 1 << 1.0 << 2.0 << 1 << 1 << 0.15 << 0.15 << true << 0.06;
    QTest::newRow("ogg top up, copy falls back") << u"ogg"_s << 0 << 0.3 << 0.3 << 2 << 2 << 0.8 << 1.0 << true << 0.01;
    QTest::newRow("m4a head left alone") << u"m4a"_s << 0 << 1.0 << 2.0 << 0 << 1 << 1.0 << 0.15 << false << 0.01;
}

// An audiobook's chapters end with the new file, shifted by the head cut;
// its cover stays.
void tst_TrimApply::chaptersAndCoverFollowTheCut()
{
    QFile meta(m_cache.filePath(u"chapters.txt"_s));
    QVERIFY(meta.open(QIODevice::WriteOnly));
    meta.write(";FFMETADATA1\n");
    for (int i = 0; i < 3; ++i)
        meta.write(QStringLiteral("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%1\nEND=%2\ntitle=Part %3\n")
                           .arg(i * 2000).arg(i * 2000 + 2000).arg(i + 1).toUtf8());
    meta.close();
    test::ToneSpec spec;
    spec.leadSec = 1.0;
    spec.toneSec = 3.0;
    spec.tailSec = 2.0;
    const QString input = source(u"book.m4b"_s, spec,
                                 { u"-map"_s, u"0:a"_s, u"-map"_s, u"2:v"_s, u"-map_metadata"_s, u"1"_s, u"-c:v"_s,
                                   u"png"_s, u"-disposition:v"_s, u"attached_pic"_s, u"-c:a"_s, u"aac"_s },
                                 { u"-i"_s, meta.fileName(), u"-f"_s, u"lavfi"_s, u"-i"_s,
                                   u"color=c=red:s=32x32:d=1"_s, u"-frames:v"_s, u"1"_s });
    QueueItem item;
    item.path = input;
    item.outputPath = m_dir.filePath(u"out/book.m4b"_s);
    const StepResult result = planAndApply(item, m_measure);
    QVERIFY2(result.ok(), qPrintable(result.message));
    const QJsonObject probe =
            QJsonDocument::fromJson(test::runFfprobe({ u"-v"_s, u"error"_s, u"-show_chapters"_s, u"-show_streams"_s,
                                                       u"-of"_s, u"json"_s, item.outputPath }))
                    .object();
    const QJsonArray chapters = probe.value(u"chapters"_s).toArray();
    QCOMPARE(chapters.size(), 3);
    QVERIFY(qAbs(chapters.at(1).toObject().value(u"start_time"_s).toString().toDouble() - (2.0 - 0.85)) < 0.01);
    QVERIFY(chapters.last().toObject().value(u"end_time"_s).toString().toDouble() <= item.newDurationSec + 0.02);
    bool cover = false;
    for (const QJsonValue &stream : probe.value(u"streams"_s).toArray())
        cover = cover || stream.toObject().value(u"disposition"_s).toObject().value(u"attached_pic"_s).toInt() == 1;
    QVERIFY(cover);
}

void tst_TrimApply::mp4FreeFormTagsKept()
{
    const QString input = source(u"gain.m4a"_s, {},
                                 { u"-metadata"_s, u"title=Gain"_s, u"-metadata"_s, u"REPLAYGAIN_TRACK_GAIN=-6.5 dB"_s,
                                   u"-movflags"_s, u"use_metadata_tags"_s });
    QueueItem item;
    item.path = input;
    item.outputPath = m_dir.filePath(u"out/gain.m4a"_s);
    QVERIFY(planAndApply(item, m_measure).ok());
    const QJsonObject tags = test::probeJson(item.outputPath).value(u"format").toObject().value(u"tags").toObject();
    QCOMPARE(tags.value(u"REPLAYGAIN_TRACK_GAIN"_s).toString(), u"-6.5 dB"_s);
    QCOMPARE(tags.value(u"title"_s).toString(), u"Gain"_s);
}

void tst_TrimApply::everyFormatCuts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("encode"); // how the source is written
    QTest::addColumn<double>("tolerance");   // of the kept head silence
    // Asked to stream copy, each is re-encoded with its own encoder where a
    // copy would not cut, and written with a muxer that takes it.
    QTest::newRow("opus") << u"a.opus"_s << QStringList{ u"-c:a"_s, u"libopus"_s } << 0.01;
    QTest::newRow("wavpack") << u"a.wv"_s << QStringList{ u"-c:a"_s, u"wavpack"_s } << 0.002;
    QTest::newRow("wma") << u"a.wma"_s << QStringList{ u"-c:a"_s, u"wmav2"_s } << 0.1; // its decoder primes
    QTest::newRow("ac-3, copied on 32 ms frames") << u"a.ac3"_s << QStringList{ u"-c:a"_s, u"ac3"_s } << 0.04;
    QTest::newRow("flac in m4a") << u"a.m4a"_s
                                 << QStringList{ u"-c:a"_s, u"flac"_s, u"-strict"_s, u"-2"_s, u"-f"_s, u"mp4"_s } << 0.002;
    QTest::newRow("opus in m4a") << u"b.m4a"_s << QStringList{ u"-c:a"_s, u"libopus"_s, u"-f"_s, u"mp4"_s } << 0.01;
    QTest::newRow("vorbis at 96 kHz, a suffix ffmpeg does not know")
            << u"a.oggx"_s << QStringList{ u"-c:a"_s, u"libvorbis"_s, u"-ar"_s, u"96000"_s, u"-f"_s, u"ogg"_s } << 0.01;
}

void tst_TrimApply::everyFormatCuts()
{
    QFETCH(QString, name);
    QFETCH(QStringList, encode);
    QFETCH(double, tolerance);
    test::ToneSpec spec;
    spec.leadSec = 1.5;
    spec.tailSec = 2.5;
    spec.channels = 2;
    const QString input = source(name, spec, encode);
    QueueItem item;
    item.path = input;
    item.outputPath = m_dir.filePath(u"out/"_s + name);
    const StepResult result = planAndApply(item, m_measure);
    QVERIFY2(result.ok() && !result.skipped(), qPrintable(result.message));
    QCOMPARE(item.reencoded, !name.endsWith(u".ac3"_s));
    // Decoded again, as a player would: the planned length, 150 ms of head kept.
    QVERIFY2(qAbs(test::decodedSeconds(item.outputPath) - item.newDurationSec) <= qMax(0.03, tolerance),
             qPrintable(QString::number(test::decodedSeconds(item.outputPath))));
    const SilenceAnalyzer::Result after =
            SilenceAnalyzer::analyse(test::systemTools(), item.outputPath, 0.0, m_measure, {}, {});
    QVERIFY2(qAbs(after.headSec - 0.15) <= tolerance, qPrintable(QString::number(after.headSec)));
}

void tst_TrimApply::endsReachTheirTargets()
{
    QFETCH(QString, suffix);
    QFETCH(double, lead);
    QFETCH(double, tail);
    QFETCH(double, headAfter);
    QFETCH(double, tailAfter);
    QFETCH(double, tolerance);
    test::ToneSpec spec;
    spec.leadSec = lead;
    spec.tailSec = tail;
    spec.channels = 2;
    const QString input = source(u"in/take one."_s + suffix, spec);
    Settings settings = m_measure;
    QFETCH(int, method);
    QFETCH(int, leadMode);
    QFETCH(int, tailMode);
    settings.trimMethod = TrimMethod(method);
    settings.headMode = EndMode(leadMode);
    settings.tailMode = EndMode(tailMode);
    settings.headTargetMs = qRound(headAfter * 1000);
    settings.tailTargetMs = qRound(tailAfter * 1000);
    const QByteArray before = test::sha256(input);

    QueueItem item;
    item.path = input;
    item.outputPath = m_dir.filePath(u"out/sub/take one."_s + suffix);
    const StepResult result = planAndApply(item, settings);
    QVERIFY2(result.ok() && !result.skipped(), qPrintable(result.message));
    QTEST(item.reencoded, "reencoded");
    QCOMPARE(test::sha256(input), before); // mirrored: the source is untouched
    QVERIFY(leftovers().isEmpty());

    const MediaInfo written = probeMedia(test::systemTools(), item.outputPath, {});
    const SilenceAnalyzer::Result again = SilenceAnalyzer::analyse(test::systemTools(), item.outputPath, written.durationSec, m_measure, {}, {});
    QVERIFY(written.ok && again.ok);
    const QString measured = u"head %1, tail %2, length %3 (planned %4)"_s.arg(again.headSec).arg(again.tailSec)
                                     .arg(written.durationSec).arg(item.newDurationSec);
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
    QueueItem item;
    item.path = item.outputPath = source(u"exact.flac"_s, spec);
    Settings settings = m_measure;
    settings.outputMode = OutputMode::InPlace;
    settings.makeBackup = false;
    QVERIFY(planAndApply(item, settings).ok());

    // A cut on whole frames would keep the source's length and frame numbers.
    const QJsonObject probe = test::probeJson(item.path);
    const double declared = probe.value(u"format").toObject().value(u"duration").toString().toDouble();
    const double start = probe.value(u"streams").toArray().first().toObject().value(u"start_time").toString().toDouble();
    const double decoded = test::decodedSeconds(item.path);
    QVERIFY2(qAbs(declared - decoded) < 0.0005, qPrintable(u"declared %1, decoded %2"_s.arg(declared).arg(decoded)));
    QCOMPARE(start, 0.0);
    const SilenceAnalyzer::Result again = SilenceAnalyzer::analyse(test::systemTools(), item.path, declared, m_measure, {}, {});
    // One sample at 44.1 kHz is 0.023 ms.
    QVERIFY2(qAbs(again.headSec - 0.15) < 0.0005 && qAbs(again.tailSec - 0.15) < 0.0005,
             qPrintable(u"head %1, tail %2"_s.arg(again.headSec, 0, 'f', 6).arg(again.tailSec, 0, 'f', 6)));
}

void tst_TrimApply::paddingSkippedTouchesNothing()
{
    test::ToneSpec dry;
    dry.leadSec = dry.tailSec = 0.0;
    const QString input = source(u"dry.mp3"_s, dry);
    const QByteArray before = test::sha256(input);
    Settings settings = m_measure;
    settings.headMode = EndMode::TopUp;
    settings.headTargetMs = 200;
    settings.tailMode = EndMode::LeaveAlone;
    settings.padFallback = PadFallback::Skip;
    for (const OutputMode mode : { OutputMode::InPlace, OutputMode::Mirror }) {
        settings.outputMode = mode;
        QueueItem item;
        item.path = input;
        item.outputPath = mode == OutputMode::InPlace ? input : m_dir.filePath(u"mirror/dry.mp3"_s);
        const StepResult result = planAndApply(item, settings);
        QVERIFY(result.ok() && result.skipped());
        QCOMPARE(result.message, u"needs 0.20 s of silence added, which a stream copy cannot do"_s);
        QCOMPARE(test::sha256(input), before);
        QVERIFY(!QFile::exists(input + u".bak"_s) && !QFileInfo::exists(m_dir.filePath(u"mirror"_s)));
    }
}

void tst_TrimApply::inPlaceKeepsWhatMatters_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("keepMtime");
    QTest::addColumn<bool>("earlierBackup");
    QTest::newRow("mp3, time kept") << u"mp3"_s << true << false;
    QTest::newRow("flac, time not kept") << u"flac"_s << false << false;
    QTest::newRow("ogg, earlier backup") << u"ogg"_s << true << true;
    QTest::newRow("m4a, earlier backup") << u"m4a"_s << true << true;
}

// In place, the file stays its owner's, a read-only file is refused, and a
// link named directly is kept while the file it leads to is trimmed.
void tst_TrimApply::inPlaceOwnerReadOnlyAndLinks()
{
    Settings settings = m_measure;
    settings.outputMode = OutputMode::InPlace;
    settings.makeBackup = false;
    const auto trim = [&](const QString &path) {
        QueueItem item;
        item.path = item.outputPath = path;
        return planAndApply(item, settings);
    };
    const QString owned = m_dir.filePath(u"owned.flac"_s);
    QVERIFY(QFile::copy(source(u"x.flac"_s), owned));
    const bool root = ::geteuid() == 0;
    if (root)
        QCOMPARE(::chown(QFile::encodeName(owned).constData(), 65534, 65534), 0);
    const QFileInfo before(owned);
    QVERIFY(trim(owned).ok());
    QCOMPARE(QFileInfo(owned).ownerId(), before.ownerId());
    QCOMPARE(QFileInfo(owned).groupId(), before.groupId());

    const QString locked = m_dir.filePath(u"locked.flac"_s);
    QVERIFY(QFile::copy(source(u"x.flac"_s), locked));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QByteArray lockedBytes = test::sha256(locked);
    const StepResult refused = trim(locked);
    QCOMPARE(refused.message, u"file is read-only"_s);
    QCOMPARE(test::sha256(locked), lockedBytes);

    const QString target = m_dir.filePath(u"real.flac"_s);
    const QString link = m_dir.filePath(u"link.flac"_s);
    QVERIFY(QFile::copy(source(u"x.flac"_s), target));
    QVERIFY(QFile::link(target, link));
    const double length = test::decodedSeconds(target);
    QVERIFY(trim(link).ok());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), target);
    QVERIFY(test::decodedSeconds(target) < length - 2.0);
    QVERIFY(leftovers().isEmpty());
}

void tst_TrimApply::inPlaceKeepsWhatMatters()
{
    QFETCH(QString, suffix);
    QFETCH(bool, keepMtime);
    const QString input = source(u"keep me."_s + suffix, {},
                                 { u"-metadata"_s, u"title=Ünder the \"Sky\""_s, u"-metadata"_s, u"artist=Ærøs & Co"_s });
    QFile::setPermissions(input, QFile::ReadOwner | QFile::WriteOwner); // a private file stays private
    const QDateTime old(QDate(2021, 5, 1), QTime(8, 30, 15));
    {
        QFile f(input);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(old, QFileDevice::FileModificationTime));
    }
    const QByteArray original = test::sha256(input);
    QFETCH(bool, earlierBackup);
    if (earlierBackup) {
        QFile older(input + u".bak"_s);
        QVERIFY(older.open(QIODevice::WriteOnly) && older.write("an older backup"));
    }
    const QByteArray backup = earlierBackup ? test::sha256(input + u".bak"_s) : original;

    Settings settings = m_measure;
    settings.outputMode = OutputMode::InPlace;
    settings.keepMtime = keepMtime;
    QueueItem item;
    item.path = item.outputPath = input;
    const StepResult first = planAndApply(item, settings);
    QVERIFY(first.ok());
    QCOMPARE(first.message, earlierBackup ? u"kept the existing backup"_s : QString());
    QCOMPARE(test::sha256(input + u".bak"_s), backup);
    // A second run that changes the file again keeps the first backup.
    const QByteArray once = test::sha256(input);
    settings.headTargetMs = 50;
    QVERIFY(planAndApply(item, settings).ok());
    QVERIFY(test::sha256(input) != once);
    QCOMPARE(test::sha256(input + u".bak"_s), backup);
    QVERIFY(test::sha256(input) != original);
    QCOMPARE(QFileInfo(input).lastModified() == old, keepMtime);
    QVERIFY(!(QFile::permissions(input) & (QFile::ReadGroup | QFile::ReadOther)));
    const QJsonObject probe = test::probeJson(input);
    QJsonObject tags = probe.value(u"format").toObject().value(u"tags").toObject();
    if (tags.isEmpty()) // Ogg keeps its comments on the stream
        tags = probe.value(u"streams").toArray().first().toObject().value(u"tags").toObject();
    QStringList kept;
    for (auto it = tags.begin(); it != tags.end(); ++it)
        kept << it.key().toLower() + u'=' + it.value().toString();
    QVERIFY2(kept.contains(u"title=Ünder the \"Sky\""_s) && kept.contains(u"artist=Ærøs & Co"_s),
             qPrintable(kept.join(u", "_s)));
}

void tst_TrimApply::onlyCoverArtRidesAlong_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("leadMode");
    QTest::addColumn<QString>("video"); // "cover" or "real"
    QTest::newRow("mp3 stream copy") << u"mp3"_s << 1 << u"cover"_s;
    QTest::newRow("mp3 re-encoded to pad") << u"mp3"_s << 2 << u"cover"_s;
    QTest::newRow("flac") << u"flac"_s << 1 << u"cover"_s;
    QTest::newRow("m4a stream copy") << u"m4a"_s << 1 << u"cover"_s;
    QTest::newRow("m4a re-encoded to pad") << u"m4a"_s << 2 << u"cover"_s;
    QTest::newRow("m4a with a real video") << u"m4a"_s << 1 << u"real"_s;
    QTest::newRow("aiff, its cover in an ID3 chunk") << u"aiff"_s << 1 << u"cover"_s;
}

void tst_TrimApply::onlyCoverArtRidesAlong()
{
    QFETCH(QString, suffix);
    QFETCH(int, leadMode);
    QFETCH(QString, video);
    const QString picture = m_cache.filePath(u"cover.png"_s);
    if (!QFile::exists(picture)) {
        test::runFfmpeg({ u"-loglevel"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc=size=64x64"_s,
                          u"-frames:v"_s, u"1"_s, picture });
    }
    const bool cover = video == u"cover";
    const QString input =
            source(u"covered."_s + suffix, {},
                   (cover ? QStringList{ u"-map"_s, u"0"_s, u"-map"_s, u"1"_s, u"-c:v"_s, u"copy"_s,
                                         u"-disposition:v"_s, u"attached_pic"_s }
                          : QStringList{ u"-map"_s, u"0"_s, u"-map"_s, u"1"_s, u"-c:v"_s, u"mpeg4"_s })
                           + (suffix == u"aiff" ? QStringList{ u"-write_id3v2"_s, u"1"_s } : QStringList()),
                   cover ? QStringList{ u"-i"_s, picture }
                         : QStringList{ u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc=size=64x48:rate=10:duration=5"_s });
    Settings settings = m_measure;
    settings.headMode = EndMode(leadMode);
    settings.headTargetMs = 1500;
    QueueItem item;
    item.path = input;
    item.outputPath = m_dir.filePath(u"out/covered."_s + suffix);
    const StepResult result = planAndApply(item, settings);
    QVERIFY2(result.ok(), qPrintable(result.message));

    const QJsonArray streams = test::probeJson(item.outputPath).value(u"streams").toArray();
    QCOMPARE(streams.size(), cover ? 2 : 1);
    if (cover) {
        QCOMPARE(streams.at(1).toObject().value(u"codec_name").toString(), u"png"_s);
        QCOMPARE(streams.at(1).toObject().value(u"disposition").toObject().value(u"attached_pic").toInt(), 1);
    }
}

void tst_TrimApply::failuresLoseNothing_data()
{
    QTest::addColumn<QByteArray>("fakeFfmpeg"); // empty: the real one
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<QString>("message"); // %1: the path the message names

    const QByteArray lastArg = "for last; do :; done\n";
    QTest::newRow("ffmpeg fails with a reason before the generic line")
            << QByteArray("echo '[aac @ 0x55] the reason' >&2\necho '  Conversion failed!  ' >&2\nexit 1") << QString()
            << true << u"the reason"_s;
    QTest::newRow("ffmpeg fails silently") << QByteArray("exit 1") << QString() << true << u"ffmpeg failed"_s;
    QTest::newRow("ffmpeg writes an empty file") << QByteArray(lastArg + ": > \"$last\"") << QString() << true
                                                 << u"ffmpeg produced no output"_s;
    QTest::newRow("ffmpeg writes nothing") << QByteArray("exit 0") << QString() << false
                                           << u"ffmpeg produced no output"_s;
    QTest::newRow("stopped mid-run") << QByteArray(lastArg + "echo partial > \"$last\"\nexec sleep 20") << u"stop"_s
                                     << true << u"cancelled"_s;
    QTest::newRow("a file where the folder should be") << QByteArray() << u"file-for-folder"_s << false
                                                       << u"cannot create %1"_s;
    QTest::newRow("a folder at the backup path") << QByteArray() << u"folder-for-backup"_s << true
                                                 << u"cannot write backup %1"_s;
    QTest::newRow("the output path is a folder with files") << QByteArray() << u"folder-for-output"_s << false
                                                            << u"cannot replace %1"_s;
    QTest::newRow("an encoder this ffmpeg lacks") << QByteArray() << u"wma"_s << false
                                                  << u"no encoder available for wmav2"_s;
    // Exit 0 is not taken on trust: the written file is read back first.
    const QByteArray write = lastArg + QFile::encodeName(test::ffmpegExecutable())
            + " -v error -y -f lavfi -i sine=d=1 ";
    QTest::newRow("disk full, yet exit 0")
            << QByteArray(write + "-c:a flac \"$last\"\necho 'Error writing trailer: No space left on device' >&2")
            << QString() << true << u"no space left on device"_s;
    QTest::newRow("too short, without a word") << QByteArray(write + "-c:a flac \"$last\"") << QString() << true
                                               << u"written file is 1.0 s long, 2.3 s was planned - original kept"_s;
    QTest::newRow("another codec written") << QByteArray(write + "-c:a pcm_s16le -f wav \"$last\"") << QString()
                                           << false
                                           << u"written file has pcm_s16le 44100 Hz 1 ch, not flac 44100 Hz 1 ch - "
                                              u"original kept"_s;
}

void tst_TrimApply::failuresLoseNothing()
{
    QFETCH(QByteArray, fakeFfmpeg);
    QFETCH(QString, obstacle);
    QFETCH(bool, inPlace);
    QFETCH(QString, message);

    const QString input = obstacle == u"wma"
            ? source(u"legacy.wma"_s, {}, { u"-c:a"_s, u"wmav2"_s })
            : source(u"precious.flac"_s);
    const QByteArray before = test::sha256(input);
    Settings settings = m_measure;
    settings.outputMode = inPlace ? OutputMode::InPlace : OutputMode::Mirror;
    settings.trimMethod = obstacle == u"wma" ? TrimMethod::ReEncode : TrimMethod::StreamCopy;
    QueueItem item;
    item.path = input;
    item.outputPath = inPlace ? input : m_dir.filePath(u"out/deeper/"_s + QFileInfo(input).fileName());
    QVERIFY(TrimEngine::plan(item, settings, test::systemTools(), {}, {}).ok());

    QString named;
    if (obstacle == u"file-for-folder") {
        QFile blocker(m_dir.filePath(u"out"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        named = m_dir.filePath(u"out/deeper"_s);
    } else if (obstacle == u"folder-for-backup") {
        QVERIFY(QDir().mkpath(input + u".bak/inside"_s));
        named = input + u".bak"_s;
    } else if (obstacle == u"folder-for-output") {
        QVERIFY(QDir().mkpath(item.outputPath + u"/inside"_s));
        named = item.outputPath;
    }
    ToolPaths tools = test::systemTools();
    if (!fakeFfmpeg.isEmpty())
        tools.ffmpeg = test::writeFakeTool(m_cache.path(), u"fake-ffmpeg"_s, fakeFfmpeg);
    if (obstacle == u"wma")
        tools.encoders = QStringList{ u"aac"_s, u"flac"_s }; // as an ffmpeg built without wmav2 lists them

    QElapsedTimer clock;
    clock.start();
    const StepResult result =
            TrimEngine::apply(item, settings, tools, [&] { return obstacle == u"stop" && clock.elapsed() > 300; }, {});
    QVERIFY(!result.ok());
    QCOMPARE(result.message, message.contains(u"%1"_s) ? message.arg(QDir::toNativeSeparators(named)) : message);
    QCOMPARE(test::sha256(input), before);
    QVERIFY2(leftovers().isEmpty(), qPrintable(leftovers().join(u", "_s)));
    if (obstacle == u"wma")
        QVERIFY(!QFileInfo::exists(m_dir.filePath(u"out"_s))); // failed before anything was written
}

void tst_TrimApply::topUpAndExactSettle_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<double>("silence"); // at each end
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("targetMs");
    // Silences shorter than the minimum silence are measured too.
    QTest::newRow("wav, none, top up") << u"wav"_s << 0.0 << int(EndMode::TopUp) << 500;
    QTest::newRow("wav, 0.3 s, top up") << u"wav"_s << 0.3 << int(EndMode::TopUp) << 500;
    QTest::newRow("wav, 0.1 s, exact") << u"wav"_s << 0.1 << int(EndMode::Exact) << 400;
    QTest::newRow("flac, 0.1 s, exact") << u"flac"_s << 0.1 << int(EndMode::Exact) << 250;
    QTest::newRow("flac, 0.3 s, top up") << u"flac"_s << 0.3 << int(EndMode::TopUp) << 500;
    QTest::newRow("flac, 2 s, exact") << u"flac"_s << 2.0 << int(EndMode::Exact) << 100;
}

void tst_TrimApply::topUpAndExactSettle()
{
    QFETCH(QString, suffix);
    QFETCH(double, silence);
    QFETCH(int, mode);
    QFETCH(int, targetMs);
    test::ToneSpec spec;
    spec.leadSec = spec.tailSec = silence;
    QueueItem item;
    item.path = source(u"settle."_s + suffix, spec);
    item.outputPath = m_dir.filePath(u"out/settle."_s + suffix);
    Settings settings; // the shipped minimum silence of 0.5 s
    settings.headMode = settings.tailMode = EndMode(mode);
    settings.headTargetMs = settings.tailTargetMs = targetMs;
    QVERIFY(planAndApply(item, settings).ok());

    QueueItem again;
    again.path = item.outputPath;
    QVERIFY(TrimEngine::plan(again, settings, test::systemTools(), {}, {}).ok());
    const double sample = 1.0 / spec.sampleRate;
    const QString measured = u"head %1, tail %2"_s.arg(again.headSec, 0, 'f', 6).arg(again.tailSec, 0, 'f', 6);
    QVERIFY2(qAbs(again.headSec - targetMs / 1000.0) <= 1.5 * sample, qPrintable(measured));
    QVERIFY2(qAbs(again.tailSec - targetMs / 1000.0) <= 1.5 * sample, qPrintable(measured));
    QCOMPARE(again.headChangeSec, 0.0); // a second run changes nothing
    QCOMPARE(again.tailChangeSec, 0.0);
}

void tst_TrimApply::damagedAudioIsRefused_data()
{
    QTest::addColumn<int>("keptPercent"); // of the file, the rest overwritten with noise
    QTest::addColumn<QString>("message");
    QTest::newRow("decoding stops early") << 10 << u"damaged audio: decoding stopped at 1.0 s of 10.0 s"_s;
    QTest::newRow("nothing decodes") << 0 << u"no decodable audio"_s;
}

void tst_TrimApply::damagedAudioIsRefused()
{
    QFETCH(int, keptPercent);
    test::ToneSpec spec;
    spec.toneSec = 8.0; // 10 s in all
    const QString path = source(u"damaged.mp3"_s, spec);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    // Past the first frame's header when nothing is to decode.
    const qsizetype from = keptPercent > 0 ? bytes.size() * keptPercent / 100 : bytes.indexOf("\xff\xfb") + 4;
    quint32 noise = 2463534242u;
    for (qsizetype i = from; i < bytes.size(); ++i) {
        noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
        bytes[i] = char(noise);
    }
    QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
    file.close();

    QueueItem item;
    item.path = path;
    Settings settings = m_measure;
    settings.headMode = settings.tailMode = EndMode::TopUp; // would otherwise write pure silence
    const StepResult planned = TrimEngine::plan(item, settings, test::systemTools(), {}, {});
    QVERIFY(!planned.ok());
    QFETCH(QString, message);
    QCOMPARE(planned.message.left(35), message.left(35)); // where exactly the noise stops decoding varies
}

void tst_TrimApply::fullDiskKeepsTheOriginal()
{
    const QString disk = m_dir.filePath(u"small-disk"_s);
    QVERIFY(QDir().mkpath(disk));
    const QString input = source(u"small-disk/nearly full.wav"_s); // 5 s, 441 kB
    const QByteArray before = test::sha256(input);
    // A disk with room for the original but not for it and its new copy.
    QTemporaryDir stash;
    QVERIFY(QFile::copy(input, stash.filePath(u"a.wav"_s)));
    QFile::remove(input);
    if (QProcess::execute(u"mount"_s, { u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=560k"_s, u"tmpfs"_s, disk }) != 0)
        QSKIP("mounting a small tmpfs needs root");
    const auto unmount = qScopeGuard([&] { QProcess::execute(u"umount"_s, { disk }); });
    QFile stashed(stash.filePath(u"a.wav"_s));
    QVERIFY2(stashed.copy(input), qPrintable(stashed.errorString()));

    Settings settings = m_measure;
    settings.outputMode = OutputMode::InPlace;
    settings.makeBackup = false;
    settings.trimMethod = TrimMethod::ReEncode;
    QueueItem item;
    item.path = item.outputPath = input;
    const StepResult result = planAndApply(item, settings);
    QVERIFY(!result.ok());
    QCOMPARE(result.message, u"no space left on device"_s);
    QCOMPARE(test::sha256(input), before);
    QCOMPARE(QDir(disk).entryList(QDir::Files | QDir::Hidden), QStringList{ u"nearly full.wav"_s });
}

QTEST_GUILESS_MAIN(tst_TrimApply)
#include "tst_trimapply.moc"
