#include "audiofixture.h"
#include "codectable.h"
#include "faketool.h"
#include "filechecks.h"
#include "mediaprobe.h"
#include "queueitem.h"
#include "settings.h"
#include "trimengine.h"

#include <QJsonArray>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>
#include <unistd.h>

using namespace ks;
using namespace Qt::StringLiterals;

// The plan's arithmetic and argument lists, then real files rewritten by the
// real ffmpeg and measured again.
class tst_TrimApply : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_dir.emplace(); }
    void judge_data();
    void judge();
    void ffmpegArguments_data();
    void ffmpegArguments();
    void everyFormatReachesItsTargets_data();
    void everyFormatReachesItsTargets();
    void inPlaceKeepsWhatMatters_data();
    void inPlaceKeepsWhatMatters();
    void failuresLoseNothing_data();
    void failuresLoseNothing();

private:
    QString source(const QString &name, const test::ToneSpec &spec = {}, const QStringList &extra = {},
                   const QStringList &inputs = {});

    std::optional<QTemporaryDir> m_dir; // one per case
    QTemporaryDir m_cache;
};

namespace {

// Plans and writes `path` to `output`, or over itself without one.
StepResult trim(QueueItem &item, const Settings &settings, const QString &path, const QString &output = {})
{
    item.path = path;
    item.outputPath = output.isEmpty() ? path : output;
    const StepResult planned = TrimEngine::plan(item, settings, test::systemTools(), {}, {});
    return !planned.ok() || planned.skipped() ? planned : TrimEngine::apply(item, settings, test::systemTools(), {}, {});
}

QJsonObject probe(const QString &path)
{
    return QJsonDocument::fromJson(test::runFfprobe({ u"-v"_s, u"error"_s, u"-show_format"_s, u"-show_streams"_s,
                                                      u"-show_chapters"_s, u"-of"_s, u"json"_s, path }))
            .object();
}

} // namespace

