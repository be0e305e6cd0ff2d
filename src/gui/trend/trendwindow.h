#pragma once

// The live trend: pressure and temperature of every poll against time, each on
// its own axis in the unit the instrument reports, the statistics of the
// visible span, and recording to CSV. A top-level window that follows the
// window it was opened from; it listens to the worker's replies only.

#include "trend/csvrecorder.h"
#include "trend/trendbuffer.h"

#include <QString>
#include <QWidget>

#include <functional>

class QCPGraph;
class QComboBox;
class QCustomPlot;
class QLabel;
class QPushButton;
class QTimer;
class modbusThread;

class TrendWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int RedrawIntervalMs = 500;

    TrendWindow(modbusThread *worker, QWidget *parent = nullptr);

    // Asks for the recording's file name; tests replace it so no dialog is shown.
    using FileNameProvider = std::function<QString()>;
    void setFileNameProvider(FileNameProvider provider) { fileNameProvider = std::move(provider); }

    const TrendBuffer &samples() const { return buffer; }
    // The samples themselves, for a benchmark that puts an hour in at once.
    TrendBuffer &history() { return buffer; }
    const CsvRecorder &recorder() const { return csv; }
    // Takes the newest sample from the worker's mirror (on every poll's reply).
    void takeSample();
    // Redraws now instead of at the next tick.
    void redraw();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onWorkerMessage(const QString &message);
    void toggleRecording(bool on);
    void showStats(QLabel *label, const QString &name, TrendBuffer::Channel channel, double from,
                   double to, int decimals);

    modbusThread *worker;
    TrendBuffer buffer;
    CsvRecorder csv;
    QCustomPlot *plot;
    QCPGraph *pressureGraph;
    QCPGraph *temperatureGraph;
    QComboBox *spanCombo;
    QPushButton *pauseButton;
    QPushButton *recordButton;
    QLabel *pressureStats;
    QLabel *temperatureStats;
    QLabel *recordState;
    QTimer *redrawTimer;
    FileNameProvider fileNameProvider;
    int pressureDecimals = 0;
    int temperatureDecimals = 0;
    bool dirty = false;
};
