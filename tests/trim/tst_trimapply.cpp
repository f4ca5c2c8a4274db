#include "backups.h"
#include "codectable.h"
#include "fixtures.h"
#include "formattable.h"
#include "mediaprobe.h"
#include "queueitem.h"
#include "rewriteplan.h"
#include "settings.h"
#include "sourcecheck.h"
#include "trimengine.h"

#include <QJsonArray>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_TrimApply : public QObject
{
    Q_OBJECT
    std::optional<QTemporaryDir> m_dir; // one per case

private Q_SLOTS:
    void init() { m_dir.emplace(); }
    void rewritePlan_data();
    void rewritePlan();
    void ffmpegArguments_data();
    void ffmpegArguments();
    void everyFormatReachesItsTargets_data();
    void everyFormatReachesItsTargets();
    void inPlaceFailureLosesNothing_data();
    void inPlaceFailureLosesNothing();
    void whatAWrittenFileCouldNotKeep_data();
    void whatAWrittenFileCouldNotKeep();
    void aSourceNotAsPlannedIsLeftAlone_data();
    void aSourceNotAsPlannedIsLeftAlone();
    void anExistingBackupIsTrustedOnlyWhenProven_data();
    void anExistingBackupIsTrustedOnlyWhenProven();
};

namespace {

template<typename... Values>
void row(const char *tag, const Values &...values)
{
    (QTest::newRow(tag) << ... << values);
}

// ffmpeg's arguments, or any list, written as one line.
QStringList words(const char *line)
{
    return QString::fromLatin1(line).split(u' ', Qt::SkipEmptyParts);
}

// Cover art (a red square) and a real video, as inputs after the generated audio and the options mapping them.
const QStringList CoverInput = words("-f lavfi -i color=c=red:s=32x32:d=1");
const QStringList CoverOptions = words("-map 0:a -map 1:v -frames:v 1 -c:v png -disposition:v attached_pic");
const QStringList ClipInput = words("-f lavfi -i testsrc=size=64x48:rate=10:duration=5");
const QStringList ClipOptions = words("-map 0:a -map 1:v -c:v mpeg4 -c:a aac");
// What a row checks besides: the tone's ends to `soundSamples` (-1: not), ffprobe's `entries` as `kept`, chapters.
struct Also
{
    int soundSamples = -1;
    QString entries{}, kept{};
    bool chapters = false, id3Around = false;
    QString source{};                // a lavfi source in place of the tone
    int leastKbps = 0, mostKbps = 0; // of a re-encode, as its packets add up; 0: not checked
    int headMoves = -1;              // 1 or 0: whether the plan changes the head; -1: not checked
};
const QDateTime old(QDate(2021, 5, 1), QTime(8, 30, 15)); // a file long finished

Settings ends(EndMode lead, int leadMs, EndMode tail, int tailMs)
{
    Settings settings;
    settings.leadMode = lead, settings.tailMode = tail;
    settings.leadTargetMs = leadMs, settings.tailTargetMs = tailMs;
    return settings;
}
Settings ends(EndMode mode, int ms)
{
    return ends(mode, ms, mode, ms);
}

// A source as probed: 48 kHz stereo, tagged with a title and an artist or, `freeForm`, a ReplayGain tag.
MediaInfo media(const QString &codec, int bitRate, const QString &format = {}, int pictures = 0, bool freeForm = false)
{
    MediaInfo info;
    info.codec = codec, info.bitRate = bitRate, info.formatName = format, info.pictures = pictures;
    info.sampleRate = 48000, info.channels = 2;
    info.tagKeys = QStringList{ u"title"_s, freeForm ? u"REPLAYGAIN_TRACK_GAIN"_s : u"ARTIST"_s };
    return info;
}

// What a plan is asked; `encoders` as this ffmpeg lists them (empty: never asked).
struct PlanAsked
{
    QString codec;
    double durationSec, headChangeSec, tailChangeSec;
    PadFallback fallback = PadFallback::ReEncode;
    QStringList encoders{};
    TrimMethod method = TrimMethod::StreamCopy;
};

// What it decides; the cut as start, kept, head pad and tail pad in seconds.
struct PlanDecided
{
    StepResult::Kind verdict;
    QString message;
    RewritePlan::Method write;
    QString encoder, reason;
    QList<double> cut;
};

// Plans and writes `path` to `output`, or over itself; the stall limit `stallMs` meets only the write.
StepResult trim(QueueItem &item, const Settings &settings, const QString &path, const QString &output = {},
        const ToolPaths &tools = test::systemTools(), const CancelCallback &stop = {},
        int stallMs = DefaultStallLimitMs)
{
    item.path = path;
    item.outputPath = output.isEmpty() ? path : output;
    MediaInfo probed; // the plan's, as the controller hands it on
    const StepResult planned = TrimEngine::plan(item, settings, test::systemTools(), {}, {}, &probed);
    if (!planned.proceeds())
        return planned;
    setStallLimit(stallMs);
    const auto reset = qScopeGuard([] { setStallLimit(DefaultStallLimitMs); });
    return TrimEngine::apply(item, settings, tools, stop, {}, &probed);
}

QString ownerOf(const QString &path)
{
    const QFileInfo info(path);
    return u"%1:%2"_s.arg(info.ownerId()).arg(info.groupId());
}

// Dates `path`, gives it `permissions` and, as root, another user; returns its owner, empty on failure.
QString ownedElsewhere(const QString &path, const QDateTime &when, QFile::Permissions permissions)
{
    const bool given = ::geteuid() != 0 || ::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
    return given && test::dateBack(path, when) && QFile::setPermissions(path, permissions) ? ownerOf(path) : QString();
}

// An audiobook's four chapters of 1.25 s, as ffmpeg's inputs that add them to a file it makes (as its third input).
QStringList chapterInputs(const QString &folder)
{
    QFile meta(folder + u"/chapters.txt"_s);
    if (!meta.open(QIODevice::WriteOnly) || !meta.write(";FFMETADATA1\n"))
        return {};
    for (int ms = 0; ms < 5000; ms += 1250)
        meta.write(u"[CHAPTER]\nTIMEBASE=1/1000\nSTART=%1\nEND=%2\ntitle=%1\n"_s.arg(ms).arg(ms + 1250).toLatin1());
    return { u"-i"_s, meta.fileName() };
}

// The first and last decoded sample over half the generated peak (1/8), and how many samples in all.
struct Sound
{
    qint64 first = -1, last = -1, count = 0;
};

Sound soundOf(const QString &path)
{
    const QList<float> samples = test::pcmSamples<float>(test::programOutput(test::ffmpegExecutable(),
            QStringList{ u"-v"_s, u"error"_s, u"-i"_s, path } + words("-map 0:a:0 -ac 1 -f f32le -")));
    Sound sound{ -1, -1, samples.size() };
    for (qint64 i = 0; i < samples.size(); ++i) {
        sound.first = sound.first < 0 && std::fabs(samples.at(i)) > 0.0625f ? i : sound.first;
        sound.last = std::fabs(samples.at(i)) > 0.0625f ? i : sound.last;
    }
    return sound;
}

// What happens to a source while it is planned and written.
enum class Meanwhile {
    Nothing,
    ChangedMomentsAgo,      // saved just before the plan
    RecordingFromBefore,    // a recorder appending since before the plan
    RecordingStartsInWrite, // a recorder that starts appending while ffmpeg writes
    NewTakeAfterPlan,       // saved over it after the plan, before the write
    NewTakeBeforeRead,      // renamed over it as ffmpeg starts
    NewTakeWrittenIn,       // written into the same file once ffmpeg is done
    DeletedInWrite,
    HeldByAnotherRun, // locked by a run rewriting it, released after
};

// What stands in the way of an in-place trim (or, for an encoder missing, a mirrored one).
enum class Obstacle {
    FfmpegScript, // a script in ffmpeg's place, the real one at hand as "$FFMPEG"
    CoverScript,  // the same, the source an MP3 with cover art
    StuckScript,  // the same, the runner's limit on a silent child 0.3 s
    FolderAtBackup,
    ReadOnly,
    OverTheLimit,
    EncoderMissing,
    DamagedAudio,
    NoAudio,
    FullDisk,
    Video, // a real video stream beside the audio
    Tiny   // 40 ms of sound, nothing to change
};

// What sits at the backup's name before an in-place trim.
enum class OldBackup { None, Unrelated, FirstTake, OwnEarlierTrim, OwnTrimThenOneWithout };

} // namespace