// Generated once per shape, then copied for each case.
QString tst_TrimApply::source(const QString &name, const test::ToneSpec &spec, const QStringList &extra,
                             const QStringList &inputs)
{
    const QString cached = m_cache.filePath(u"%1-%2-%3-%4-%5.%6"_s.arg(spec.leadSec).arg(spec.toneSec).arg(spec.tailSec)
                                                    .arg(spec.channels).arg(qHash((extra + inputs).join(u'|')))
                                                    .arg(QFileInfo(name).suffix()));
    if (!QFile::exists(cached)) {
        if (const QString error = test::makeAudio(cached, spec, extra, inputs); !error.isEmpty())
            qWarning("%s", qPrintable(error));
    }
    const QString target = m_dir->filePath(name);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::copy(cached, target);
    QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

void tst_TrimApply::judge_data()
{
    QTest::addColumn<int>("mode"); // of both ends
    QTest::addColumn<double>("head");
    QTest::addColumn<double>("tail"); // -1: silent end to end
    QTest::addColumn<int>("targetMs");
    QTest::addColumn<double>("duration");
    QTest::addColumn<QString>("message");
    QTest::addColumn<double>("newDuration");
    // A change of exactly the 5 ms tolerance is made, a hair less is not; the
    // safety limit is the shipped 900 s.
    QTest::newRow("cut back by the tolerance, not a hair under") << 1 << 0.505 << 0.5049 << 500 << 10.0 << QString()
                                                                 << 9.995;
    QTest::newRow("cut back never adds") << 1 << 0.1 << 0.0 << 500 << 10.0 << QString() << 10.0;
    QTest::newRow("cut back leaves an end under the minimum silence") << 1 << 0.3 << 0.7 << 100 << 10.0 << QString()
                                                                      << 9.4;
    QTest::newRow("top up from nothing, never removes") << 2 << 0.0 << 0.8 << 500 << 10.0 << QString() << 10.5;
    QTest::newRow("top up by exactly the tolerance") << 2 << 0.145 << 0.2 << 150 << 10.0 << QString() << 10.005;
    QTest::newRow("exact both ways") << 3 << 1.2 << 0.1 << 250 << 10.0 << QString() << 9.2;
    QTest::newRow("leave alone") << 0 << 3.0 << 3.0 << 150 << 10.0 << QString() << 10.0;
    QTest::newRow("removal exactly the limit") << 1 << 600.0 << 300.0 << 0 << 1000.0 << QString() << 100.0;
    QTest::newRow("removal over the limit") << 1 << 600.0 << 300.5 << 0 << 1000.0
                                            << u"would remove 900.5 s, over the 900 s safety limit"_s << 99.5;
    QTest::newRow("added silence never counts") << 2 << 0.0 << 0.0 << 1000000 << 30.0 << QString() << 2030.0;
    QTest::newRow("exactly 0.05 s left") << 1 << 1.0 << 0.95 << 0 << 2.0 << u"nothing would be left after the trim"_s
                                         << 0.05;
    QTest::newRow("a little more left") << 1 << 1.0 << 0.94 << 0 << 2.0 << QString() << 0.06;
    QTest::newRow("silent end to end") << 3 << 0.0 << -1.0 << 0 << 4.0 << u"file is silent end to end - left alone"_s
                                       << 4.0;
}

void tst_TrimApply::judge()
{
    QFETCH(int, mode);
    QFETCH(double, head);
    QFETCH(double, tail);
    QFETCH(int, targetMs);
    QFETCH(QString, message);
    Settings settings;
    settings.headMode = settings.tailMode = EndMode(mode);
    settings.headTargetMs = settings.tailTargetMs = targetMs;
    SilenceAnalyzer::Result silence;
    silence.ok = true;
    silence.silentThroughout = tail < 0;
    silence.headSec = head;
    silence.tailSec = std::max(tail, 0.0);
    QueueItem item;
    QFETCH(double, duration);
    item.durationSec = duration;

    const StepResult result = TrimEngine::judge(item, silence, settings);
    QCOMPARE(result.ok(), message.isEmpty() || silence.silentThroughout);
    QCOMPARE(result.skipped(), silence.silentThroughout);
    QCOMPARE(result.message, message);
    // The plan stays in the item even when it is refused.
    QFETCH(double, newDuration);
    QVERIFY2(qAbs(item.newDurationSec - newDuration) < 1e-9, qPrintable(QString::number(item.newDurationSec, 'g', 17)));
}

void tst_TrimApply::ffmpegArguments_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("codec"); // of the source; none: a stream copy
    QTest::addColumn<int>("bitRate");
    QTest::addColumn<double>("head"); // the plan's changes to a 20 s file
    QTest::addColumn<double>("tail");
    QTest::addColumn<QString>("ending"); // of the list, split at spaces
    QTest::newRow("a stream copy, the whole list")
            << u"/out/song.mp3"_s << QString() << 0 << -1.25 << -0.5
            << u"-hide_banner -nostdin -nostats -y -loglevel error -progress pipe:1 -ss 1.250 -t 18.250 -i /in/a.x "
               "-map 0:a:0 -map 0:v? -map -0:V? -map_metadata 0 -c:a copy -c:v copy -id3v2_version 3 -t 18.250000 "
               "/out/.song.kstmp.mp3"_s;
    QTest::newRow("flac padded at both ends")
            << u"/o/Song.live.flac"_s << u"flac"_s << 900000 << 0.3 << 1.0
            << u"-map_metadata 0 -af adelay=300:all=1,apad=pad_dur=1.000 -c:a flac -ar 48000 -ac 2 -c:v copy "
               "-t 21.300000 /o/.Song.live.kstmp.flac"_s;
    QTest::newRow("mp3 at its rate, half a millisecond rounds up")
            << u"/o/SONG.MP3"_s << u"mp3"_s << 128000 << 0.0125 << -0.5
            << u"-af adelay=13:all=1 -c:a libmp3lame -b:a 128k -ar 48000 -ac 2 -c:v copy -id3v2_version 3 "
               "-t 19.512500 /o/.SONG.kstmp.MP3"_s;
    // Rates the encoders would refuse are never passed to them; Ogg cannot
    // carry pictures, and mapping one would fail the file.
    QTest::newRow("mp3 from a VBR source by quality") << u"/o/a.mp3.wav"_s << u"mp3"_s << 212256 << -1.0 << 0.0
            << u"-c:a libmp3lame -q:a 2 -ar 48000 -ac 2 -c:v copy -t 19.000000 /o/.a.mp3.kstmp.wav"_s;
    QTest::newRow("vorbis by quality, never its bit rate") << u"/o/-x.OGG"_s << u"vorbis"_s << 212256 << -1.0 << 0.0
            << u"-i /in/a.x -map 0:a:0 -map_metadata 0 -c:a libvorbis -q:a 6 -ar 48000 -ac 2 -t 19.000000 /o/.-x.kstmp.OGG"_s;
    QTest::newRow("opus within what libopus takes") << u"/o/a.opus"_s << u"opus"_s << 900000 << -1.0 << 0.0
            << u"-c:a libopus -b:a 512000 -ar 48000 -ac 2 -t 19.000000 /o/.a.kstmp.opus"_s;
    QTest::newRow("ac3 at the nearest rate of its table") << u"/o/a.ac3"_s << u"ac3"_s << 199000 << -1.0 << 0.0
            << u"-c:a ac3 -b:a 192k -ar 48000 -ac 2 -c:v copy -t 19.000000 /o/.a.kstmp.ac3"_s;
}

