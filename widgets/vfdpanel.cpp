#include "vfdpanel.h"

#include "panelpalette.h"
#include "panelstyle.h"

#include "blockmeter.h"
#include "daytimeline.h"
#include "segmentdisplay.h"
#include "statuschip.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QTime>
#include <QTimer>

#include <algorithm>

namespace ks {

namespace {

constexpr int meterBlocks = 34;
constexpr int clockDigitHeight = 66;
constexpr int timelineIntervalMs = 30000;

} // namespace

VfdPanel::VfdPanel(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("VfdPanel"));

    setFont(PanelPalette::panelFont(font()));

    m_clock = new SegmentDisplay(this);
    m_clock->setObjectName(QStringLiteral("clock"));
    m_clock->setDigitHeight(clockDigitHeight);
    m_clock->setText(clockText(-1));

    auto *leftColumn = new QVBoxLayout;
    leftColumn->setSpacing(2);
    leftColumn->addWidget(makeLabel(tr("ELAPSED"), "caption", Qt::AlignLeft));
    leftColumn->addWidget(m_clock);

    auto *progressHeader = new QHBoxLayout;
    progressHeader->addWidget(makeLabel(tr("PROGRESS"), "caption", Qt::AlignLeft));
    progressHeader->addStretch(1);
    m_fileLabel = makeLabel(QString(), "info", Qt::AlignRight);
    m_fileLabel->setObjectName(QStringLiteral("fileLabel"));
    // The name is elided to a share of the panel's width; were the label to
    // insist on its whole text, a long name would hold the window wide open.
    m_fileLabel->setMinimumWidth(1);
    progressHeader->addWidget(m_fileLabel);

    m_fileMeter = new BlockMeter(this);
    m_fileMeter->setObjectName(QStringLiteral("fileMeter"));
    m_fileMeter->setBlockCount(meterBlocks);
    m_fileMeter->setScheme(BlockMeter::UniformScheme);
    m_fileMeter->setValue(-1);
    m_batchMeter = new BlockMeter(this);
    m_batchMeter->setObjectName(QStringLiteral("batchMeter"));
    m_batchMeter->setBlockCount(meterBlocks);
    m_batchMeter->setScheme(BlockMeter::GradedScheme);
    m_batchMeter->setValue(-1);
    m_batchMeter->setScaleLabels({ QStringLiteral("0"), QStringLiteral("25"), QStringLiteral("50"),
            QStringLiteral("75"), QStringLiteral("100%") });

    // The captions sit level with the blocks, not with the middle of the
    // BATCH meter's scale.
    auto *meterGrid = new QGridLayout;
    meterGrid->setHorizontalSpacing(8);
    meterGrid->setVerticalSpacing(4);
    meterGrid->addWidget(makeLabel(tr("FILE"), "caption", Qt::AlignLeft), 0, 0, Qt::AlignTop);
    meterGrid->addWidget(m_fileMeter, 0, 1);
    meterGrid->addWidget(makeLabel(tr("BATCH"), "caption", Qt::AlignLeft), 1, 0, Qt::AlignTop);
    meterGrid->addWidget(m_batchMeter, 1, 1);
    meterGrid->setColumnStretch(1, 1);

    auto *rightColumn = new QVBoxLayout;
    rightColumn->setSpacing(4);
    rightColumn->addLayout(progressHeader);
    rightColumn->addLayout(meterGrid);
    rightColumn->addStretch(1);

    auto *topRow = new QHBoxLayout;
    topRow->setSpacing(26);
    topRow->addLayout(leftColumn, 0);
    topRow->addLayout(rightColumn, 1);

    m_scanChip = new StatusChip(tr("SCAN"), StatusChip::IndicatorStyle, this);
    m_scanChip->setObjectName(QStringLiteral("scanChip"));
    m_trimChip = new StatusChip(tr("TRIM"), StatusChip::IndicatorStyle, this);
    m_trimChip->setObjectName(QStringLiteral("trimChip"));
    m_skipChip = new StatusChip(tr("SKIP"), StatusChip::IndicatorStyle, this);
    m_skipChip->setObjectName(QStringLiteral("skipChip"));
    m_errorChip = new StatusChip(tr("ERR"), StatusChip::IndicatorStyle, this);
    m_errorChip->setObjectName(QStringLiteral("errorChip"));
    m_errorChip->setColor(QColor(PanelPalette::ErrorChip));
    m_skipChip->setColor(QColor(PanelPalette::SkipChip));

    m_detectionChip
            = new StatusChip(tr("-50 DB") + PanelStyle::separator() + tr("0.50 S"), StatusChip::ValueStyle, this);
    m_detectionChip->setObjectName(QStringLiteral("detectionChip"));
    m_endsChip
            = new StatusChip(tr("HEAD OFF") + PanelStyle::separator() + tr("TAIL OFF"), StatusChip::ValueStyle, this);
    m_endsChip->setObjectName(QStringLiteral("endsChip"));

    m_outputLabel = makeLabel(QString(), "info", Qt::AlignRight);
    m_outputLabel->setObjectName(QStringLiteral("outputLabel"));
    // A long destination folder must never widen the panel.
    m_outputLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_outputText = (tr("OUT") + PanelStyle::separator() + tr("NOT SET")).toUpper();
    refreshOutputLine();