void tst_TrimApply::rewritePlan_data()
{
    QTest::addColumn<PlanAsked>("asked");
    QTest::addColumn<PlanDecided>("decided");
    using K = StepResult::Kind;
    using W = RewritePlan::Method;
    const auto skip = PadFallback::Skip;
    const QString no, nothingLeft = u"nothing would be left after the trim"_s;
    const auto cannotCut
            = [](const QString &c) { return u" (re-encoded: stream copy cannot cut %1 exactly, with %1)"_s.arg(c); };
    const auto noEncoder = [](const QString &c) { return u"no encoder available for "_s + c; };
    const auto row = [](const char *tag, const PlanAsked &asked, const PlanDecided &decided) {
        QTest::newRow(tag) << asked << decided;
    };
    row("mp3 padded, falling back to a re-encode", { u"mp3"_s, 20, 0.5, -0.25 },
            { K::Done, no, W::ReEncode, u"libmp3lame"_s, u" (re-encoded to add silence, with libmp3lame)"_s,
                    { 0, 19.75, 0.5, 0 } });
    row("mp3 padded at both ends, left alone rather than re-encoded", { u"mp3"_s, 20, 0.3, 0.533, skip },
            { K::Skipped, u"needs 0.83 s of silence added, which a stream copy cannot do"_s, W::StreamCopy, no, no,
                    { 0, 20.0, 0.3, 0.533 } });
    row("a re-encode asked for names only its encoder, padded or not",
            { u"aac"_s, 20, 0.5, 0.5, skip, { u"aac"_s }, TrimMethod::ReEncode },
            { K::Done, no, W::ReEncode, u"aac"_s, u" (re-encoded with aac)"_s, { 0, 20.0, 0.5, 0.5 } });
    // Each written by its own encoder: WMA 1 never by WMA 2's; E-AC-3 cut only by a re-encode.
    row("WMA 1 beside WMA 2", { u"wmav1"_s, 20, -1, 0, PadFallback::ReEncode, { u"wmav2"_s, u"wmav1"_s } },
            { K::Done, no, W::ReEncode, u"wmav1"_s, cannotCut(u"wmav1"_s), { 1.0, 19.0, 0, 0 } });
    row("WMA 1 where only WMA 2 is listed", { u"wmav1"_s, 20, -1, 0, PadFallback::ReEncode, { u"wmav2"_s } },
            { K::Failed, noEncoder(u"wmav1"_s), W::ReEncode, u"wmav1"_s, no, { 1.0, 19.0, 0, 0 } });
    row("E-AC-3, which a copy cannot cut", { u"eac3"_s, 20, -1, -1, PadFallback::ReEncode, { u"ac3"_s, u"eac3"_s } },
            { K::Done, no, W::ReEncode, u"eac3"_s, cannotCut(u"eac3"_s), { 1.0, 18.0, 0, 0 } });
    row("a codec no encoder writes, copied", { u"ape"_s, 20, -1, 0 },
            { K::Done, no, W::StreamCopy, no, no, { 1.0, 19.0, 0, 0 } });
    row("a codec no encoder writes, padded", { u"ape"_s, 20, 0, 0.2 },
            { K::Failed, noEncoder(u"ape"_s), W::ReEncode, no, no, { 0, 20.0, 0, 0.2 } });
    // 50 ms kept is nothing, whatever binary rounding made of it, before any other refusal.
    row("50 ms kept is nothing left", { u"mp3"_s, 1, -0.5, -0.45, skip },
            { K::Failed, nothingLeft, W::StreamCopy, no, no, { 0.5, 0.05, 0, 0 } });
    row("50 ms kept, padded, is nothing left", { u"mp3"_s, 0.55, -0.5, 2, skip },
            { K::Failed, nothingLeft, W::StreamCopy, no, no, { 0.5, 0.05, 0, 2.0 } });
    row("51 ms kept is a file", { u"mp3"_s, 1, -0.5, -0.449, skip },
            { K::Done, no, W::StreamCopy, no, no, { 0.5, 0.051, 0, 0 } });
}

void tst_TrimApply::rewritePlan()
{
    QFETCH(PlanAsked, asked);
    QFETCH(PlanDecided, decided);
    QueueItem item;
    item.durationSec = asked.durationSec, item.headChangeSec = asked.headChangeSec;
    item.tailChangeSec = asked.tailChangeSec;
    Settings settings;
    settings.padFallback = asked.fallback, settings.trimMethod = asked.method;
    const RewritePlan plan = RewritePlan::make(item, settings, media(asked.codec, 0), asked.encoders);
    QCOMPARE(plan.verdict().message, decided.message);
    QCOMPARE(plan.verdict().kind, decided.verdict);
    QCOMPARE(plan.method(), decided.write);
    QCOMPARE(plan.encoder(), decided.encoder);
    QCOMPARE(plan.reason(), decided.reason);
    const RewritePlan::Cut &c = plan.cut();
    COMPARE_NEAR(c.startSec, decided.cut.at(0), 5e-7); // to the microsecond
    COMPARE_NEAR(c.keptSec, decided.cut.at(1), 5e-7);
    COMPARE_NEAR(c.headPadSec, decided.cut.at(2), 5e-7);
    COMPARE_NEAR(c.tailPadSec, decided.cut.at(3), 5e-7);
}

void tst_TrimApply::ffmpegArguments_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<MediaInfo>("source");
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<double>("headSec"); // measured, of 20 s
    QTest::addColumn<double>("tailSec");
    QTest::addColumn<QString>("ending"); // of the argument list, joined by spaces
    const Settings cut = ends(EndMode::CutBack, 150);
    Settings recut = cut;
    recut.trimMethod = TrimMethod::ReEncode;
    const MediaInfo copied = media({}, 0);
    row("cut back by the 5 ms tolerance, not a hair under", u"/o/a.ogg"_s, copied, ends(EndMode::CutBack, 500), 0.505,
            0.5049, u"-ss 0.005 -i /in/a.x -map 0:a:0 -map_metadata 0 -c:a copy /o/.a.kstmp.ogg"_s);
    row("cut back ignores an end shorter than the minimum silence", u"/o/a.ogg"_s, copied, ends(EndMode::CutBack, 100),
            0.3, 0.7, u"-t 19.400000 /o/.a.kstmp.ogg"_s);
    // Rates the encoders would refuse are never passed.
    row("opus within what libopus takes", u"/o/a.opus"_s, media(u"opus"_s, 900000), recut, 1.15, 0.0,
            u"-c:a libopus -b:a 512000 -ar 48000 -ac 2 /o/.a.kstmp.opus"_s);
    // The head makes up for an unrecorded encoder delay: AC-3 decodes 256 samples late, WMA drops its first frame.
    row("ac3 at its table's nearest rate, its delay cut from the head", u"/o/a.ac3"_s, media(u"ac3"_s, 199000), recut,
            1.15, 0.0,
            u"-af atrim=start_sample=48256,asetpts=PTS-STARTPTS -c:a ac3 -b:a 192000 -ar 48000 -ac 2 -c:v copy "
            "/o/.a.kstmp.ac3"_s);
    row("wma, a frame of silence ahead for its decoder to drop", u"/o/a.wma"_s, media(u"wmav2"_s, 199000), recut, 0.15,
            1.15,
            u"-af atrim=end_sample=912000,asetpts=PTS-STARTPTS,adelay=2048S:all=1 -c:a wmav2 "
            "-b:a 199000 -ar 48000 -ac 2 -c:v copy -t 19.042667 /o/.a.kstmp.wma"_s);
    // Container rules: the muxer a suffix needs, tag flags, and pictures only where the container carries them.
    const QString mp4 = u"mov,mp4,m4a,3gp,3g2,mj2"_s;
    row("free-form tags beside a cover stay iTunes", u"/o/a.mp4"_s, media(u"aac"_s, 0, mp4, 1, true), cut, 1.15, 0.0,
            u"-c:a copy -c:v copy /o/.a.kstmp.mp4"_s);
    row("ogg carries no pictures", u"/o/a.oga"_s, media(u"vorbis"_s, 0, u"ogg"_s, 1), cut, 1.15, 0.0,
            u"-map 0:a:0 -map_metadata 0 -c:a copy /o/.a.kstmp.oga"_s);
    row("raw AAC under a suffix ffmpeg does not know", u"/o/a.adts"_s, media(u"aac"_s, 0, u"aac"_s), cut, 1.15, 0.0,
            u"-c:v copy -write_id3v2 1 -f adts /o/.a.kstmp.adts"_s);
    row("unknown suffix and format", u"/o/a.xyz"_s, media(u"mp3"_s, 0), cut, 1.15, 0.0,
            u"-c:a copy -c:v copy /o/.a.kstmp.xyz"_s);
    // A WAV past 4 GB becomes RF64 rather than a RIFF whose sizes overflow; Wave64 has room of its own.
    row("wav", u"/o/a.WAV"_s, media(u"pcm_s24le"_s, 0, u"wav"_s), cut, 1.15, 0.0, u"-rf64 auto /o/.a.kstmp.WAV"_s);
    row("an unknown suffix of a probed WAV", u"/o/a.bwf"_s, media(u"pcm_s16le"_s, 0, u"wav"_s), cut, 1.15, 0.0,
            u"-c:v copy -f wav -rf64 auto /o/.a.kstmp.bwf"_s);
}