void tst_TrimApply::ffmpegArguments()
{
    QFETCH(QString, codec);
    QFETCH(int, bitRate);
    QFETCH(double, head);
    QFETCH(double, tail);
    QueueItem item;
    item.durationSec = 20.0;
    item.headChangeSec = head;
    item.tailChangeSec = tail;
    MediaInfo source;
    source.codec = codec;
    source.bitRate = bitRate;
    source.sampleRate = 48000;
    source.channels = 2;
    QFETCH(QString, output);
    const QStringList args = TrimEngine::ffmpegArguments(u"/in/a.x"_s, output, TrimEngine::cutFor(item), source,
                                                         CodecTable::encoderFor(codec));
    QFETCH(QString, ending);
    const QStringList expected = ending.split(u' ');
    QCOMPARE(args.mid(args.size() - expected.size()), expected);
}

void tst_TrimApply::everyFormatReachesItsTargets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("encode"); // how the source is written beyond its suffix's codec, split at spaces
    QTest::addColumn<test::ToneSpec>("spec");
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<QString>("video"); // "cover", "clip" (a real video, left out) or none
    QTest::addColumn<bool>("reencoded");
    QTest::addColumn<double>("tolerance"); // of each end measured again and of the decoded length
    const auto ends = [](EndMode mode, int ms, TrimMethod method = TrimMethod::StreamCopy) {
        Settings settings;
        settings.headMode = settings.tailMode = mode;
        settings.headTargetMs = settings.tailTargetMs = ms;
        settings.trimMethod = method;
        return settings;
    };
    const Settings cut; // 150 ms at each end, a stream copy asked for
    Settings both = ends(EndMode::Exact, 400, TrimMethod::ReEncode);
    both.tailTargetMs = 2600;
    Settings padded = ends(EndMode::TopUp, 2500);
    padded.headMode = EndMode::LeaveAlone;
    const test::ToneSpec stereo{ 1.0, 2.0, 2.0, 44100, 2 };
    const double sample = 1.5 / 44100;
    // A WAV or AIFF copy ends on the demuxer's packet (up to 23 ms), mp3 on
    // 26 ms frames, AC-3 on 32 ms ones. Silences under the minimum silence
    // are measured too, so top up and exact settle to the sample.
    QTest::newRow("wav copied") << u"a.wav"_s << QString() << stereo << cut << QString() << false << 0.025;
    QTest::newRow("wav without silence, topped up") << u"b.wav"_s << QString() << test::ToneSpec{ 0, 2, 0 }
                                                    << ends(EndMode::TopUp, 500) << QString() << true << sample;
    QTest::newRow("wav with 0.3 s ends, topped up") << u"c.wav"_s << QString() << test::ToneSpec{ 0.3, 2, 0.3 }
                                                    << ends(EndMode::TopUp, 500) << QString() << true << sample;
    QTest::newRow("flac with 0.1 s ends, set exactly") << u"b.flac"_s << QString() << test::ToneSpec{ 0.1, 2, 0.1 }
                                                       << ends(EndMode::Exact, 250) << QString() << true << sample;
    QTest::newRow("flac with 2 s ends, set exactly") << u"c.flac"_s << QString() << test::ToneSpec{ 2, 2, 2 }
                                                     << ends(EndMode::Exact, 100) << QString() << true << sample;
    QTest::newRow("flac re-encoded for a copy, cover kept") << u"a.flac"_s << QString() << stereo << cut << u"cover"_s
                                                            << true << 0.002;
    QTest::newRow("mp3 copied, cover kept") << u"a.mp3"_s << QString() << stereo << cut << u"cover"_s << false << 0.06;
    QTest::newRow("mp3 re-encoded both ways") << u"b.mp3"_s << QString() << stereo << both << QString() << true << 0.06;
    QTest::newRow("m4a copied, a real video left out") << u"a.m4a"_s << QString() << stereo << cut << u"clip"_s
                                                       << false << 0.01;
    QTest::newRow("m4a head left alone, tail padded, cover kept") << u"b.m4a"_s << QString() << stereo << padded
                                                                  << u"cover"_s << true << 0.01;
    QTest::newRow("m4b chapters and cover") << u"a.m4b"_s << u"-c:a aac"_s << stereo << cut << u"cover"_s << false
                                            << 0.01;
    QTest::newRow("aiff, its cover in an ID3 chunk") << u"a.aiff"_s << u"-write_id3v2 1"_s << stereo << cut
                                                     << u"cover"_s << false << 0.025;
    // Each re-encoded with its own encoder where a copy would not cut, and
    // written with a muxer that takes it.
    QTest::newRow("opus") << u"a.opus"_s << u"-c:a libopus"_s << stereo << cut << QString() << true << 0.01;
    QTest::newRow("wavpack") << u"a.wv"_s << u"-c:a wavpack"_s << stereo << cut << QString() << true << 0.002;
    QTest::newRow("wma, whose decoder primes") << u"a.wma"_s << u"-c:a wmav2"_s << stereo << cut << QString() << true
                                               << 0.1;
    QTest::newRow("ac-3 copied") << u"a.ac3"_s << u"-c:a ac3"_s << stereo << cut << QString() << false << 0.04;
    QTest::newRow("flac in m4a") << u"c.m4a"_s << u"-c:a flac -strict -2 -f mp4"_s << stereo << cut << QString()
                                 << true << 0.002;
    // libvorbis at 96 kHz loses half a second of the generated head.
    QTest::newRow("vorbis at 96 kHz, a suffix ffmpeg does not know")
            << u"a.oggx"_s << u"-c:a libvorbis -ar 96000 -f ogg"_s << test::ToneSpec{ 1.5, 2, 2.5, 44100, 2 } << cut
            << QString() << true << 0.01;
}

