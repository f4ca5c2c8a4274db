#pragma once

#include "edgestrip.h"
#include "envelopereader.h"

#include <QCache>
#include <QFrame>
#include <QString>
#include <QStringList>

#include <optional>

class QLabel;
class QPushButton;
class QTimer;

namespace ks {

class EdgePlayer;
class QueueView;
struct QueueItem;

// The head and the tail of the selected file as two waveform strips in the
// status panel's look, with the planned cut or added silence marked and two
// buttons that play the new edges. A trimmed row shows the written file.
// ffmpeg reads each strip in a child of its own; the panel holds no child
// beyond its own life.
class EdgePreview final : public QFrame
{
    Q_OBJECT

public:
    enum Side { Head, Tail };

    // One strip: the stretch of the file read, what is drawn over it and
    // what "Play" lets one hear.
    struct Edge
    {
        EdgeStrip::Scene scene;
        double readFromSec = 0.0;
        double readSec = 0.0;
        double playFromSec = 0.0;
        double playSec = 0.0;
        double playPadSec = 0.0; // silence heard before the head's sound or after the tail's
        double silenceSec = 0.0; // as measured, in the file shown
        double changeSec = 0.0;  // negative cut, positive added
    };

    struct Edges
    {
        QString path; // the file shown: the source, or the written file of a trimmed row
        bool written = false;
        Edge head;
        Edge tail;
    };

    // A strip shows the silence and this much sound after it, but at least
    // ShortestStripSec, and never more than the file.
    static constexpr double SoundShownSec = 3.0;
    static constexpr double ShortestStripSec = 5.0;
    static constexpr double PlaySec = 3.0;

    explicit EdgePreview(QueueView *view, QWidget *parent = nullptr);
    ~EdgePreview() override;

    // While a scan or a batch runs, nothing new is read; strips already read
    // still show, and the rest follow when it is over.
    void setRunning(bool running);
    // The ffplay to play with; without one the play buttons are hidden.
    void setPlayer(const QString &ffplay);
    bool isReading() const;

    // What an item's preview shows; none until its length is known.
    static std::optional<Edges> edgesFor(const QueueItem &item, double thresholdDb);
    static QStringList playArguments(const QString &path, const Edge &edge, Side side);

private:
    Q_DISABLE_COPY_MOVE(EdgePreview)

    struct Strip
    {
        EdgeStrip *strip = nullptr;
        QLabel *details = nullptr;
        QPushButton *play = nullptr;
        EnvelopeReader *reader = nullptr;
        QString wanted;  // the cache key of what should show
        QString reading; // the key the reader is on
    };

    void refresh();
    void readMissing();
    void onRead(Side side, const QList<EnvelopeReader::Peak> &peaks, const QString &error);
    void showNote(const QString &note);
    void togglePlay(Side side);
    void stopPlaying();
    static QString playCaption(Side side); // the button's caption while nothing plays

    QueueView *m_view;
    Strip m_strips[2];
    QLabel *m_fileLabel;
    QTimer *m_settle;
    EdgePlayer *m_player;
    std::optional<Edges> m_edges;
    QString m_fileText;
    QString m_failure; // why a strip of the file shown could not be read
    QCache<QString, QList<EnvelopeReader::Peak>> m_cache;
    bool m_running = false;
};

} // namespace ks