void tst_TrimApply::ffmpegArguments()
{
    QFETCH(MediaInfo, source);
    QFETCH(Settings, settings);
    QFETCH(double, headSec);
    QFETCH(double, tailSec);
    QueueItem item;
    item.durationSec = 20.0;
    SilenceAnalyzer::Result silence;
    silence.headSec = headSec, silence.tailSec = tailSec;
    QVERIFY(TrimEngine::judge(item, silence, settings).ok());
    const RewritePlan rewrite = RewritePlan::make(item, settings, source, {});
    QVERIFY(rewrite.writes());
    QFETCH(QString, output);
    QFETCH(QString, ending);
    const QString args = TrimEngine::ffmpegArguments(u"/in/a.x"_s, output, rewrite, source).join(u' ');
    QVERIFY2((u' ' + args).endsWith(u' ' + ending), qPrintable(args));
}

void tst_TrimApply::everyFormatReachesItsTargets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("cover");          // art, a red square
    QTest::addColumn<QStringList>("options"); // to make the source, beyond its suffix's codec
    QTest::addColumn<test::ToneShape>("tone");
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<bool>("reencoded");
    QTest::addColumn<double>("tolerance"); // of each end measured again and of the decoded length
    QTest::addColumn<Also>("also");
    const auto row = [](const char *tag, const QString &name, bool cover, const QStringList &options,
                             const test::ToneShape &tone, const Settings &settings, bool reencoded, double tolerance,
                             const Also &also = {}) {
        QTest::newRow(tag) << name << cover << options << tone << settings << reencoded << tolerance << also;
    };
    const Settings cut; // 150 ms at each end, a stream copy asked for
    using T = test::ToneShape;
    const T stereo{ 1.0, 2.0, 2.0, 44100, 2 };
    const double sample = 1.5 / 44100;
    const bool none = false, cover = true;
    const QStringList no;
    // A copy ends on a packet: WAV or AIFF up to 23 ms, AAC 23 ms, mp3 26 ms, AC-3 32 ms.
    row("flac with 2 s ends, set exactly, cover kept", u"b.flac"_s, cover, no, T{ 2, 2, 2 }, ends(EndMode::Exact, 100),
            true, sample);
    row("mp3 copied, cover kept", u"a.mp3"_s, cover, no, stereo, cut, false, 0.06);
    row("m4a padded, cover kept", u"b.m4a"_s, cover, no, stereo, ends(EndMode::TopUp, 2500), false, 0.025);
    // After the cut the third chapter ends with the file and the fourth is gone.
    row("m4b chapters and cover", u"a.m4b"_s, cover, words("-c:a aac"), stereo, cut, false, 0.01,
            { -1, u"chapter=start_time"_s, u"0.000000 0.400000 1.650000"_s, true });
    row("aiff, its cover in an ID3 chunk", u"a.aiff"_s, cover, words("-write_id3v2 1"), stereo, cut, true, 0.002);
    row("opus, cut exactly", u"a.opus"_s, none, words("-c:a libopus"), stereo, cut, false, 0.002);
    // Re-encoded where a copy would not cut (Speex's would start where the source does), in a muxer that takes it.
    row("speex", u"a.spx"_s, none, words("-c:a libspeex"), T{ 1, 2, 2, 16000 }, cut, true, 0.025);
    row("ac-3 copied", u"a.ac3"_s, none, words("-c:a ac3"), stereo, cut, false, 0.04);
    row("flac in m4a", u"c.m4a"_s, none, words("-c:a flac -strict -2 -f mp4"), stereo, cut, true, 0.002);
    // libvorbis at 96 kHz loses half a second of the generated head; the cut starts on a packet (up to 22 ms).
    row("vorbis at 96 kHz, a suffix ffmpeg does not know", u"a.oggx"_s, none, words("-c:a libvorbis -ar 96000 -f ogg"),
            T{ 1.5, 2, 2.5, 44100, 2 }, cut, false, 0.025);
    // Tags that follow the cut. Raw MPEG audio's muxer writes none; the test puts ID3 tags around the raw audio.
    row("mp2's ID3v2 and ID3v1", u"a.mp2"_s, none, words("-c:a mp2"), T{}, cut, false, 0.027,
            { -1, {}, {}, false, true });
    row("mp3 topped up keeps its ID3v1", u"b.mp3"_s, none, words("-write_id3v1 1"), T{ 1, 2, 1 },
            ends(EndMode::TopUp, 1500), false, 0.03);
    const T shortEnds{ 0.3, 2.0, 0.3 };
    // The first sample is 0.85 s (37485 samples) later, or 0.2 s (8820) earlier.
    const QStringList bext = words("-write_bext 1 -metadata time_reference=1000000");
    const QString reference = u"format_tags=time_reference"_s;
    row("bext of a cut head", u"d.wav"_s, none, bext, T{}, cut, true, sample, { -1, reference, u"1037485"_s });
    row("bext of a topped up head", u"e.wav"_s, none, bext, shortEnds, ends(EndMode::TopUp, 500), true, sample,
            { -1, reference, u"991180"_s });
    // 0.2 s added at each end of 2.6 s: the first chapter still starts the file, the third ends it.
    row("chapters moved by added silence", u"a.mka"_s, none, words("-c:a flac"), shortEnds, ends(EndMode::TopUp, 500),
            true, sample, { -1, u"chapter=start_time"_s, u"0.000000 1.450000 2.700000"_s, true });
    // Where no encoder delay is recorded and a decoder shifts the sound, the tone stays on its planned sample.
    const Settings topUp = ends(EndMode::TopUp, 500);
    const auto reencode = [](Settings settings) { return settings.trimMethod = TrimMethod::ReEncode, settings; };
    const Settings headAlone = ends(EndMode::LeaveAlone, 150, EndMode::CutBack, 150);
    const T brief{ 0.3, 1.0, 0.4 }, brief48{ 0.3, 1.0, 0.4, 48000 };
    row("WMA, head left alone", u"b.wma"_s, none, words("-c:a wmav2"), brief, headAlone, true, 0.002, { 4 });
    // A copy cuts MP2 on its frames.
    row("MP2, head left alone", u"b.mp2"_s, none, words("-c:a mp2"), brief48, reencode(headAlone), true, 0.002, { 4 });
    row("AAC in ADTS with its ID3, topped up", u"b.aac"_s, none, words("-c:a aac -write_id3v2 1"), brief, topUp, true,
            0.002, { 4 });
    row("AAC in Matroska, topped up", u"b.mka"_s, none, words("-c:a aac"), brief48, topUp, true, 0.002, { 4 });
    row("AC-3, topped up", u"b.ac3"_s, none, words("-c:a ac3"), brief48, topUp, true, 0.002, { 4 });
    // Its first packet 8 ms in, its header's length longer than its decode.
    row("Opus in WebM, first packet late, topped up", u"a.webm"_s, none, words("-c:a libopus -output_ts_offset 0.015"),
            brief48, topUp, true, 0.002, { 4 });
    row("Vorbis, topped up", u"b.ogg"_s, none, words("-c:a libvorbis"), brief, topUp, true, 0.002, { 4 });
    // Its header counts the encoder's delay and padding in: a quarter second at 8 kHz.
    row("MP3 at 8 kHz, topped up by a re-encode", u"c.mp3"_s, none, words("-b:a 32k"), T{ 0.3, 1.0, 0.4, 8000 },
            reencode(topUp), true, 0.002, { 4 });
    row("FLAC, cut back to the sample", u"c.flac"_s, none, no, brief, headAlone, true, sample, { 0 });
    // Padded by a re-encode, a file spends what the source did and says so; noise makes every encoder spend.
    const QString noise = u"aevalsrc=0.2*sin(2*PI*220*t)+0.05*(2*random(0)-1)|0.2*sin(2*PI*330*t)+0.05*(2*random(1)-1)"
                          ":s=48000:d=12,adelay=500:all=1,apad=pad_dur=0.2"_s;
    const Settings tailPadded = reencode(ends(EndMode::LeaveAlone, 250, EndMode::TopUp, 250));
    const auto rated = [&](const char *tag, const QString &name, const char *made, int least, int most,
                               ReencodeQuality quality = ReencodeQuality::Source) {
        Settings settings = tailPadded;
        settings.reencodeQuality = quality;
        row(tag, name, none, words(made), T{}, settings, true, 0.03, { -1, {}, {}, false, false, noise, least, most });
    };
    // Raw AAC, whose rate ffprobe takes from the first frames: 56 kbit/s at this silent head, 85 as spent.
    rated("AAC at 86 kbit/s, raw", u"r.aac"_s, "-c:a aac -b:a 86k", 80, 88);
    rated("MP3, VBR at 93 kbit/s", u"s.mp3"_s, "-c:a libmp3lame -q:a 5", 86, 100);
    // Nominally 128 kbit/s, 90 as spent; at quality 6 it would be 192 and 135.
    rated("Vorbis at quality 4", u"r.ogg"_s, "-c:a libvorbis -q:a 4", 82, 96);
    // Under what libopus spends by default (96 kbit/s for stereo).
    rated("Opus at 64 kbit/s, 61 as spent", u"r.opus"_s, "-c:a libopus -b:a 64k", 54, 66);
    rated("AAC at 86 kbit/s, written at High", u"r.m4a"_s, "-c:a aac -b:a 86k", 170, 196, ReencodeQuality::High);
    // A lossy head set exactly within a frame of 0.5 s is on target, or every run would re-encode it; lossless
    // settles to the 5 ms tolerance. The tail is cut back, so that each is written.
    const Settings headExact = ends(EndMode::Exact, 500, EndMode::CutBack, 150);
    const auto lossy = [&](const char *tag, const QString &name, const char *made, double leadSec, bool moves,
                               bool reencoded, double tolerance) {
        const QString tone = u"aevalsrc='if(between(t,%1,%2),0.5*sin(2*PI*440*t),0)':s=48000:d=%3"_s;
        row(tag, name, none, words(made), T{}, headExact, reencoded, tolerance,
                { -1, {}, {}, false, false, tone.arg(leadSec).arg(leadSec + 1).arg(leadSec + 2), 0, 0, moves });
    };
    lossy("AAC 10 ms short", u"e.m4a"_s, "-c:a aac", 0.49, false, false, 0.03);
    lossy("AAC 40 ms short", u"f.m4a"_s, "-c:a aac", 0.46, true, false, 0.03);
    lossy("MP2 15 ms short, its delay counted in", u"e.mp2"_s, "-c:a mp2", 0.475, false, false, 0.03);
    lossy("Vorbis 25 ms short", u"e.ogg"_s, "-c:a libvorbis", 0.475, false, false, 0.03);
    lossy("Opus 10 ms short", u"e.webm"_s, "-c:a libopus", 0.49, false, true, 0.03);
    lossy("FLAC 10 ms short", u"e.flac"_s, "-c:a flac", 0.49, true, true, sample);
}