void tst_TrimApply::everyFormatReachesItsTargets()
{
    QFETCH(QString, name);
    QFETCH(QString, encode);
    QFETCH(test::ToneSpec, spec);
    QFETCH(Settings, settings);
    QFETCH(QString, video);
    QFETCH(double, tolerance);
    QStringList args = encode.split(u' ', Qt::SkipEmptyParts);
    args << u"-metadata"_s << u"title=Ünder the \"Sky\""_s << u"-metadata"_s << u"REPLAYGAIN_TRACK_GAIN=-6.5 dB"_s;
    if ((name.endsWith(u"m4a"_s) || name.endsWith(u"m4b"_s)) && video != u"cover")
        args << u"-movflags"_s << u"use_metadata_tags"_s; // this ffmpeg writes no MP4 cover beside them
    QStringList inputs;
    if (!video.isEmpty()) {
        const bool cover = video == u"cover";
        inputs << u"-f"_s << u"lavfi"_s << u"-i"_s
               << (cover ? u"color=c=red:s=32x32:d=1"_s : u"testsrc=size=64x48:rate=10:duration=5"_s);
        args << (cover ? u"-map 0:a -map 1:v -frames:v 1 -c:v png -disposition:v attached_pic"_s
                       : u"-map 0:a -map 1:v -c:v mpeg4"_s).split(u' ');
    }
    if (name.endsWith(u"m4b"_s)) {
        // After the cut the third chapter ends with the file and the fourth is gone.
        QFile meta(m_cache.filePath(u"chapters.txt"_s));
        QVERIFY(meta.open(QIODevice::WriteOnly) && meta.write(";FFMETADATA1\n"));
        for (int i = 0; i < 4; ++i)
            meta.write(u"[CHAPTER]\nTIMEBASE=1/1000\nSTART=%1\nEND=%2\ntitle=%1\n"_s.arg(i * 1250).arg(i * 1250 + 1250).toUtf8());
        inputs << u"-i"_s << meta.fileName();
        args << u"-map_chapters"_s << u"2"_s;
    }
    const QString input = source(u"in/"_s + name, spec, args, inputs);
    const QByteArray before = test::sha256(input);
    const QJsonObject original = probe(input);

    QueueItem item;
    const StepResult result = trim(item, settings, input, m_dir->filePath(u"out/sub/"_s + name));
    QVERIFY2(result.ok() && !result.skipped(), qPrintable(result.message));
    QTEST(item.reencoded, "reencoded");
    QCOMPARE(test::sha256(input), before); // mirrored: the source is untouched
    QVERIFY(test::temporaryFiles(m_dir->path()).isEmpty());

    // Measured again as the program measures, and decoded as a player would.
    QueueItem again;
    again.path = item.outputPath;
    QVERIFY(TrimEngine::plan(again, settings, test::systemTools(), {}, {}).ok());
    const double headAfter = settings.headMode == EndMode::LeaveAlone ? spec.leadSec : settings.headTargetMs / 1000.0;
    const double decoded = test::decodedSeconds(item.outputPath);
    const QString measured = u"head %1, tail %2, decoded %3 of %4"_s.arg(again.headSec, 0, 'f', 6)
                                     .arg(again.tailSec, 0, 'f', 6).arg(decoded, 0, 'f', 6).arg(item.newDurationSec);
    QVERIFY2(qAbs(again.headSec - headAfter) <= tolerance, qPrintable(measured));
    QVERIFY2(qAbs(again.tailSec - settings.tailTargetMs / 1000.0) <= tolerance, qPrintable(measured));
    QVERIFY2(qAbs(decoded - item.newDurationSec) <= qMax(tolerance, 0.001), qPrintable(measured));
    if (tolerance < TrimEngine::Tolerance) // a second identical run changes nothing
        QCOMPARE(again.headChangeSec + again.tailChangeSec, 0.0);

    // Tags, cover art and chapters, read as Ogg keeps tags too: on the stream.
    const QJsonObject written = probe(item.outputPath);
    const auto tags = [](const QJsonObject &probed) {
        QVariantMap all;
        for (const QJsonValue &from : { probed[u"format"][u"tags"], probed[u"streams"][0][u"tags"] })
            for (const QString &key : from.toObject().keys())
                all.insert(key.toLower(), from[key].toString());
        return all;
    };
    QCOMPARE(tags(written).value(u"title"_s), tags(original).value(u"title"_s));
    QCOMPARE(tags(written).value(u"replaygain_track_gain"_s), tags(original).value(u"replaygain_track_gain"_s));
    const auto videos = [](const QJsonObject &probed) { // as "streams pictures"
        int streams = 0, pictures = 0;
        for (const QJsonValue &stream : probed.value(u"streams").toArray()) {
            streams += stream[u"codec_type"].toString() == u"video";
            pictures += stream[u"disposition"][u"attached_pic"].toInt();
        }
        return u"%1 %2"_s.arg(streams).arg(pictures);
    };
    QCOMPARE(videos(original), video.isEmpty() ? u"0 0"_s : video == u"cover" ? u"1 1"_s : u"1 0"_s);
    QCOMPARE(videos(written), video == u"cover" ? u"1 1"_s : u"0 0"_s);
    if (name.endsWith(u"m4b"_s)) {
        const QJsonArray chapters = written.value(u"chapters").toArray();
        QCOMPARE(chapters.size(), 3);
        QVERIFY(qAbs(chapters.at(1)[u"start_time"].toString().toDouble() - (1.25 - 0.85)) < 0.01);
        QVERIFY(chapters.at(2)[u"end_time"].toString().toDouble() <= item.newDurationSec + 0.02);
    }
}

