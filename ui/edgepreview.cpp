#include "edgepreview.h"

#include "edgeplayer.h"
#include "panelpalette.h"
#include "panelstyle.h"
#include "queueitem.h"
#include "queuemodel.h"
#include "queueview.h"
#include "rewriteplan.h"
#include "settings.h"
#include "settingsstore.h"
#include "textformat.h"
#include "toollocator.h"
#include "toolpaths.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace ks {

namespace {

// Selections that move on this quickly start no read.
constexpr int SettleMs = 100;
// Peaks kept across files: a few minutes of edges.
constexpr int CachedPeaks = 4'000'000;

double stripLength(double silenceSec, double fileSec)
{
    return std::min(fileSec, std::max(EdgePreview::ShortestStripSec, silenceSec + EdgePreview::SoundShownSec));
}

QLabel *panelLabel(const char *role, Qt::Alignment alignment, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setProperty("vfdRole", QLatin1String(role));
    label->setAlignment(alignment | Qt::AlignVCenter);
    return label;
}

} // namespace

std::optional<EdgePreview::Edges> EdgePreview::edgesFor(const QueueItem &item, double thresholdDb)
{
    // Numbers of a file not measured (waiting, being worked on, passed over,
    // put back from its backup) would be taken for facts.
    if (!QueueModel::isMeasured(item) || !(item.durationSec > 0))
        return std::nullopt;
    Edges edges;
    edges.written = item.status == ItemStatus::Trimmed && !item.outputPath.isEmpty();
    edges.path = edges.written ? item.outputPath : item.path;
    const RewritePlan::Cut cut = RewritePlan::cutFor(item);
    const double headPad = cut.headPadSec;
    const double tailPad = cut.tailPadSec;
    Edge &head = edges.head;
    Edge &tail = edges.tail;
    head.changeSec = item.headChangeSec;
    tail.changeSec = item.tailChangeSec;
    head.scene.thresholdDb = tail.scene.thresholdDb = thresholdDb;
    head.scene.keepsAfterEdge = true;
    tail.scene.keepsAfterEdge = false;

    if (edges.written) {
        // The new file begins and ends at its own ends; what was added is in it.
        const double length = item.newDurationSec > 0 ? item.newDurationSec : cut.expectedSec();
        head.silenceSec = std::max(item.headSec + item.headChangeSec, 0.0);
        tail.silenceSec = std::max(item.tailSec + item.tailChangeSec, 0.0);
        head.readSec = stripLength(head.silenceSec, length);
        head.scene = { 0.0, head.readSec, 0.0, head.silenceSec, 0.0, 0.0, headPad, true, thresholdDb };
        tail.readSec = stripLength(tail.silenceSec, length);
        tail.readFromSec = length - tail.readSec;
        tail.scene = { tail.readFromSec, length, length - tail.silenceSec, length, length, length - tailPad, length,
            false, thresholdDb };
        head.playSec = std::min(PlaySec, length);
        tail.playFromSec = std::max(length - PlaySec, 0.0);
        tail.playSec = length - tail.playFromSec;
        return edges;
    }

    // The source, with the cut drawn where the new file will begin and end,
    // and room before or after it for silence that will be added.
    const double length = item.durationSec;
    const double start = cut.startSec;
    const double end = cut.endSec();
    head.silenceSec = item.headSec;
    tail.silenceSec = item.tailSec;
    head.readSec = stripLength(item.headSec, length);
    head.scene = { -headPad, head.readSec, 0.0, item.headSec, headPad > 0 ? -headPad : start, -headPad, 0.0, true,
        thresholdDb };
    tail.readSec = stripLength(item.tailSec, length);
    tail.readFromSec = length - tail.readSec;
    tail.scene = { tail.readFromSec, length + tailPad, length - item.tailSec, length,
        tailPad > 0 ? length + tailPad : end, length, length + tailPad, false, thresholdDb };
    head.playFromSec = start;
    head.playSec = std::min(PlaySec, std::max(length - start, 0.0));
    head.playPadSec = headPad;
    tail.playFromSec = std::max(end - PlaySec, 0.0);
    tail.playSec = std::max(end - tail.playFromSec, 0.0);
    tail.playPadSec = tailPad;
    return edges;
}

QStringList EdgePreview::playArguments(const QString &path, const Edge &edge, Side side)
{
    QStringList args{ QStringLiteral("-nodisp"), QStringLiteral("-autoexit"), QStringLiteral("-loglevel"),
        QStringLiteral("error"), QStringLiteral("-ss"), fixed(edge.playFromSec, 3), QStringLiteral("-t"),
        fixed(edge.playSec, 3) };
    // Added silence is heard too, so the gap before the sound is the new one.
    if (edge.playPadSec > 0) {
        args << QStringLiteral("-af")
             << (side == Head ? RewritePlan::paddingFilter(edge.playPadSec, 0.0)
                              : RewritePlan::paddingFilter(0.0, edge.playPadSec));
    }
    return args << path;
}

