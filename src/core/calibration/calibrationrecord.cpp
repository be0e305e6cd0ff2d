#include "calibration/calibrationrecord.h"

namespace {

const char *const phaseNames[] = {"as_found", "adjust", "as_left"};
const char *const channelNames[] = {"pressure", "temperature"};

template <class Enum, int N>
bool fromName(const QString &name, const char *const (&names)[N], Enum *value)
{
    for (int i = 0; i < N; ++i) {
        if (name == QLatin1String(names[i])) {
            *value = Enum(i);
            return true;
        }
    }
    return false;
}

} // namespace

QString calibrationPhaseName(CalibrationPhase phase)
{
    return QLatin1String(phaseNames[int(phase)]);
}

bool calibrationPhaseFromName(const QString &name, CalibrationPhase *phase)
{
    return fromName(name, phaseNames, phase);
}

QString calibrationChannelName(CalibrationChannel channel)
{
    return QLatin1String(channelNames[int(channel)]);
}

bool calibrationChannelFromName(const QString &name, CalibrationChannel *channel)
{
    return fromName(name, channelNames, channel);
}

QString meterTypeName(quint16 code)
{
    switch (code) {
    case 0:
        return QStringLiteral("pressure");
    case 1:
        return QStringLiteral("temperature");
    case 2:
        return QStringLiteral("combined");
    default:
        return QStringLiteral("unknown (%1)").arg(code);
    }
}