void tst_TrimApply::inPlaceKeepsWhatMatters_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("keepMtime");
    QTest::addColumn<bool>("earlierBackup");
    QTest::addColumn<bool>("throughLink"); // a symbolic link named directly
    QTest::newRow("mp3, time kept, a first backup") << u"mp3"_s << true << false << false;
    QTest::newRow("flac through a link, an earlier backup, time not kept") << u"flac"_s << false << true << true;
}

// In place the file stays its owner's and private, its backup is the first
// copy ever made, and a link named directly stays a link to the trimmed file.
void tst_TrimApply::inPlaceKeepsWhatMatters()
{
    QFETCH(QString, suffix);
    QFETCH(bool, keepMtime);
    QFETCH(bool, earlierBackup);
    QFETCH(bool, throughLink);
    const QString file = source(u"keep me."_s + suffix);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    if (::geteuid() == 0)
        QCOMPARE(::chown(QFile::encodeName(file).constData(), 65534, 65534), 0);
    const QDateTime old(QDate(2021, 5, 1), QTime(8, 30, 15));
    QFile opened(file);
    QVERIFY(opened.open(QIODevice::ReadWrite) && opened.setFileTime(old, QFileDevice::FileModificationTime));
    QFile older(file + u".bak"_s);
    QVERIFY(!earlierBackup || (older.open(QIODevice::WriteOnly) && older.write("an older backup") && older.flush()));
    const QByteArray original = test::sha256(file);
    const QByteArray backup = test::sha256(earlierBackup ? older.fileName() : file);
    const QFileInfo owner(file);
    const QString named = throughLink ? m_dir->filePath(u"link."_s + suffix) : file;
    QVERIFY(!throughLink || QFile::link(file, named));

    Settings settings;
    settings.outputMode = OutputMode::InPlace;
    settings.keepMtime = keepMtime;
    QueueItem item;
    const StepResult first = trim(item, settings, named);
    QVERIFY2(first.ok(), qPrintable(first.message));
    QCOMPARE(first.message, earlierBackup ? u"kept the existing backup"_s : QString());
    const QByteArray once = test::sha256(file);
    QVERIFY(once != original);
    // A second run that changes the file again keeps the first backup.
    settings.headMode = EndMode::Exact;
    settings.headTargetMs = 50;
    QVERIFY(trim(item, settings, named).ok());
    QVERIFY(test::sha256(file) != once);
    QCOMPARE(test::sha256(file + u".bak"_s), backup);
    QCOMPARE(QFileInfo(file).ownerId(), owner.ownerId());
    QCOMPARE(QFileInfo(file).groupId(), owner.groupId());
    QVERIFY(!(QFile::permissions(file) & (QFile::ReadGroup | QFile::ReadOther)));
    QCOMPARE(QFileInfo(file).lastModified() == old, keepMtime);
    QCOMPARE(QFileInfo(named).symLinkTarget(), throughLink ? file : QString());
    QVERIFY(test::temporaryFiles(m_dir->path()).isEmpty());
}

