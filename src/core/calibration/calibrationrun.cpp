#include "calibration/calibrationrun.h"

#include "calibration/calibrationstore.h"
#include "model/codetables.h"
#include "model/fieldcodec.h"
#include "worker/messages.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

CalibrationRun::CalibrationRun(QObject *parent) : QObject(parent) {}

CalibrationRun::~CalibrationRun() = default;

QString CalibrationRun::storePath() const
{
    return store ? store->path() : QString();
}

QString CalibrationRun::writeCommand() const
{
    return runPlan.page.channel == CalibrationChannel::Pressure ? Cmd::writePressureParam
                                                                : Cmd::writeTempParam;
}

bool CalibrationRun::open(const CalibrationPlan &plan, const QString &storePath)
{
    close();
    lastStoreError.clear();
    store = std::make_unique<CalibrationStore>(storePath);
    CalibrationRecord header;
    header.meterNumber = field::formatMeterNumber(plan.meter);
    header.meterType = meterTypeName(plan.meterType);
    header.channel = plan.page.channel;
    header.rangeLow = double(plan.page.rangeLow);
    header.rangeHigh = double(plan.page.rangeHigh);
    header.board = plan.board;
    header.firmwareVersion = plan.firmwareVersion;
    header.unit = unitName(plan.page.rangeUnit);
    header.decimals = plan.decimals;
    header.tolerancePct = plan.tolerancePct;
    header.settleWindowSeconds = plan.windowSeconds;
    header.settleBandPct = plan.bandPct;
    header.standard = plan.standard;
    header.standardSerial = plan.standardSerial;
    header.standardCertificate = plan.standardCertificate;
    header.standardUncertainty = plan.standardUncertainty;
    header.technician = plan.technician;
    header.ambient = plan.ambient;
    // Nothing is measured that could not be kept.
    if (!store->open() || !store->checkWritable() || !store->beginCalibration(&header)) {
        lastStoreError = store->errorString();
        return false;
    }
    runPlan = plan;
    rec = header;
    stats = SettlingStatistics(plan.windowSeconds, plan.bandPct / 100.0 * plan.span());
    runState = State::Ready;
    unfinished = false;
    emit changed();
    return true;
}

void CalibrationRun::close()
{
    if (runState == State::Closed)
        return;
    markFinished();
    runState = State::Closed;
    emit changed();
}

void CalibrationRun::markFinished()
{
    if (!unfinished)
        return;
    rec.finishedAt = QDateTime::currentDateTime();
    if (store->finishCalibration(rec.id, rec.finishedAt))
        unfinished = false;
    else
        lastStoreError = store->errorString();
}

bool CalibrationRun::canStart(CalibrationPhase phase) const
{
    if (runState != State::Ready)
        return false;
    return phase != CalibrationPhase::AsLeft || rec.adjusted.value_or(false);
}

bool CalibrationRun::start(CalibrationPhase phase, qint64 tMs)
{
    if (!canStart(phase))
        return false;
    runPhase = phase;
    unfinished = true;
    runState = State::Measuring;
    beginPoint(0, tMs);
    return true;
}

void CalibrationRun::beginPoint(int index, qint64 tMs)
{
    current = index;
    pointReference = runPlan.nominals.at(index);
    promptMs = tMs;
    heldOff = false;
    stats.reset();
    emit pointStarted(index, pointReference);
    emit changed();
}

void CalibrationRun::setReference(double value)
{
    pointReference = value;
}

void CalibrationRun::addSample(qint64 tMs, double reading, double rawAdc)
{
    if (runState != State::Measuring)
        return;
    stats.add(tMs, reading, rawAdc);
    heldOff = false;
    if (stats.isSettled() && std::isfinite(pointReference)) {
        if (nearestToReference(stats.mean())) {
            take(tMs, false);
            return;
        }
        heldOff = true;
    }
    emit changed();
}

bool CalibrationRun::nearestToReference(double value) const
{
    const double distance = std::fabs(value - pointReference);
    for (int k = 0; k < runPlan.nominals.size(); ++k) {
        if (k != current && std::fabs(value - runPlan.nominals[k]) <= distance)
            return false;
    }
    return true;
}

bool CalibrationRun::takeNow(qint64 tMs)
{
    if (runState != State::Measuring || stats.count() == 0 || !std::isfinite(pointReference))
        return false;
    take(tMs, true);
    return true;
}

