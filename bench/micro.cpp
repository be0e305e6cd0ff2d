// Throughput of the master's CRC and of its reply assembler, with Google
// Benchmark.

#include "modbus/kzmodbus.h"
#include "virtualinstrument.h"

#include <QByteArray>
#include <QThread>

#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>

namespace {

void crc16(benchmark::State &state)
{
    QByteArray bytes(int(state.range(0)), '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 37 + 11);
    const auto *data = reinterpret_cast<const quint8 *>(bytes.constData());
    for (auto _ : state)
        benchmark::DoNotOptimize(kzModbus::crc16(data, quint16(bytes.size())));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(crc16)->Arg(8)->Arg(89)->Arg(205);

// One whole reply fed byte by byte to a read of n registers in flight, as the
// window's thread feeds it; the request runs in a thread of its own.
void receiveByte(benchmark::State &state)
{
    const int registers = int(state.range(0));
    kzModbus master;
    master.setResponseTimeout(60000);
    master.setAttemptCount(1);
    std::atomic<bool> inFlight{false};
    std::atomic<bool> stop{false};
    QObject::connect(
        &master, &kzModbus::SendData, &master, [&](const QByteArray &) { inFlight.store(true); },
        Qt::DirectConnection);
    std::unique_ptr<QThread> requester(QThread::create([&] {
        while (!stop.load())
            master.readRegisters(0, quint16(registers));
    }));
    requester->start();

    VirtualInstrument instrument(1);
    QByteArray request;
    request.append(char(1)).append(char(kzModbus::FuncRead));
    request.append(char(0)).append(char(0)).append(char(0)).append(char(registers));
    const QByteArray reply = instrument.handleRequest(VirtualInstrument::withCrc(request));

    for (auto _ : state) {
        while (!inFlight.exchange(false))
            QThread::yieldCurrentThread();
        const auto start = std::chrono::steady_clock::now();
        for (char byte : reply)
            master.receiveByte(quint8(byte));
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    stop.store(true);
    master.abort();
    requester->wait();
    state.SetBytesProcessed(state.iterations() * reply.size());
}
BENCHMARK(receiveByte)->Arg(2)->Arg(42)->Arg(100)->UseManualTime()->Iterations(100);

} // namespace

BENCHMARK_MAIN();
