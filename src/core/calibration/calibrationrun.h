#pragma once

// One guided calibration of one channel of one meter, driven by the polls'
// readings and by what the link and the worker report: as found, adjust and
// as left, each point taken once the reading has settled (or at once, by
// hand), kept in the calibration records the moment it is taken.
//
// A lost link pauses a phase at its point; the same meter answering again
// resumes it there, another meter ends the calibration. The adjustment is
// handed to whoever writes it (adjustmentReady), and the run follows the
// worker's replies to that write and its factory save. Times are the
// caller's milliseconds; no widgets.

#include "calibration/calibrationplan.h"
#include "calibration/calibrationrecord.h"
#include "calibration/settlingstatistics.h"

#include <QObject>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <memory>
#include <optional>

class CalibrationStore;

class CalibrationRun : public QObject
{
    Q_OBJECT

public:
    enum class State
    {
        Closed,    // no calibration open: none yet, or ended
        Ready,     // open, between phases
        Measuring, // a phase waits for its point's reading to settle
        Paused,    // the link was lost in a phase: waits for the same meter
        Writing    // the adjustment is being written and saved
    };

    explicit CalibrationRun(QObject *parent = nullptr);
    ~CalibrationRun() override;

    // Begins a calibration: opens the records at storePath, makes sure they
    // can be written and enters the calibration's header. False, with nothing
    // begun, when the records cannot keep it (storeError() says why). An open
    // calibration is closed first.
    bool open(const CalibrationPlan &plan, const QString &storePath);
    // Ends the calibration; a phase in progress stops without a verdict.
    void close();

    // As found and adjust from Ready; as left once the adjustment is written.
    bool canStart(CalibrationPhase phase) const;
    bool start(CalibrationPhase phase, qint64 tMs);
    // What the reference standard shows for the point being measured; NaN
    // while there is no number, which takes no point.
    void setReference(double value);
    void addSample(qint64 tMs, double reading, double rawAdc);
    // Takes the point now, settled or not, marked manual. False while there is
    // no reading or no reference.
    bool takeNow(qint64 tMs);
    // The meter known to answer now (nothing while the link is down or the
    // meter has not told its number since).
    void meterAnswering(std::optional<quint32> meter, qint64 tMs);
    // Every reply of the worker; the run follows those of its own write.
    void workerReply(const QString &message);
    // The adjustment was not sent (the window refused the write).
    void writeRefused();

    State state() const { return runState; }
    bool isOpen() const { return runState != State::Closed; }
    CalibrationPhase phase() const { return runPhase; }
    int point() const { return current; } // index into plan().nominals
    double reference() const { return pointReference; }
    // Settled, but nearer another point's value than this one's: not taken,
    // since the technician has not applied this point yet.
    bool isHeldOff() const { return heldOff; }
    const SettlingStatistics &statistics() const { return stats; }
    const CalibrationPlan &plan() const { return runPlan; }
    // The calibration as kept: header, verdicts and the points taken so far.
    const CalibrationRecord &record() const { return rec; }
    const CalibrationPoint *result(CalibrationPhase phase, int index) const;
    QString storePath() const;
    QString storeError() const { return lastStoreError; }
    // The write command of the plan's channel.
    QString writeCommand() const;

signals:
    void changed();
    void pointStarted(int index, double nominal);
    void phaseFinished(CalibrationPhase phase);
    // Standard values (in the standard unit) and collected values (mean raw
    // ADC) of the adjust points, to be written as the channel's calibration.
    void adjustmentReady(const QVector<double> &standard, const QVector<double> &collected);
    void aborted(quint32 otherMeter);
    // A point or a verdict could not be kept; the phase has stopped.
    void storeFailed(const QString &reason);

private:
    void beginPoint(int index, qint64 tMs);
    bool nearestToReference(double value) const;
    void take(qint64 tMs, bool manual);
    void finishPhase();
    void finishAdjust(bool written);
    bool keep(bool ok);
    void stopPhase();
    void markFinished();

    std::unique_ptr<CalibrationStore> store;
    QString lastStoreError;
    CalibrationPlan runPlan;
    CalibrationRecord rec;
    State runState = State::Closed;
    CalibrationPhase runPhase = CalibrationPhase::AsFound;
    int current = 0;
    double pointReference = qQNaN();
    qint64 promptMs = 0;
    bool heldOff = false;
    SettlingStatistics stats{3.0, 0.0};
    bool writeSucceeded = false; // the adjustment's write, before its save
    bool unfinished = false;     // something happened since finished_at was set
};
