#include "model/comparison.h"

#include "model/backupfile.h"
#include "worker/messages.h"

#include <algorithm>
#include <array>

namespace compare {

namespace {

using Registers = std::array<quint16, RegisterMirror::Size>;

// An image placed at its own register numbers, so fields read it as a mirror.
Registers placed(const quint16 *image42to318)
{
    Registers regs{};
    std::copy_n(image42to318, backup::RegisterCount, regs.begin() + backup::FirstRegister);
    return regs;
}

bool sameWords(const fields::Field &f, const Registers &a, const Registers &b)
{
    return std::equal(a.begin() + f.first, a.begin() + f.last() + 1, b.begin() + f.first);
}

bool contains(const RegisterBlock &outer, const RegisterBlock &inner)
{
    return inner.first >= outer.first && inner.last() <= outer.last();
}

} // namespace

QVector<Row> compareImages(const quint16 *a42to318, const quint16 *b42to318, fields::Style style)
{
    const Registers a = placed(a42to318);
    const Registers b = placed(b42to318);
    QVector<Row> rows;
    for (const fields::Field &f : fields::table()) {
        if (!f.compared())
            continue;
        Row row{&f, fields::valueText(f, a.data(), style), fields::valueText(f, b.data(), style),
                State::Same};
        if (!sameWords(f, a, b)) {
            // A float the pages would show alike differs only in digits nobody sees.
            const bool approx = f.kind == fields::Kind::Float &&
                                fields::valueText(f, a.data()) == fields::valueText(f, b.data());
            row.state = approx ? State::Approx : State::Different;
        }
        rows.append(row);
    }
    return rows;
}

bool allEqual(const QVector<Row> &rows)
{
    return std::all_of(rows.begin(), rows.end(), [](const Row &r) { return r.equal(); });
}

quint32 meterNumberOf(const quint16 *image42to318)
{
    const int at = Reg::meterNumber - backup::FirstRegister;
    return quint32(image42to318[at]) | (quint32(image42to318[at + 1]) << 16);
}

bool mayWrite(const fields::Field &field, bool sameMeter)
{
    return sameMeter || field.last() < OtherMeterFirst || field.first > OtherMeterLast;
}

QVector<WriteBlock> blocksFor(const QVector<const fields::Field *> &chosen)
{
    using namespace Blocks;
    // Smallest first: a field goes with the least the instrument must take again.
    static const WriteBlock candidates[] = {
        {clrBlock, Cmd::writeClr, QString()},
        {meterParamBlock, Cmd::writeMeterParam, Cmd::readMeterParam},
        {yaliEcjzBlock, Cmd::writeYaliEcjz, Cmd::readYaliEcjz},
        {wenduEcjzBlock, Cmd::writeWenduEcjz, Cmd::readWenduEcjz},
        {userParamBlock, Cmd::writeUserParam, Cmd::readUserParam},
        {pressureParamBlock, Cmd::writePressureParam, Cmd::readPressureParam},
        {tempParamBlock, Cmd::writeTempParam, Cmd::readTempParam},
        {customRegBlock, Cmd::writeCustomReg, Cmd::readCustomReg},
    };
    QVector<WriteBlock> picked;
    for (const fields::Field *f : chosen) {
        const RegisterBlock own{f->first, f->count};
        for (const WriteBlock &c : candidates) {
            if (!contains(c.block, own))
                continue;
            const bool already =
                std::any_of(picked.begin(), picked.end(), [&](const WriteBlock &p) {
                    return p.block.first == c.block.first && p.block.count == c.block.count;
                });
            if (!already)
                picked.append(c);
            break;
        }
    }
    // A block inside another that is written anyway goes with it.
    QVector<WriteBlock> blocks;
    for (const WriteBlock &p : qAsConst(picked)) {
        const bool inside = std::any_of(picked.begin(), picked.end(), [&](const WriteBlock &o) {
            return o.block.count > p.block.count && contains(o.block, p.block);
        });
        if (!inside)
            blocks.append(p);
    }
    std::sort(blocks.begin(), blocks.end(), [](const WriteBlock &x, const WriteBlock &y) {
        return x.block.first < y.block.first;
    });
    return blocks;
}

} // namespace compare