void tst_TrimApply::everyFormatReachesItsTargets()
{
    QFETCH(QString, name);
    QFETCH(bool, cover);
    QFETCH(QStringList, options);
    QFETCH(test::ToneShape, tone);
    QFETCH(Settings, settings);
    QFETCH(double, tolerance);
    QFETCH(Also, also);
    QStringList inputs = cover ? CoverInput : QStringList();
    QStringList args = (cover ? CoverOptions : QStringList()) + options;
    args << u"-metadata"_s << u"title=Ünder the \"Sky\""_s << u"-metadata"_s << u"REPLAYGAIN_TRACK_GAIN=-6.5 dB"_s;
    if (name.contains(u".m4"_s) && !cover)
        args << u"-movflags"_s << u"use_metadata_tags"_s; // this ffmpeg writes no MP4 cover beside them
    if (also.chapters) {
        inputs << chapterInputs(m_dir->path());
        args << u"-map_chapters"_s << QString::number(cover ? 2 : 1);
    }
    const QString input = m_dir->filePath(u"in/"_s + name);
    QCOMPARE(also.source.isEmpty() ? test::makeAudio(input, tone, args, inputs)
                                   : test::makeFromSource(input, also.source, args),
            QString());
    if (also.id3Around) // an ID3v2.3 tag of the title "Dawn" ahead, an ID3v1 after
        QVERIFY(test::writeFile(input,
                        QByteArray::fromHex("4944330300000000000f5449543200000005000000") + "Dawn"
                                + test::contents(input) + QByteArray("TAGDawn").leftJustified(128, 0))
                && test::dateBack(input));
    const QByteArray before = test::sha256(input);
    QueueItem item;
    const StepResult result = trim(item, settings, input, m_dir->filePath(u"out/sub/"_s + name));
    QVERIFY2(result.ok() && !result.skipped(), qPrintable(result.message));
    QTEST(item.reencoded, "reencoded");
    QVERIFY2(also.headMoves < 0 || (item.headChangeSec != 0.0) == bool(also.headMoves),
            qPrintable(u"head %1 s, changed by %2 s"_s.arg(item.headSec).arg(item.headChangeSec)));

    // Measured again as the program measures, and decoded as a player would.
    QueueItem again;
    again.path = item.outputPath;
    QVERIFY(TrimEngine::plan(again, settings, test::systemTools(), {}, {}).ok());
    const double decoded = test::decodedSeconds(item.outputPath);
    const bool headKept = settings.leadMode == EndMode::LeaveAlone;
    if (also.soundSamples < 0) { // each end on target, where the tone's own samples are not held to the plan
        COMPARE_NEAR(again.headSec, headKept ? item.headSec : settings.leadTargetMs / 1000.0, tolerance);
        COMPARE_NEAR(again.tailSec, settings.tailTargetMs / 1000.0, tolerance);
    }
    COMPARE_NEAR(decoded, item.newDurationSec, qMax(tolerance, 0.001));
    if (tolerance < TrimEngine::Tolerance) // a second identical run changes nothing
        QCOMPARE((QList<double>{ again.headChangeSec, again.tailChangeSec }), (QList<double>{ 0.0, 0.0 }));
    if (also.soundSamples >= 0) { // the tone where the plan puts it, all of it, the result the decoder's length
        const int rate = tone.sampleRate;
        const Sound from = soundOf(input), to = soundOf(item.outputPath);
        const qint64 shift = std::llround(item.headChangeSec * rate);
        COMPARE_NEAR(to.first, from.first + shift, also.soundSamples);
        COMPARE_NEAR(to.last, from.last + shift, also.soundSamples);
        QCOMPARE(item.newDurationSec, double(to.count) / rate);
        const qint64 planned = std::llround((item.durationSec + item.headChangeSec + item.tailChangeSec) * rate);
        // The planned length is read from the decode's progress, to a millisecond or two.
        QVERIFY2(to.count >= planned - std::llround(TrimEngine::WholeSoundTolerance * rate),
                qPrintable(u"%1 samples, %2 planned"_s.arg(to.count).arg(planned)));
    }
    if (also.mostKbps > 0) {
        const QJsonArray packets = QJsonDocument::fromJson(
                test::runFfprobe(words("-v error -select_streams a:0 -show_entries packet=size,duration_time -of json")
                        << item.outputPath))[u"packets"]
                                           .toArray();
        double bits = 0, seconds = 0;
        for (const QJsonValue &packet : packets) {
            bits += packet[u"size"].toString().toDouble() * 8;
            seconds += packet[u"duration_time"].toString().toDouble();
        }
        const int written = qRound(bits / qMax(seconds, 1.0) / 1000);
        QVERIFY2(written >= also.leastKbps && written <= also.mostKbps
                        && result.rewrite.contains(u"with %1 at "_s.arg(options.value(1))),
                qPrintable(u"written at %1 kbit/s%2"_s.arg(written).arg(result.rewrite)));
    }

    // Mirrored, the source is untouched.
    QVERIFY(test::sha256(input) == before && test::temporaryFiles(m_dir->path()).isEmpty());

    // Tags (on the stream in Ogg), an ID3v1 and cover art as the source had them, a real video left out.
    const auto facts = [](const QJsonObject &probed) {
        QStringList all;
        for (const QJsonValue &stream : probed[u"streams"].toArray())
            all << stream[u"codec_type"].toString() + QString::number(stream[u"disposition"][u"attached_pic"].toInt());
        for (const QJsonValue &from : { probed[u"format"][u"tags"], probed[u"streams"][0][u"tags"] })
            for (const QString &key : from.toObject().keys())
                all << key.toLower() + u'=' + from[key].toString();
        return all.filter(QRegularExpression(u"^(audio0|video|title=|replaygain_track_gain=)"_s));
    };
    QStringList kept = facts(test::probeJson(input));
    QVERIFY(kept.contains(cover ? u"video1"_s : u"audio0"_s));
    QCOMPARE(facts(test::probeJson(item.outputPath)), kept);
    const auto id3v1At = [](const QString &path) { return test::contents(path).right(128).startsWith("TAG"); };
    QCOMPARE(id3v1At(item.outputPath), id3v1At(input));
    const QStringList entries = words("-v error -of csv=p=0 -show_entries") << also.entries << item.outputPath;
    if (!also.entries.isEmpty())
        QCOMPARE(QString::fromUtf8(test::runFfprobe(entries)).simplified(), also.kept);
    // Chapters clipped: the last one ends with the sound.
    const QJsonArray chapters = QJsonDocument::fromJson(
            test::runFfprobe(words("-v error -show_chapters -of json") << item.outputPath))[u"chapters"]
                                        .toArray();
    QCOMPARE(chapters.isEmpty(), !also.chapters);
    if (!chapters.isEmpty())
        COMPARE_NEAR(chapters.last()[u"end_time"].toString().toDouble(), decoded, qMax(tolerance, 0.001));
}