void CalibrationRun::take(qint64 tMs, bool manual)
{
    CalibrationPoint p;
    p.phase = runPhase;
    p.idx = current + 1;
    p.nominal = runPlan.nominals.at(current);
    p.reference = pointReference;
    p.reading = stats.mean();
    p.mean = stats.mean();
    p.stddev = stats.standardDeviation();
    p.peakToPeak = stats.peakToPeak();
    p.sampleCount = stats.count();
    p.settleSeconds = double(tMs - promptMs) / 1000.0;
    p.manual = manual;
    p.rawAdc = stats.secondaryMean();
    p.window = stats.samples();
    judgePoint(&p, runPlan.span(), runPlan.tolerancePct);
    if (runPhase == CalibrationPhase::Adjust && !std::isfinite(p.rawAdc)) {
        // A point without a raw reading cannot go into the calibration.
        stats.reset();
        emit changed();
        return;
    }
    if (!keep(store->savePoint(rec.id, p)))
        return;

    auto same = [&](const CalibrationPoint &q) { return q.phase == p.phase && q.idx == p.idx; };
    const auto at = std::find_if(rec.points.begin(), rec.points.end(), same);
    if (at != rec.points.end())
        *at = p;
    else
        rec.points.append(p);

    if (current + 1 < runPlan.nominals.size())
        beginPoint(current + 1, tMs);
    else
        finishPhase();
}

bool CalibrationRun::keep(bool ok)
{
    if (ok)
        return true;
    lastStoreError = store->errorString();
    stopPhase();
    emit storeFailed(lastStoreError);
    return false;
}

void CalibrationRun::stopPhase()
{
    runState = State::Ready;
    stats.reset();
    emit changed();
}

void CalibrationRun::finishPhase()
{
    if (runPhase == CalibrationPhase::Adjust) {
        QVector<double> standard;
        QVector<double> collected;
        for (int k = 0; k < runPlan.nominals.size(); ++k) {
            const CalibrationPoint *p = result(CalibrationPhase::Adjust, k);
            float inStandardUnit = 0.0f;
            if (!p ||
                !convertUnit(float(p->reference), runPlan.page.rangeUnit, runPlan.page.standardUnit,
                             runPlan.page.medium, &inStandardUnit)) {
                finishAdjust(false);
                return;
            }
            standard << double(inStandardUnit);
            collected << p->rawAdc;
        }
        runState = State::Writing;
        writeSucceeded = false;
        emit changed();
        emit adjustmentReady(standard, collected);
        return;
    }
    bool pass = true;
    for (const CalibrationPoint &p : qAsConst(rec.points)) {
        if (p.phase == runPhase)
            pass = pass && p.pass.value_or(false);
    }
    if (!keep(store->setPhaseResult(rec.id, runPhase, pass)))
        return;
    (runPhase == CalibrationPhase::AsFound ? rec.asFoundPass : rec.asLeftPass) = pass;
    runState = State::Ready;
    markFinished();
    emit changed();
    emit phaseFinished(runPhase);
}

void CalibrationRun::finishAdjust(bool written)
{
    if (runState != State::Writing && runState != State::Measuring)
        return;
    rec.adjusted = written;
    runState = State::Ready;
    // The write happened whether or not it can be recorded; say so, but the
    // instrument's state is what as left goes on.
    if (!store->setPhaseResult(rec.id, CalibrationPhase::Adjust, written)) {
        lastStoreError = store->errorString();
        emit storeFailed(lastStoreError);
    }
    markFinished();
    emit changed();
    emit phaseFinished(CalibrationPhase::Adjust);
}

void CalibrationRun::writeRefused()
{
    finishAdjust(false);
}

void CalibrationRun::workerReply(const QString &message)
{
    if (runState != State::Writing)
        return;
    const QString command = writeCommand();
    if (message == Reply::succeed(command)) {
        writeSucceeded = true;
    } else if (message == Reply::failed(command)) {
        finishAdjust(false);
    } else if (writeSucceeded && message == Reply::facSaveSucceed) {
        finishAdjust(true);
    } else if (writeSucceeded && message == Reply::facSaveFailed) {
        finishAdjust(false);
    } else {
        const SplitMessage split = splitMessage(message);
        if (split.key == Reply::writesDropped &&
            split.argument.split(QLatin1Char(',')).contains(command))
            finishAdjust(false);
    }
}

void CalibrationRun::meterAnswering(std::optional<quint32> meter, qint64 tMs)
{
    if (runState == State::Closed)
        return;
    if (meter && *meter != runPlan.meter) {
        const quint32 other = *meter;
        close();
        emit aborted(other);
        return;
    }
    if (!meter && runState == State::Measuring) {
        runState = State::Paused;
        heldOff = false;
        stats.reset();
        emit changed();
    } else if (meter && runState == State::Paused) {
        // The technician's reference for this point stays as corrected.
        runState = State::Measuring;
        promptMs = tMs;
        stats.reset();
        emit changed();
    }
}

const CalibrationPoint *CalibrationRun::result(CalibrationPhase phase, int index) const
{
    for (const CalibrationPoint &p : rec.points) {
        if (p.phase == phase && p.idx == index + 1)
            return &p;
    }
    return nullptr;
}