EdgePreview::EdgePreview(QueueView *view, QWidget *parent)
    : QFrame(parent)
    , m_view(view)
    , m_fileLabel(panelLabel("info", Qt::AlignRight, this))
    , m_settle(new QTimer(this))
    , m_player(new EdgePlayer(this))
    , m_cache(CachedPeaks)
{
    setObjectName(QStringLiteral("EdgePreview"));
    setFont(PanelPalette::panelFont(font()));

    auto *top = new QHBoxLayout;
    top->setSpacing(8);
    QLabel *caption = panelLabel("caption", Qt::AlignLeft, this);
    caption->setText(tr("EDGES"));
    top->addWidget(caption);
    m_fileLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    top->addWidget(m_fileLabel, 1);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    const QString captions[] = { tr("HEAD"), tr("TAIL") };
    const char *names[] = { "playHeadButton", "playTailButton" };
    const char *detailNames[] = { "headDetailsLabel", "tailDetailsLabel" };
    for (const Side side : { Head, Tail }) {
        Strip &s = m_strips[side];
        const int column = side * 3;
        QLabel *label = panelLabel("caption", Qt::AlignLeft, this);
        label->setText(captions[side]);
        s.details = panelLabel("info", Qt::AlignLeft, this);
        s.details->setObjectName(QLatin1String(detailNames[side]));
        s.details->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        s.play = new QPushButton(playCaption(side), this);
        s.play->setObjectName(QLatin1String(names[side]));
        s.play->setCheckable(true);
        top->addWidget(s.play);
        s.strip = new EdgeStrip(this);
        s.reader = new EnvelopeReader(this);
        grid->addWidget(label, 0, column);
        grid->addWidget(s.details, 0, column + 1, 1, 2);
        grid->addWidget(s.strip, 1, column, 1, 3);
        grid->setColumnStretch(column + 1, 1);
        connect(s.play, &QPushButton::clicked, this, [this, side] { togglePlay(side); });
        connect(s.reader, &EnvelopeReader::finished, this,
                [this, side](const QList<EnvelopeReader::Peak> &peaks, const QString &error) {
                    onRead(side, peaks, error);
                });
    }

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 8, 14, 10);
    layout->setSpacing(6);
    layout->addLayout(top);
    layout->addLayout(grid, 1);

    m_settle->setSingleShot(true);
    m_settle->setInterval(SettleMs);
    connect(m_settle, &QTimer::timeout, this, &EdgePreview::refresh);
    const auto later = [this] { m_settle->start(); };
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, later);
    QueueModel *queue = view->queue();
    connect(queue, &QAbstractItemModel::dataChanged, this, later);
    connect(queue, &QAbstractItemModel::rowsRemoved, this, later);
    connect(queue, &QAbstractItemModel::modelReset, this, later);

    connect(m_player, &EdgePlayer::ended, this, [this](const QString &problem) {
        stopPlaying();
        if (!problem.isEmpty())
            showNote(tr("Nothing was played - %1.").arg(problem));
    });
    setPlayer(
            ToolLocator::locatePlayer(ToolPaths::resolve(appSettings().ffmpegPath, appSettings().ffprobePath).ffmpeg));
    refresh();
}

EdgePreview::~EdgePreview()
{
    stopPlaying();
    for (Strip &s : m_strips)
        s.reader->cancel();
}

void EdgePreview::setRunning(bool running)
{
    m_running = running;
    if (!running)
        readMissing();
}

void EdgePreview::setPlayer(const QString &ffplay)
{
    stopPlaying();
    m_player->setProgram(ffplay);
    for (Strip &s : m_strips)
        s.play->setVisible(!ffplay.isEmpty());
}

bool EdgePreview::isReading() const
{
    return m_strips[Head].reader->isRunning() || m_strips[Tail].reader->isRunning();
}