    auto *chipRow = new QHBoxLayout;
    chipRow->setSpacing(6);
    chipRow->addWidget(m_scanChip);
    chipRow->addWidget(m_trimChip);
    chipRow->addWidget(m_skipChip);
    chipRow->addWidget(m_errorChip);
    chipRow->addSpacing(10);
    chipRow->addWidget(m_detectionChip);
    chipRow->addSpacing(6);
    chipRow->addWidget(m_endsChip);
    // The output line takes the rest of the row and shows its text at the
    // right end. A stretch beside it would take all of that room, since the
    // label asks for none.
    chipRow->addWidget(m_outputLabel, 1);

    m_timeline = new DayTimeline(this);
    m_timeline->setObjectName(QStringLiteral("timeline"));
    QLabel *todayCaption = makeLabel(tr("TODAY"), "caption", Qt::AlignLeft);
    todayCaption->setFixedWidth(46);
    auto *todayRow = new QHBoxLayout;
    todayRow->setSpacing(10);
    todayRow->addWidget(todayCaption);
    todayRow->addWidget(m_timeline, 1);

    m_summaryLabel = makeLabel(tr("NO RUN YET"), "summary", Qt::AlignLeft);
    m_summaryLabel->setObjectName(QStringLiteral("summaryLabel"));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 12, 16, 10);
    outer->setSpacing(10);
    outer->addLayout(topRow);
    outer->addLayout(chipRow);
    outer->addLayout(todayRow);
    outer->addWidget(m_summaryLabel);

    m_clockTimer = new QTimer(this);
    m_clockTimer->setInterval(timelineIntervalMs);
    connect(m_clockTimer, &QTimer::timeout, this, &VfdPanel::refreshCurrentSlot);
    m_clockTimer->start();
    refreshCurrentSlot();

    refreshFileLine();
}

void VfdPanel::setPhase(Phase phase)
{
    m_scanChip->setLit(phase == Scanning);
    m_trimChip->setLit(phase == Analysing || phase == Trimming);
    m_errorChip->setLit(phase == Error);
    if (phase != Idle)
        return;
    m_fileMeter->setValue(-1);
    m_batchMeter->setValue(-1);
    m_fileName.clear();
    refreshFileLine();
}

void VfdPanel::setElapsedSeconds(int seconds)
{
    m_clock->setText(clockText(seconds));
}

void VfdPanel::setFileProgress(int percent)
{
    m_fileMeter->setValue(percent);
}

void VfdPanel::setBatchProgress(int percent)
{
    m_batchMeter->setValue(percent);
}

void VfdPanel::setCurrentFile(const QString &fileName)
{
    m_fileName = fileName;
    refreshFileLine();
}

void VfdPanel::setDetection(const QString &text)
{
    m_detectionChip->setText(text);
    // The output line gets the room the chips leave.
    refreshOutputLine();
}

void VfdPanel::setEnds(const QString &text)
{
    m_endsChip->setText(text);
    refreshOutputLine();
}

void VfdPanel::setOutput(const QString &text)
{
    m_outputText = text.toUpper();
    refreshOutputLine();
}

void VfdPanel::setSummary(const QString &text)
{
    m_summaryLabel->setText(text.toUpper());
}

void VfdPanel::setSkipLit(bool lit)
{
    m_skipChip->setLit(lit);
}

void VfdPanel::setErrorLit(bool lit)
{
    m_errorChip->setLit(lit);
}

void VfdPanel::markToday()
{
    m_timeline->markNow();
}

void VfdPanel::clearToday()
{
    m_timeline->clear();
}

QString VfdPanel::clockText(int seconds)
{
    if (seconds < 0)
        return QStringLiteral("-:--:--");
    // Hours are not wrapped: a run past a day still reads true.
    return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

int VfdPanel::fileElideWidth(int panelWidth)
{
    return panelWidth <= 241 ? 120 : panelWidth / 2;
}

int VfdPanel::outputElideWidth(int panelWidth, int detectionWidth, int endsWidth)
{
    return std::max(panelWidth - detectionWidth - endsWidth - 300, 140);
}

void VfdPanel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    refreshFileLine();
    refreshOutputLine();
}

QLabel *VfdPanel::makeLabel(const QString &text, const char *role, Qt::Alignment alignment)
{
    auto *label = new QLabel(text, this);
    label->setProperty("vfdRole", QString::fromLatin1(role));
    label->setAlignment(alignment | Qt::AlignVCenter);
    return label;
}

void VfdPanel::refreshFileLine()
{
    if (m_fileName.isEmpty()) {
        m_fileLabel->setText(QStringLiteral("---"));
        return;
    }
    // Elided at the left: the end of the name and its extension say most.
    const QFontMetrics metrics(m_fileLabel->font());
    m_fileLabel->setText(metrics.elidedText(m_fileName.toUpper(), Qt::ElideLeft, fileElideWidth(width())));
}

void VfdPanel::refreshOutputLine()
{
    const QFontMetrics metrics(m_outputLabel->font());
    const int room = outputElideWidth(width(), m_detectionChip->sizeHint().width(), m_endsChip->sizeHint().width());
    m_outputLabel->setText(metrics.elidedText(m_outputText, Qt::ElideMiddle, room));
    m_outputLabel->setToolTip(m_outputText);
}

void VfdPanel::refreshCurrentSlot()
{
    m_timeline->setCurrentSlot(DayTimeline::slotOf(QTime::currentTime()));
}

} // namespace ks
