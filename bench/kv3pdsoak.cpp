// kv3pd-soak: the window polls a paced kv3pd-sim for a long time. Every 10 s
// one line: elapsed time, resident memory, polls done against those due at
// 10 Hz, the longest stall of the window's thread; at the end a verdict on the
// memory's drift and the missed polls. scripts/soak runs it.

#include "benchsupport.h"
#include "windowrig.h"

#include <QApplication>

#include <cstdio>

namespace {

constexpr int Baud = 38400; // a poll takes some 70 ms of its 100 there; at 9600 it would not fit
constexpr int ReportMs = 10000;
constexpr int SampleMs = 1000;
constexpr int WarmUpMs = 30000;
constexpr double PollHz = 10;
constexpr double DriftLimitMBPerHour = 1.0;
// The resident set grows in steps of the allocator's (some 132 KiB for the
// heap): in a short run one step alone reads as megabytes an hour. A drift
// fails only once the growth it stands for over the run is beyond a few steps.
constexpr double GrowthResolutionMB = 0.5;

// Least-squares slope of y over x.
double slope(const QVector<double> &x, const QVector<double> &y)
{
    const int n = x.size();
    if (n < 2)
        return 0;
    double mx = 0, my = 0;
    for (int i = 0; i < n; ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= n;
    my /= n;
    double sxy = 0, sxx = 0;
    for (int i = 0; i < n; ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
    }
    return sxx > 0 ? sxy / sxx : 0;
}

// Polls that may go missing without failing the run: one at each end of the
// count, where the poll in flight falls either side, and one in a thousand
// for the shared machine, whose scheduler now and then keeps the window's
// thread or the worker off the processor for more than the 100 ms between two
// polls, so that two ticks make one poll.
qint64 missTolerance(double due)
{
    return 2 + qint64(due / 1000);
}

} // namespace

int main(int argc, char *argv[])
{
    preferOffscreen();
    QApplication app(argc, argv);
    showOnlyWarnings();
    bool ok = false;
    const double minutes = app.arguments().value(1, QStringLiteral("60")).toDouble(&ok);
    if (!ok || minutes <= 0 || app.arguments().size() > 2) {
        std::fprintf(stderr, "usage: kv3pd-soak [MINUTES]   (default 60)\n");
        return 2;
    }

    SimProcess sim({QStringLiteral("--paced"), QStringLiteral("--baud"), QString::number(Baud),
                    QStringLiteral("1")});
    WindowRig rig;
    if (!sim.start() || !rig.connectTo(sim.port(), Baud)) {
        std::fprintf(stderr, "kv3pd-soak: no link to the virtual instrument\n");
        return 2;
    }
    std::printf("kv3pd-soak: %g min polling %s at %d baud\n", minutes, qPrintable(sim.port()),
                Baud);
    std::fflush(stdout);

    StallProbe probe;
    const MachineProbe machine;
    qint64 polls = 0;
    const auto countPolls = [&] {
        for (const WindowRig::Stamp &reply : qAsConst(rig.replies))
            if (reply.text == QLatin1String("read measured succeed"))
                ++polls;
        // Counted and dropped: a record of every reply would itself grow.
        rig.replies.clear();
    };
    countPolls();
    polls = 0;

    QVector<double> hours, megabytes;
    double longestStall = 0;
    const qint64 start = nowNs();
    const qint64 endNs = start + qint64(minutes * 60e9);
    while (nowNs() < endNs) {
        const qint64 from = nowNs();
        probe.start();
        for (int waited = 0; waited < ReportMs && nowNs() < endNs; waited += SampleMs) {
            idleFor(SampleMs);
            const double elapsedMs = msBetween(start, nowNs());
            if (elapsedMs >= WarmUpMs) {
                hours.append(elapsedMs / 3.6e6);
                megabytes.append(residentKiB() * 1024 / 1e6);
            }
        }
        const StallProbe::Stall stall = probe.longest(from, nowNs());
        longestStall = qMax(longestStall, stall.ms);
        countPolls();
        const double elapsed = msBetween(start, nowNs()) / 1000;
        // A bare thread late at the same time tells a machine that did not run
        // the process from a window that did not get to its timer.
        std::printf("%7.0f s  rss %6.1f MiB  polls %7lld / %7.0f  longest stall %s, bare thread "
                    "meanwhile %.2f ms\n",
                    elapsed, residentKiB() / 1024.0, polls, elapsed * PollHz,
                    qPrintable(StallProbe::describe(stall)),
                    machine.worstMs(stall.fromNs, stall.toNs));
        std::fflush(stdout);
    }
    probe.stop();

    const double due = msBetween(start, nowNs()) / 1000 * PollHz;
    const qint64 missed = qMax<qint64>(0, qint64(due) - polls);
    const double drift = slope(hours, megabytes);
    const double measuredHours = hours.isEmpty() ? 0 : hours.last() - hours.first();
    const bool drifting =
        drift >= DriftLimitMBPerHour && drift * measuredHours >= GrowthResolutionMB;
    const bool pass = !drifting && missed <= missTolerance(due);
    std::printf("verdict: drift %.2f MB/h (limit %.0f), missed polls %lld of %.0f (tolerance "
                "%lld), longest stall %.1f ms: %s\n",
                drift, DriftLimitMBPerHour, missed, due, missTolerance(due), longestStall,
                pass ? "pass" : "FAIL");
    return pass ? 0 : 1;
}