void tst_TrimApply::inPlaceFailureLosesNothing_data()
{
    QTest::addColumn<Obstacle>("obstacle");
    QTest::addColumn<QString>("name");      // of the source
    QTest::addColumn<QByteArray>("ffmpeg"); // the script in its place; empty: the real one
    QTest::addColumn<QString>("message");   // as far as it goes; empty: trimmed
    const auto script = Obstacle::FfmpegScript;
    const QString flac = u"keep me.flac"_s, mp3 = u"keep me.mp3"_s;
    const QByteArray no, lastArg = "for last; do :; done\n";
    row("ffmpeg fails without a word", script, flac, QByteArray("exit 1"), u"ffmpeg failed"_s);
    row("ffmpeg writes an empty file", script, flac, lastArg + ": > \"$last\"", u"ffmpeg produced no output"_s);
    row("stopped mid-run", script, flac, lastArg + "echo partial > \"$last\"\nexec sleep 60", u"cancelled"_s);
    // Stopped by the runner, and said so over what it printed before it hung.
    const QByteArray hang = "echo x > \"$last\"\necho '[mp3 @ 0x1] Invalid data found when processing input' >&2\n";
    row("ffmpeg stuck while writing", Obstacle::StuckScript, mp3, lastArg + hang + "exec sleep 60",
            u"ffmpeg made no progress for 0.3 s - stopped"_s);
    // Exit 0 is not taken on trust: the written file is read back, by its own bytes where ffprobe reads it as fine.
    const QByteArray write = lastArg + "\"$FFMPEG\" -v error -y -f lavfi -i sine=d=1 ";
    row("disk full, yet exit 0", script, flac,
            write + "-c:a flac \"$last\"\necho 'Error writing trailer: No space left on device' >&2",
            u"no space left on device"_s);
    row("too short, without a word", script, flac, write + "-c:a flac \"$last\"",
            u"written file is 1.0 s long, 2.3 s was planned - original kept"_s);
    row("another codec written", script, flac, write + "-c:a pcm_s16le -f wav \"$last\"",
            u"written file has pcm_s16le 44100 Hz 1 ch, not flac 44100 Hz 1 ch - original kept"_s);
    const QByteArray run = "\"$FFMPEG\" \"$@\" || exit\n" + lastArg;
    const QByteArray riff = "' | dd of=\"$last\" bs=1 seek=4 conv=notrunc 2>/dev/null"; // after its RIFF size
    const QString header = u"written WAV's header does not fit the file (%1) - original kept"_s;
    row("WAV sizes left unset, as past 4 GB", script, u"b.wav"_s, run + "printf '\\377\\377\\377\\377" + riff,
            header.arg(u"RIFF size unset (0xFFFFFFFF)"_s));
    row("WAV size short of the data", script, u"c.wav"_s, run + "printf '\\0\\0\\1\\0" + riff,
            header.arg(u"RIFF size short of the data on disk"_s));
    // The real ffmpeg with `options` given just before the output.
    const auto withOptions = [](const QByteArray &options) {
        return "n=$#; i=0\nfor a do shift; i=$((i + 1)); [ $i -eq $n ] && set -- \"$@\" " + options
                + "; set -- \"$@\" \"$a\"; done\nexec \"$FFMPEG\" \"$@\"";
    };
    row("MP3 with a cover, as written", Obstacle::CoverScript, mp3, run, QString());
    // As when the muxer cannot go back to the first frame to fill it in.
    row("MP3 without its gapless header", script, mp3, withOptions("-write_xing 0"),
            u"written MP3 lost its gapless header - original kept"_s);
    row("MP3 that lost its cover", Obstacle::CoverScript, mp3, withOptions("-vn"),
            u"written file lost its cover art - original kept"_s);
    row("a folder at the backup path", Obstacle::FolderAtBackup, flac, no, u"cannot write backup "_s);
    row("a read-only file", Obstacle::ReadOnly, flac, no, u"file is read-only"_s);
    row("over the safety limit", Obstacle::OverTheLimit, flac, no, u"would remove 2.7 s, over the 2 s safety limit"_s);
    row("an encoder this ffmpeg lacks", Obstacle::EncoderMissing, u"legacy.wma"_s, no,
            u"no encoder available for wmav2"_s);
    row("damaged audio", Obstacle::DamagedAudio, mp3, no, u"damaged audio: decoding stopped at 0."_s);
    row("no decodable audio", Obstacle::NoAudio, mp3, no, u"no decodable audio"_s);
    row("a real full disk", Obstacle::FullDisk, u"small-disk/nearly full.wav"_s, no, u"no space left on device"_s);
    // Only the audio would be written: the picture would be lost.
    row("a real video beside the audio", Obstacle::Video, u"clip.mp4"_s, no, u"has a video stream - left alone"_s);
    row("40 ms of sound, nothing to change", Obstacle::Tiny, flac, no, u"nothing to change - left alone"_s);
}

