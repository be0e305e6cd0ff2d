#include "trend/trendwindow.h"

#include "model/codetables.h"
#include "model/livesample.h"
#include "shell/dialog_warning.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QComboBox>
#include <QDateTime>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <limits>

namespace {

constexpr int spanSeconds[] = {60, 600, 3600};
// The decimals register is meant to hold 0..4; a garbled one must not widen the text.
constexpr int maxDecimals = 6;

// Segments joined into one line with a gap (NaN) between them.
void setSegments(QCPGraph *graph, const QVector<TrendBuffer::Segment> &segments)
{
    QVector<double> t;
    QVector<double> v;
    for (const TrendBuffer::Segment &s : segments) {
        if (!t.isEmpty()) {
            t.append(s.times.first());
            v.append(std::numeric_limits<double>::quiet_NaN());
        }
        t += s.times;
        v += s.values;
    }
    graph->setData(t, v, true);
}

} // namespace

TrendWindow::TrendWindow(modbusThread *modbusWorker, QWidget *parent)
    : QWidget(parent, Qt::Window), worker(modbusWorker)
{
    setObjectName(QStringLiteral("trendWindow"));
    setWindowTitle(tr("趋势曲线"));
    resize(900, 560);

    spanCombo = new QComboBox(this);
    spanCombo->setObjectName(QStringLiteral("comboBox_trendSpan"));
    spanCombo->addItems({tr("1 分钟"), tr("10 分钟"), tr("1 小时")});
    pauseButton = new QPushButton(tr("暂停"), this);
    pauseButton->setObjectName(QStringLiteral("pushButton_trendPause"));
    pauseButton->setCheckable(true);
    recordButton = new QPushButton(tr("开始记录"), this);
    recordButton->setObjectName(QStringLiteral("pushButton_record"));
    recordButton->setCheckable(true);
    recordState = new QLabel(this);
    recordState->setObjectName(QStringLiteral("label_recordState"));
    pressureStats = new QLabel(this);
    pressureStats->setObjectName(QStringLiteral("label_pressureStats"));
    temperatureStats = new QLabel(this);
    temperatureStats->setObjectName(QStringLiteral("label_temperatureStats"));
    for (QLabel *l : {pressureStats, temperatureStats})
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);

    plot = new QCustomPlot(this);
    plot->setObjectName(QStringLiteral("trendPlot"));
    plot->setMinimumHeight(300);
    // An hour of samples: plain polylines keep a redraw within a frame.
    plot->setPlottingHints(QCP::phFastPolylines | QCP::phCacheLabels);
    plot->setNotAntialiasedElements(QCP::aeAll);
    QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
    ticker->setDateTimeFormat(QStringLiteral("hh:mm:ss"));
    plot->xAxis->setTicker(ticker);
    plot->yAxis2->setVisible(true);
    pressureGraph = plot->addGraph(plot->xAxis, plot->yAxis);
    pressureGraph->setPen(QPen(QColor(0, 120, 215), 1.5));
    temperatureGraph = plot->addGraph(plot->xAxis, plot->yAxis2);
    temperatureGraph->setPen(QPen(QColor(220, 80, 30), 1.5));
    plot->yAxis->setLabelColor(QColor(0, 120, 215));
    plot->yAxis2->setLabelColor(QColor(220, 80, 30));
    // Paused, the time axis can be dragged and zoomed; the statistics follow it.
    plot->axisRect()->setRangeDrag(Qt::Horizontal);
    plot->axisRect()->setRangeZoom(Qt::Horizontal);

    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(tr("时间跨度"), this));
    controls->addWidget(spanCombo);
    controls->addWidget(pauseButton);
    controls->addStretch(1);
    controls->addWidget(recordState);
    controls->addWidget(recordButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(plot, 1);
    layout->addWidget(pressureStats);
    layout->addWidget(temperatureStats);

    connect(spanCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &TrendWindow::redraw);
    connect(pauseButton, &QPushButton::toggled, this, [this](bool on) {
        pauseButton->setText(on ? tr("继续") : tr("暂停"));
        plot->setInteractions(on ? QCP::iRangeDrag | QCP::iRangeZoom : QCP::Interactions());
        if (!on)
            redraw();
    });
    connect(plot->xAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), this, [this] {
        if (pauseButton->isChecked())
            dirty = true;
    });
    connect(recordButton, &QPushButton::toggled, this, &TrendWindow::toggleRecording);
    // Queued: the warning waits for its OK outside the poll that found the error.
    connect(
        &csv, &CsvRecorder::failed, this,
        [this](const QString &reason) {
            recordState->setText(tr("记录已停止，写入失败：%1").arg(reason));
            const QSignalBlocker block(recordButton);
            recordButton->setChecked(false);
            recordButton->setText(tr("开始记录"));
            Dialog_Warning::warn(this, Dialog_Warning::fileNotWritten(csv.fileName(), reason));
        },
        Qt::QueuedConnection);
    if (worker)
        connect(worker, &modbusThread::sendMessageToMainThread, this,
                &TrendWindow::onWorkerMessage);

    redrawTimer = new QTimer(this);
    redrawTimer->setInterval(RedrawIntervalMs);
    connect(redrawTimer, &QTimer::timeout, this, [this] {
        if (dirty && isVisible())
            redraw();
    });
    redrawTimer->start();

    if (parent)
        parent->installEventFilter(this);
    redraw();
}