void tst_TrimApply::failuresLoseNothing_data()
{
    QTest::addColumn<QByteArray>("fakeFfmpeg"); // empty: the real one
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<QString>("message"); // %1: the path the message names

    const QByteArray lastArg = "for last; do :; done\n";
    QTest::newRow("ffmpeg's reason, not its generic line")
            << QByteArray("echo '[aac @ 0x55] the reason' >&2\necho '  Conversion failed!  ' >&2\nexit 1") << QString()
            << true << u"the reason"_s;
    QTest::newRow("ffmpeg fails without a word") << QByteArray("exit 1") << QString() << true << u"ffmpeg failed"_s;
    QTest::newRow("ffmpeg writes an empty file") << QByteArray(lastArg + ": > \"$last\"") << QString() << false
                                                 << u"ffmpeg produced no output"_s;
    QTest::newRow("stopped mid-run") << QByteArray(lastArg + "echo partial > \"$last\"\nexec sleep 20") << u"stop"_s
                                     << true << u"cancelled"_s;
    QTest::newRow("a file where the folder should be") << QByteArray() << u"file-for-folder"_s << false
                                                       << u"cannot create %1"_s;
    QTest::newRow("a folder at the backup path") << QByteArray() << u"folder-for-backup"_s << true
                                                 << u"cannot write backup %1"_s;
    QTest::newRow("the output path is a folder with files") << QByteArray() << u"folder-for-output"_s << false
                                                            << u"cannot replace %1"_s;
    QTest::newRow("a read-only file") << QByteArray() << u"read-only"_s << true << u"file is read-only"_s;
    QTest::newRow("an encoder this ffmpeg lacks") << QByteArray() << u"legacy.wma"_s << false
                                                  << u"no encoder available for wmav2"_s;
    QTest::newRow("padding that a copy cannot do") << QByteArray() << u"pad"_s << true
                                                   << u"needs 1.00 s of silence added, which a stream copy cannot do"_s;
    // Where exactly the noise stops decoding varies.
    QTest::newRow("damaged audio") << QByteArray() << u"damaged.mp3"_s << true
                                   << u"damaged audio: decoding stopped at 1."_s;
    QTest::newRow("no decodable audio") << QByteArray() << u"undecodable.mp3"_s << true << u"no decodable audio"_s;
    // Exit 0 is not taken on trust: the written file is read back first.
    const QByteArray write = lastArg + QFile::encodeName(test::ffmpegExecutable())
            + " -v error -y -f lavfi -i sine=d=1 ";
    QTest::newRow("disk full, yet exit 0")
            << QByteArray(write + "-c:a flac \"$last\"\necho 'Error writing trailer: No space left on device' >&2")
            << QString() << true << u"no space left on device"_s;
    QTest::newRow("a real full disk") << QByteArray() << u"nearly full.wav"_s << true << u"no space left on device"_s;
    QTest::newRow("too short, without a word") << QByteArray(write + "-c:a flac \"$last\"") << QString() << true
                                               << u"written file is 1.0 s long, 2.3 s was planned - original kept"_s;
    QTest::newRow("another codec written")
            << QByteArray(write + "-c:a pcm_s16le -f wav \"$last\"") << QString() << false
            << u"written file has pcm_s16le 44100 Hz 1 ch, not flac 44100 Hz 1 ch - original kept"_s;
}