// Another user's (as root) private file of an old date, trimmed in place; a failure leaves all of it as it was.
void tst_TrimApply::inPlaceFailureLosesNothing()
{
    QFETCH(Obstacle, obstacle);
    QFETCH(QString, name);
    QFETCH(QByteArray, ffmpeg);
    QFETCH(QString, message);
    // A small disk with room for the original (5 s, 441 kB) but not for it and its new copy.
    const QString disk = m_dir->filePath(u"small-disk"_s);
    const bool fullDisk = obstacle == Obstacle::FullDisk, wma = obstacle == Obstacle::EncoderMissing;
    const QStringList mount{ u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=560k"_s, u"tmpfs"_s, disk };
    if (fullDisk && (!QDir().mkpath(disk) || QProcess::execute(u"mount"_s, mount)))
        QSKIP("mounting a small tmpfs needs root");
    const auto unmount = qScopeGuard([&] { return fullDisk ? QProcess::execute(u"umount"_s, { disk }) : 0; });
    const bool noise = obstacle == Obstacle::DamagedAudio || obstacle == Obstacle::NoAudio;
    const bool video = obstacle == Obstacle::Video, cover = obstacle == Obstacle::CoverScript;
    const QString input = m_dir->filePath(name);
    const QStringList options = wma ? QStringList{ u"-c:a"_s, u"wmav2"_s }
            : video                 ? ClipOptions
            : cover                 ? CoverOptions
                                    : QStringList();
    const QStringList inputs = video ? ClipInput : cover ? CoverInput : QStringList();
    const test::ToneShape tone = obstacle == Obstacle::Tiny ? test::ToneShape{ 0, 0.04, 0 } : test::ToneShape();
    QCOMPARE(test::makeAudio(input, tone, options, inputs), QString());
    if (noise) { // overwritten from a tenth of the way in, or from just past the first frame's header
        QFile file(input);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray bytes = file.readAll();
        QVERIFY(file.seek(obstacle == Obstacle::DamagedAudio ? bytes.size() / 10 : bytes.indexOf("\xff\xfb") + 4));
        for (quint32 x = 2463534242u; file.pos() < bytes.size();)
            file.putChar(char((x ^= x << 13, x ^= x >> 17, x ^= x << 5)));
    }
    const bool readOnly = obstacle == Obstacle::ReadOnly;
    QVERIFY(!ownedElsewhere(input, old, readOnly ? QFile::ReadOwner : QFile::ReadOwner | QFile::WriteOwner).isEmpty());
    QVERIFY(obstacle != Obstacle::FolderAtBackup || QDir().mkpath(Backups::pathFor(input) + u"/inside"_s));
    ToolPaths tools = test::systemTools();
    if (!ffmpeg.isEmpty())
        tools.ffmpeg = test::writeFakeTool(
                m_dir->path(), u"ffmpeg"_s, "FFMPEG='" + test::ffmpegExecutable().toUtf8() + "'\n" + ffmpeg);
    if (wma)
        tools.encoders = QStringList{ u"aac"_s, u"flac"_s }; // as an ffmpeg without wmav2 lists them
    // All there is to lose: the file's owner, mode, time and bytes, and whatever is beside it.
    const auto state = [&] {
        const QFileInfo info(input);
        return QStringList{ u"owner "_s + ownerOf(input), u"permissions %1"_s.arg(info.permissions(), 0, 16),
            u"modified "_s + info.lastModified().toString(Qt::ISODate),
            u"SHA-256 "_s + QString::fromLatin1(test::sha256(input).toHex()),
            u"beside it: "_s + QDir(info.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(u", "_s) }
        + test::temporaryFiles(m_dir->path());
    };
    const QStringList before = state();

    Settings settings; // in place, but for the refusal before anything is written anywhere
    settings.outputMode = wma ? OutputMode::Mirror : OutputMode::InPlace;
    settings.maxTrimSec = obstacle == Obstacle::OverTheLimit ? 2.0 : settings.maxTrimSec;
    // Written by ffmpeg where it stands in: an MP3 copy would be cut without it.
    settings.trimMethod = ffmpeg.isEmpty() ? TrimMethod::StreamCopy : TrimMethod::ReEncode;
    QueueItem item;
    const bool stopped = message == u"cancelled";
    const StepResult result = trim(
            item, settings, input, wma ? m_dir->filePath(u"out/"_s + name) : QString(), tools,
            [&] { return stopped && !test::temporaryFiles(m_dir->path()).isEmpty(); },
            obstacle == Obstacle::StuckScript ? 300 : DefaultStallLimitMs);
    QCOMPARE(result.message.left(message.size()), message);
    if (message.isEmpty()) // the control: nothing in the way, the file is trimmed
        QVERIFY(result.ok() && !result.skipped() && state() != before);
    else
        QCOMPARE(state(), before);
}

void tst_TrimApply::whatAWrittenFileCouldNotKeep_data()
{
    // What a preloaded library refuses kestrova-cli trimming in place: before the replace the file fails whole,
    // after it the file is trimmed and its line says what it lacks.
    QTest::addColumn<QString>("refuse");  // the library's switch and what it refuses (1: every file)
    QTest::addColumn<bool>("otherOwner"); // the file another user's, which only root can arrange
    QTest::addColumn<bool>("trimmed");
    QTest::addColumn<bool>("timeKept");
    QTest::addColumn<QString>("ending"); // of the file's line; empty: a trimmed file's line with no note
    row("nothing refused", u"KS_FAIL_NOTHING=1"_s, false, true, true, QString());
    row("the modification time refused", u"KS_FAIL_FILE_TIME=1"_s, false, true, false,
            u"; modification time not kept"_s);
    row("another user's file, the owner refused", u"KS_FAIL_CHOWN=1"_s, true, true, true,
            u"; backup's owner not kept; owner not kept"_s);
    row("the permissions refused", u"KS_FAIL_CHMOD=1"_s, false, false, true, u" - cannot set the permissions of "_s);
    // A backup or a new file that may not be on the disk is no backup, no file: it goes, and the source stays.
    row("the backup's flush refused", u"KS_FAIL_FSYNC=.bak"_s, false, false, true, u" - cannot write backup "_s);
    row("the written file's flush refused", u"KS_FAIL_FSYNC=.kstmp."_s, false, false, true, u" - cannot write "_s);
    row("the rename over the source refused", u"KS_FAIL_RENAME=1"_s, false, false, true, u" - cannot replace "_s);
}

void tst_TrimApply::whatAWrittenFileCouldNotKeep()
{
    QFETCH(QString, refuse);
    QFETCH(bool, otherOwner);
    QFETCH(bool, trimmed);
    QFETCH(QString, ending);
    if (otherOwner && ::geteuid() != 0)
        QSKIP("giving a file to another user needs root");
    const QString input = m_dir->filePath(u"keep me.mp3"_s);
    QCOMPARE(test::makeAudio(input), QString());
    QVERIFY(!otherOwner || ::chown(QFile::encodeName(input).constData(), 65534, 65534) == 0);
    QVERIFY(test::dateBack(input, old));
    const QByteArray before = test::sha256(input);

    const test::ProgramRun cli = test::runProgram(u"env"_s,
            { QStringLiteral("LD_PRELOAD=" REFUSE_FILE_OPS), refuse, QStringLiteral(KESTROVA_CLI), u"trim"_s,
                    u"--no-settings"_s, u"--in-place"_s, u"--yes"_s, u"--backup"_s, u"--keep-mtime"_s, input });
    const QString said = cli.out + cli.err;
    const QString line = said.split(u'\n').filter(u"keep me.mp3 - "_s).value(0);
    if (ending.isEmpty())
        QVERIFY2(line.contains(u" - head "_s) && !line.contains(u';'), qPrintable(line));
    else
        QVERIFY2(line.endsWith(ending) || line.contains(ending + input), qPrintable(line));
    QVERIFY2(cli.exitCode == (trimmed ? 0 : 1), qPrintable(said));
    // The time is kept unless refused; a failed file keeps it as it keeps everything.
    QTEST(QFileInfo(input).lastModified() == old, "timeKept");
    QCOMPARE(test::sha256(input) != before, trimmed);
    QCOMPARE(QFileInfo::exists(input + u".bak"_s), trimmed);
    QCOMPARE(test::temporaryFiles(m_dir->path()), QStringList());
}

void tst_TrimApply::aSourceNotAsPlannedIsLeftAlone_data()
{
    QTest::addColumn<Meanwhile>("meanwhile");
    QTest::addColumn<OutputMode>("mode");
    QTest::addColumn<StepResult::Kind>("kind");
    QTest::addColumn<QString>("message");
    using K = StepResult::Kind;
    using M = Meanwhile;
    const auto inPlace = OutputMode::InPlace, mirror = OutputMode::Mirror;
    const QString writing = u"still being written - left alone"_s;
    const QString changed = u"changed while being trimmed - left as it is"_s;
    const QString gone = u"file disappeared while being trimmed - nothing written"_s;
    row("left be, in place", M::Nothing, inPlace, K::Done, QString());
    row("left be, mirrored", M::Nothing, mirror, K::Done, QString());
    row("saved moments before the plan", M::ChangedMomentsAgo, inPlace, K::Skipped, writing);
    row("recorded into since before the plan", M::RecordingFromBefore, inPlace, K::Skipped, writing);
    row("recorded into from the write on, in place", M::RecordingStartsInWrite, inPlace, K::Skipped, writing);
    row("recorded into from the write on, mirrored", M::RecordingStartsInWrite, mirror, K::Skipped, writing);
    row("a new take saved between plan and write", M::NewTakeAfterPlan, inPlace, K::Skipped, changed);
    row("a new take renamed over it as ffmpeg starts, in place", M::NewTakeBeforeRead, inPlace, K::Skipped, changed);
    row("a new take renamed over it as ffmpeg starts, mirrored", M::NewTakeBeforeRead, mirror, K::Skipped, changed);
    row("a new take of the same size written into it", M::NewTakeWrittenIn, inPlace, K::Skipped, changed);
    row("deleted while written, in place", M::DeletedInWrite, inPlace, K::Failed, gone);
    row("deleted while written, mirrored", M::DeletedInWrite, mirror, K::Failed, gone);
    const QString held = u"being trimmed by another run"_s;
    row("held by another run, in place", M::HeldByAnotherRun, inPlace, K::Skipped, held);
    row("held by another run, mirrored", M::HeldByAnotherRun, mirror, K::Skipped, held);
}

void tst_TrimApply::aSourceNotAsPlannedIsLeftAlone()
{
    QFETCH(Meanwhile, meanwhile);
    QFETCH(OutputMode, mode);
    const QDir dir(m_dir->path());
    const QString source = dir.filePath(u"take.wav"_s), take = dir.filePath(u"new take.wav"_s);
    const QString mirrored = dir.filePath(u"out/take.wav"_s);
    QCOMPARE(test::makeAudio(source), QString());
    // Another recording of the same length: it reads back as planned, so only the source's identity tells.
    QCOMPARE(test::makeAudio(take, { 1.0, 2.0, 2.0, 44100, 1, 880 }), QString());
    for (const char *fifo : { "start", "appended", "finish" })
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QLatin1String(fifo))).constData(), 0600), 0);
    const QByteArray original = test::contents(source), newTake = test::contents(take);

    // A recorder appends 1 kB, 8 kB, and 8 kB after the trim; gated, it starts when the stand-in ffmpeg says.
    const bool recording
            = meanwhile == Meanwhile::RecordingFromBefore || meanwhile == Meanwhile::RecordingStartsInWrite;
    const bool gated = meanwhile == Meanwhile::RecordingStartsInWrite;
    const QString record = uR"(exec 3>>"$1"