void EdgePreview::refresh()
{
    const QList<int> rows = m_view->selectedQueueRows();
    const QList<QueueItem> &items = m_view->queue()->items();
    std::optional<Edges> edges;
    if (rows.size() == 1 && rows.first() < items.size())
        edges = edgesFor(items.at(rows.first()), appSettings().thresholdDb);
    if (!edges || !m_edges || edges->path != m_edges->path)
        stopPlaying();
    m_edges = edges;
    m_failure.clear();

    if (!edges) {
        for (Strip &s : m_strips) {
            s.reader->cancel();
            s.wanted.clear();
            s.reading.clear();
            s.details->setText(rows.size() == 1 ? tr("NOT MEASURED") : QString());
            s.strip->setScene({});
            s.strip->clearPeaks();
            s.play->setEnabled(false);
        }
        m_fileText.clear();
        showNote(rows.size() == 1 ? tr("Analyse the file to see its head and tail.")
                                  : tr("Select one file to see its head and tail."));
        return;
    }

    // The same file rewritten since is another file to read.
    const QFileInfo info(edges->path);
    const QString stamp = edges->path + QLatin1Char('|') + QString::number(info.size()) + QLatin1Char('|')
            + QString::number(info.lastModified().toMSecsSinceEpoch());
    m_fileText = info.fileName() + PanelStyle::separator() + (edges->written ? tr("WRITTEN FILE") : tr("SOURCE"));
    for (const Side side : { Head, Tail }) {
        Strip &s = m_strips[side];
        const Edge &edge = side == Head ? edges->head : edges->tail;
        s.strip->setScene(edge.scene);
        s.play->setEnabled(edge.playSec > 0);
        const QString change = edge.changeSec < 0 ? tr("CUT %1 S").arg(fixed(-edge.changeSec, 2))
                : edge.changeSec > 0              ? tr("ADD %1 S").arg(fixed(edge.changeSec, 2))
                                                  : tr("NO CHANGE");
        s.details->setText(PanelStyle::join({ tr("SILENCE %1 S").arg(fixed(edge.silenceSec, 2)), change }));
        const QString key = stamp + QStringLiteral("|%1|%2").arg(fixed(edge.readFromSec, 3), fixed(edge.readSec, 3));
        if (key == s.wanted)
            continue;
        s.wanted = key;
        if (const QList<EnvelopeReader::Peak> *peaks = m_cache.object(key))
            s.strip->setPeaks(*peaks, edge.readFromSec, EnvelopeReader::PeakSec);
        else
            s.strip->clearPeaks();
    }
    showNote(QString());
    readMissing();
}

// Starts a read for each strip still without its peaks.
void EdgePreview::readMissing()
{
    if (!m_edges)
        return;
    const QString ffmpeg = ToolPaths::resolve(appSettings().ffmpegPath, appSettings().ffprobePath).ffmpeg;
    for (const Side side : { Head, Tail }) {
        Strip &s = m_strips[side];
        if (m_cache.contains(s.wanted)) {
            s.reader->cancel();
            s.reading.clear();
            continue;
        }
        if (m_running) {
            // A batch's children come first; this one waits for its end.
            s.reader->cancel();
            s.reading.clear();
            showNote(tr("Waiting for the run to finish..."));
            continue;
        }
        if (s.reading == s.wanted && s.reader->isRunning())
            continue;
        const Edge &edge = side == Head ? m_edges->head : m_edges->tail;
        s.reading = s.wanted;
        showNote(tr("Reading..."));
        s.reader->start(ffmpeg, m_edges->path, edge.readFromSec, edge.readSec);
    }
}

void EdgePreview::onRead(Side side, const QList<EnvelopeReader::Peak> &peaks, const QString &error)
{
    Strip &s = m_strips[side];
    const QString key = std::exchange(s.reading, QString());
    if (!error.isEmpty()) {
        m_failure = tr("Cannot read the edges - %1").arg(error);
        showNote(m_failure);
        return;
    }
    m_cache.insert(key, new QList<EnvelopeReader::Peak>(peaks), std::max<qsizetype>(peaks.size(), 1));
    if (key == s.wanted && m_edges) {
        const Edge &edge = side == Head ? m_edges->head : m_edges->tail;
        s.strip->setPeaks(peaks, edge.readFromSec, EnvelopeReader::PeakSec);
    }
    if (!isReading())
        showNote(m_failure);
}

// The file's name and which file it is, or what keeps the strips empty.
void EdgePreview::showNote(const QString &note)
{
    const QString text = note.isEmpty() ? m_fileText : note;
    m_fileLabel->setText(text.toUpper());
    m_fileLabel->setToolTip(m_fileText);
}

void EdgePreview::togglePlay(Side side)
{
    const bool again = m_player->playing() == side;
    stopPlaying();
    if (again || !m_edges || !m_player->isAvailable())
        return;
    m_strips[side].play->setChecked(true);
    m_strips[side].play->setText(tr("Stop"));
    m_player->play(side, playArguments(m_edges->path, side == Head ? m_edges->head : m_edges->tail, side));
}

QString EdgePreview::playCaption(Side side)
{
    return side == Head ? tr("Play head") : tr("Play tail");
}

void EdgePreview::stopPlaying()
{
    for (const Side side : { Head, Tail }) {
        m_strips[side].play->setChecked(false);
        m_strips[side].play->setText(playCaption(side));
    }
    m_player->stop();
}

} // namespace ks
