#include "samplecalibration.h"

#include "calibration/calibrationstore.h"

#include <cmath>

CalibrationRecord storeSampleCalibration(const QString &databasePath)
{
    CalibrationStore store(databasePath);
    CalibrationRecord r;
    r.meterNumber = QStringLiteral("1911140042");
    r.meterType = QStringLiteral("pressure");
    r.board = QStringLiteral("KV-3PD");
    r.firmwareVersion = QStringLiteral("V0.12");
    r.rangeLow = 0.1;
    r.rangeHigh = 1.6;
    r.unit = QStringLiteral("MPa");
    r.decimals = 3;
    r.tolerancePct = 0.25;
    r.settleWindowSeconds = 3;
    r.settleBandPct = 0.0625;
    r.standard = QStringLiteral("Fluke 700G07");
    r.standardSerial = QStringLiteral("SN-4711");
    r.standardCertificate = QStringLiteral("CNAS-2026-0815");
    r.standardUncertainty = 0.001;
    r.technician = QStringLiteral("李工");
    r.ambient = QStringLiteral("23.1 ℃, 45 %RH");
    if (!store.open() || !store.beginCalibration(&r))
        return {};
    const double nominals[] = {0.1, 0.85, 1.6};
    const double found[] = {0.0014, 0.0061, -0.0009};
    bool ok = true;
    for (CalibrationPhase phase :
         {CalibrationPhase::AsFound, CalibrationPhase::Adjust, CalibrationPhase::AsLeft}) {
        for (int i = 0; i < 3; ++i) {
            CalibrationPoint p;
            p.phase = phase;
            p.idx = i + 1;
            p.nominal = nominals[i];
            p.reference = nominals[i] + 0.0002;
            p.error = phase == CalibrationPhase::AsFound ? found[i] : 0.0003;
            p.reading = p.reference + p.error;
            p.errorPctSpan = p.error / 1.5 * 100;
            if (phase != CalibrationPhase::Adjust)
                p.pass = std::abs(p.error) <= 0.00375;
            p.stddev = 0.0004;
            p.sampleCount = 16;
            p.manual = phase == CalibrationPhase::AsFound && i == 2;
            p.window = {{100, p.reading - 0.0001}, {200, p.reading + 0.0001}};
            ok = ok && store.savePoint(r.id, p);
        }
        ok = ok && store.setPhaseResult(r.id, phase, phase != CalibrationPhase::AsFound);
    }
    CalibrationRecord loaded;
    if (!ok || !store.finishCalibration(r.id, r.startedAt.addSecs(900)) ||
        !store.loadCalibration(r.certificate, &loaded))
        return {};
    return loaded;
}