[ "$2" = gated ] && read go <"$3/start"
head -c 1000 /dev/zero >&3
echo >"$3/appended"
for i in 1 2 3 4 5 6 7 8; do head -c 1000 /dev/zero >&3; done
read more <"$3/finish"
for i in 1 2 3 4 5 6 7 8; do head -c 1000 /dev/zero >&3; done)"_s;
    QProcess recorder;
    if (recording) {
        recorder.start(u"sh"_s, { u"-c"_s, record, u"sh"_s, source, gated ? u"gated"_s : u"free"_s, dir.path() });
        QVERIFY(recorder.waitForStarted());
    }
    QVERIFY(gated || !recording || test::contents(dir.filePath(u"appended"_s)) == "\n"); // its first kilobyte in
    const QHash<Meanwhile, QString> scripts{
        { Meanwhile::RecordingStartsInWrite, u"echo >\"@DIR@/start\"\nread x <\"@DIR@/appended\"\nexec @FFMPEG@"_s },
        { Meanwhile::NewTakeBeforeRead, u"mv \"@TAKE@\" \"@SOURCE@\"\nexec @FFMPEG@"_s },
        { Meanwhile::NewTakeWrittenIn, u"@FFMPEG@ || exit\ncat \"@TAKE@\" >\"@SOURCE@\""_s },
        { Meanwhile::DeletedInWrite, u"@FFMPEG@ || exit\nrm \"@SOURCE@\""_s },
    };
    const QString script = scripts.value(meanwhile, u"exec @FFMPEG@"_s)
                                   .replace(u"@FFMPEG@"_s, u"\"%1\" \"$@\""_s.arg(test::ffmpegExecutable()))
                                   .replace(u"@DIR@"_s, dir.path())
                                   .replace(u"@TAKE@"_s, take)
                                   .replace(u"@SOURCE@"_s, source);
    ToolPaths tools = test::systemTools();
    tools.ffmpeg = test::writeFakeTool(dir.path(), u"ffmpeg"_s, script.toUtf8());

    Settings settings;
    settings.outputMode = mode;
    settings.outputRoot = dir.filePath(u"out"_s);
    QueueItem item;
    item.path = source;
    item.outputPath = mode == OutputMode::InPlace ? source : mirrored;
    if (meanwhile == Meanwhile::ChangedMomentsAgo)
        QVERIFY(test::dateBack(source, QDateTime::currentDateTime()));
    MediaInfo probed;
    // A recording growing while measured is left alone by the plan already, in the same words.
    StepResult result = TrimEngine::plan(item, settings, test::systemTools(), {}, {}, &probed);
    QVERIFY2(result.proceeds() || meanwhile == Meanwhile::RecordingFromBefore, qPrintable(result.message));
    if (meanwhile == Meanwhile::NewTakeAfterPlan)
        QCOMPARE(::rename(QFile::encodeName(take).constData(), QFile::encodeName(source).constData()), 0);
    QFile other(source);
    QVERIFY(meanwhile != Meanwhile::HeldByAnotherRun
            || (other.open(QIODevice::ReadOnly) && ::flock(other.handle(), LOCK_EX | LOCK_NB) == 0));
    if (result.proceeds())
        result = TrimEngine::apply(item, settings, tools, {}, {}, &probed);
    QTEST(result.kind, "kind");
    QTEST(result.message, "message");
    if (recording) { // the rest of the recording, after the trim
        QVERIFY(test::writeFile(dir.filePath(u"finish"_s), "\n"));
        QVERIFY(recorder.waitForFinished(60000) && recorder.exitCode() == 0);
    }

    // The source is whole: as recorded to its last byte, the new take as saved, a deleted file not made again.
    const bool trimmed = meanwhile == Meanwhile::Nothing && mode == OutputMode::InPlace;
    const bool newTaken = meanwhile == Meanwhile::NewTakeAfterPlan || meanwhile == Meanwhile::NewTakeBeforeRead
            || meanwhile == Meanwhile::NewTakeWrittenIn;
    const QByteArray expected = meanwhile == Meanwhile::DeletedInWrite ? QByteArray()
            : newTaken                                                 ? newTake
                       : original + QByteArray(recording ? 17000 : 0, '\0');
    const QByteArray now = test::contents(source);
    QCOMPARE(QFileInfo::exists(source), meanwhile != Meanwhile::DeletedInWrite);
    QVERIFY2(trimmed ? now != original && !now.isEmpty() : now == expected,
            qPrintable(u"%1 bytes, %2 expected"_s.arg(now.size()).arg(expected.size())));
    // Nothing else is left: no temporary, no mirrored copy, no backup of a file left alone.
    QCOMPARE(QFileInfo::exists(mirrored), meanwhile == Meanwhile::Nothing && mode == OutputMode::Mirror);
    QCOMPARE(QFileInfo::exists(Backups::pathFor(source)), trimmed);
    QCOMPARE(QFileInfo::exists(Backups::recordPathFor(source)), trimmed);
    QCOMPARE(test::temporaryFiles(dir.path()), QStringList());
    if (other.isOpen()) { // the other run done, the file is this one's to trim
        other.close();
        QCOMPARE(TrimEngine::apply(item, settings, tools, {}, {}, &probed).kind, StepResult::Kind::Done);
    }
}