bool TrendWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Close)
        close();
    return QWidget::eventFilter(watched, event);
}

void TrendWindow::onWorkerMessage(const QString &message)
{
    if (message == Reply::readMeasuredSucceed)
        takeSample();
}

void TrendWindow::takeSample()
{
    LiveSample s;
    {
        auto m = worker->lockMirror();
        s = LiveSample::fromMirror(*m, QDateTime::currentDateTime());
    }
    buffer.add(s.time.toMSecsSinceEpoch() / 1000.0, s.pressure, s.pressureTrendUnit(),
               s.temperature, s.temperatureTrendUnit());
    // Without the instrument's decimals the statistics keep every digit there is.
    pressureDecimals = s.unitsKnown ? qMin<int>(s.pressureDecimals, maxDecimals) : maxDecimals;
    temperatureDecimals =
        s.unitsKnown ? qMin<int>(s.temperatureDecimals, maxDecimals) : maxDecimals;
    csv.append(s);
    dirty = true;
}

void TrendWindow::redraw()
{
    dirty = false;
    double from = 0;
    double to = 0;
    if (pauseButton->isChecked()) {
        from = plot->xAxis->range().lower;
        to = plot->xAxis->range().upper;
    } else {
        to = buffer.size() > 0 ? buffer.lastTime() : QDateTime::currentMSecsSinceEpoch() / 1000.0;
        from = to - spanSeconds[qBound(0, spanCombo->currentIndex(), 2)];
        setSegments(pressureGraph, buffer.segments(TrendBuffer::Pressure, from, to));
        setSegments(temperatureGraph, buffer.segments(TrendBuffer::Temperature, from, to));
        plot->xAxis->setRange(from, to);
        pressureGraph->rescaleValueAxis(false, true);
        temperatureGraph->rescaleValueAxis(false, true);
    }
    showStats(pressureStats, tr("压力"), TrendBuffer::Pressure, from, to, pressureDecimals);
    showStats(temperatureStats, tr("温度"), TrendBuffer::Temperature, from, to,
              temperatureDecimals);
    plot->replot();
}

void TrendWindow::showStats(QLabel *label, const QString &name, TrendBuffer::Channel channel,
                            double from, double to, int decimals)
{
    const TrendBuffer::Stats st = buffer.stats(channel, from, to);
    const QString unit =
        st.count > 0 && st.unit != LiveSample::NoUnit ? unitName(st.unit) : QString();
    const QString title = unit.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, unit);
    QCPAxis *axis = channel == TrendBuffer::Pressure ? plot->yAxis : plot->yAxis2;
    axis->setLabel(title);
    if (st.count == 0) {
        label->setText(tr("%1：无数据").arg(name));
        return;
    }
    auto f = [](double v, int d) { return QString::number(v, 'f', d); };
    label->setText(tr("%1：最新 %2  最小 %3  最大 %4  平均 %5  标准差 %6  样本数 %7")
                       .arg(title, f(st.last, decimals), f(st.minimum, decimals),
                            f(st.maximum, decimals), f(st.mean, decimals + 1),
                            f(st.stdDev, decimals + 2))
                       .arg(st.count));
}

void TrendWindow::toggleRecording(bool on)
{
    if (!on) {
        recordButton->setText(tr("开始记录"));
        if (csv.stop()) {
            recordState->setText(tr("已记录 %1 行").arg(csv.rowsWritten()));
        } else {
            recordState->setText(tr("记录失败：%1").arg(csv.errorString()));
            Dialog_Warning::warn(this,
                                 Dialog_Warning::fileNotWritten(csv.fileName(), csv.errorString()));
        }
        return;
    }
    const QString path =
        fileNameProvider
            ? fileNameProvider()
            : QFileDialog::getSaveFileName(this, tr("记录到CSV文件"), QString(), tr("CSV (*.csv)"));
    if (path.isEmpty() || !csv.start(path)) {
        const QSignalBlocker block(recordButton);
        recordButton->setChecked(false);
        if (!path.isEmpty()) {
            recordState->setText(tr("无法记录：%1").arg(csv.errorString()));
            Dialog_Warning::warn(this, Dialog_Warning::fileNotWritten(path, csv.errorString()));
        }
        return;
    }
    recordButton->setText(tr("停止记录"));
    recordState->setText(tr("记录中：%1").arg(path));
}