void tst_TrimApply::failuresLoseNothing()
{
    QFETCH(QByteArray, fakeFfmpeg);
    QFETCH(QString, obstacle);
    QFETCH(bool, inPlace);
    QFETCH(QString, message);
    // A small disk with room for the original but not for it and its new copy.
    const QString disk = m_dir->filePath(u"small-disk"_s);
    const bool fullDisk = obstacle.startsWith(u"nearly full"_s);
    if (fullDisk && (!QDir().mkpath(disk)
                     || QProcess::execute(u"mount"_s, { u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=560k"_s, u"tmpfs"_s, disk })))
        QSKIP("mounting a small tmpfs needs root");
    const auto unmount = qScopeGuard([&] {
        if (fullDisk)
            QProcess::execute(u"umount"_s, { disk });
    });
    test::ToneSpec spec;
    spec.toneSec = obstacle.endsWith(u".mp3"_s) ? 8.0 : spec.toneSec;
    const QString input = obstacle.endsWith(u".wma"_s) ? source(obstacle, {}, { u"-c:a"_s, u"wmav2"_s })
            : fullDisk ? source(u"small-disk/"_s + obstacle) // 5 s of wav, 441 kB
            : obstacle.contains(u'.') ? source(obstacle, spec) : source(u"precious.flac"_s);
    if (obstacle.endsWith(u".mp3"_s)) {
        // Noise from 10 % on, or from just past the first frame's header.
        QFile file(input);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        quint32 noise = 2463534242u;
        for (qsizetype i = obstacle.startsWith(u"damaged"_s) ? bytes.size() / 10 : bytes.indexOf("\xff\xfb") + 4;
             i < bytes.size(); ++i) {
            noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
            bytes[i] = char(noise);
        }
        QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
    }
    const QByteArray before = test::sha256(input);
    Settings settings;
    settings.outputMode = inPlace ? OutputMode::InPlace : OutputMode::Mirror;
    if (obstacle == u"pad") {
        settings.headMode = EndMode::TopUp;
        settings.headTargetMs = 2000;
        settings.padFallback = PadFallback::Skip;
    }
    QueueItem item;
    item.path = input;
    item.outputPath = inPlace ? input : m_dir->filePath(u"out/deeper/"_s + QFileInfo(input).fileName());
    StepResult result = TrimEngine::plan(item, settings, test::systemTools(), {}, {});

    QString named;
    if (obstacle == u"file-for-folder") {
        QFile blocker(m_dir->filePath(u"out"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        named = m_dir->filePath(u"out/deeper"_s);
    } else if (obstacle == u"folder-for-backup") {
        QVERIFY(QDir().mkpath(input + u".bak/inside"_s));
        named = input + u".bak"_s;
    } else if (obstacle == u"folder-for-output") {
        QVERIFY(QDir().mkpath(item.outputPath + u"/inside"_s));
        named = item.outputPath;
    } else if (obstacle == u"read-only") {
        QFile::setPermissions(input, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    ToolPaths tools = test::systemTools();
    if (!fakeFfmpeg.isEmpty())
        tools.ffmpeg = test::writeFakeTool(m_cache.path(), u"fake-ffmpeg"_s, fakeFfmpeg);
    if (obstacle.endsWith(u".wma"_s))
        tools.encoders = QStringList{ u"aac"_s, u"flac"_s }; // as an ffmpeg built without wmav2 lists them
    QElapsedTimer clock;
    clock.start();
    if (result.ok())
        result = TrimEngine::apply(item, settings, tools, [&] { return obstacle == u"stop" && clock.elapsed() > 300; }, {});
    QCOMPARE(result.ok(), obstacle == u"pad");
    QCOMPARE(result.skipped(), obstacle == u"pad");
    // Compared as far as the expected text goes.
    const QString expected = message.contains(u"%1"_s) ? message.arg(QDir::toNativeSeparators(named)) : message;
    QCOMPARE(result.message.left(expected.size()), expected);
    QCOMPARE(test::sha256(input), before);
    QVERIFY2(test::temporaryFiles(m_dir->path()).isEmpty(), qPrintable(test::temporaryFiles(m_dir->path()).join(u", "_s)));
    QCOMPARE(QFileInfo::exists(input + u".bak"_s), obstacle == u"folder-for-backup");
    QVERIFY(inPlace || !QFileInfo(item.outputPath).isFile());
    if (obstacle.endsWith(u".wma"_s))
        QVERIFY(!QFileInfo::exists(m_dir->filePath(u"out"_s))); // refused before anything was written
}

QTEST_GUILESS_MAIN(tst_TrimApply)
#include "tst_trimapply.moc"