void tst_TrimApply::anExistingBackupIsTrustedOnlyWhenProven_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<OldBackup>("existing");
    QTest::addColumn<bool>("throughLink"); // the file named by a link to it, its time not kept
    QTest::addColumn<QString>("note");     // the trim's result
    const QString aside = u"older backup set aside as take.mp3.bak.1"_s, kept = u"kept the existing backup"_s;
    row("no backup yet", u"keep me.mp3"_s, OldBackup::None, false, QString());
    row("through a link, an unknown older backup, time not kept", u"keep me.flac"_s, OldBackup::Unrelated, true,
            u"older backup set aside as keep me.flac.bak.1"_s);
    row("the first take's backup beside a new take", u"take.mp3"_s, OldBackup::FirstTake, false, aside);
    row("the backup of this file's own earlier trim", u"take.mp3"_s, OldBackup::OwnEarlierTrim, false, kept);
    row("the backup of an earlier trim, trimmed since without one", u"take.mp3"_s, OldBackup::OwnTrimThenOneWithout,
            false, kept);
}

// A backup not shown to be the file's own is moved aside; the file keeps owner, mode, date and link; Restore
// gives back only audio.
void tst_TrimApply::anExistingBackupIsTrustedOnlyWhenProven()
{
    QFETCH(QString, name);
    QFETCH(OldBackup, existing);
    QFETCH(bool, throughLink);
    QFETCH(QString, note);
    const QString source = m_dir->filePath(name), other = m_dir->filePath(u"other.mp3"_s);
    const QString backup = Backups::pathFor(source);
    const QString named = throughLink ? m_dir->filePath(u"link.flac"_s) : source;
    const test::ToneShape firstTake{ 0.5, 3.0, 1.0, 44100, 1, 880 };
    Settings settings;
    settings.outputMode = OutputMode::InPlace;
    QueueItem item;
    QCOMPARE(test::makeAudio(source, existing == OldBackup::FirstTake ? firstTake : test::ToneShape()), QString());
    const QByteArray first = test::contents(source);
    if (existing == OldBackup::Unrelated)
        QVERIFY(test::makeAudio(other, firstTake).isEmpty() && QFile::rename(other, backup));
    const bool ownTrim = existing == OldBackup::OwnEarlierTrim || existing == OldBackup::OwnTrimThenOneWithout;
    if (existing == OldBackup::FirstTake || ownTrim)
        QVERIFY(trim(item, settings, source).proceeds() && test::dateBack(source));
    if (existing == OldBackup::OwnTrimThenOneWithout) {
        Settings without = settings;
        without.makeBackup = false, without.tailMode = EndMode::Exact, without.tailTargetMs = 60;
        QVERIFY(trim(item, without, source).message.isEmpty() && test::dateBack(source));
    }
    if (existing == OldBackup::FirstTake) // the new take, saved over the first one's trim
        QCOMPARE(test::makeAudio(source), QString());
    const QString owner = ownedElsewhere(source, old, QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(!owner.isEmpty() && (!throughLink || QFile::link(source, named)));
    const QByteArray original = ownTrim ? first : test::contents(source); // before any rewrite
    const QByteArray planted = test::contents(backup);

    settings.keepMtime = !throughLink;
    const StepResult trimmed = trim(item, settings, named);
    QCOMPARE(trimmed.kind, StepResult::Kind::Done);
    QCOMPARE(trimmed.message, note);
    const QByteArray once = test::contents(source);
    QVERIFY(once != original && test::contents(backup) == original);
    const bool setAside = note.startsWith(u"older"_s);
    QVERIFY(!setAside || test::contents(backup + u".1"_s) == planted); // kept, never overwritten
    QStringList backups{ name + u".bak"_s, name + u".bak.1"_s, name + u".bak.kestrova"_s };
    if (!setAside)
        backups.removeAt(1);
    QCOMPARE(QDir(m_dir->path()).entryList({ u"*.bak*"_s }), backups);

    // Trimmed again, the file still derives from that backup; Restore gives back the original to the byte.
    settings.leadMode = EndMode::Exact, settings.leadTargetMs = 50;
    QVERIFY(test::dateBack(source, old));
    QCOMPARE(trim(item, settings, named).message, u"kept the existing backup"_s);
    QVERIFY(test::contents(source) != once && test::contents(backup) == original);
    QCOMPARE(QFileInfo(source).lastModified() == old, !throughLink);
    QCOMPARE(ownerOf(source), owner);
    QCOMPARE(QFileInfo(named).symLinkTarget(), throughLink ? source : QString());
    QCOMPARE(QDir(m_dir->path()).entryList({ u"*.bak*"_s }), backups);
    QCOMPARE(test::temporaryFiles(m_dir->path()), QStringList());
    const StepResult restored = Backups::restore(source, test::systemTools());
    QVERIFY2(restored.proceeds(), qPrintable(restored.message));
    QVERIFY(test::contents(source) == original);
    QVERIFY(!QFileInfo::exists(backup) && !QFileInfo::exists(Backups::recordPathFor(source)));

    // Nothing that is not audio is put back: no backup, an empty one, text at its name.
    QCOMPARE(Backups::restore(source, test::systemTools()).message, u"no backup to restore"_s);
    for (const QByteArray &bytes : { QByteArray(), QByteArray("notes\n") }) {
        QVERIFY(test::writeFile(backup, bytes));
        const StepResult refused = Backups::restore(source, test::systemTools());
        QCOMPARE(refused.message,
                u"backup %1 is %2 - nothing restored"_s.arg(
                        backup, bytes.isEmpty() ? u"empty"_s : u"not readable audio"_s));
        QVERIFY(!refused.proceeds() && test::contents(source) == original && test::contents(backup) == bytes);
    }
}

QTEST_GUILESS_MAIN(tst_TrimApply)
#include "tst_trimapply.moc"
