#include "traffic/trafficlog.h"

#include "model/timestamp.h"

#include <QIODevice>
#include <QStringList>
#include <QTextStream>

double TrafficLog::Counters::successRate() const
{
    return requests == 0 ? 0.0 : 100.0 * double(goodReplies) / double(requests);
}

TrafficLog::TrafficLog(const QDateTime &origin, QObject *parent)
    : QAbstractTableModel(parent), origin(origin)
{
    batchTimer.setSingleShot(true);
    batchTimer.setInterval(BatchIntervalMs);
    connect(&batchTimer, &QTimer::timeout, this, &TrafficLog::flush);
}

void TrafficLog::add(const QVector<TrafficEvent> &events)
{
    if (events.isEmpty())
        return;
    for (const TrafficEvent &e : events)
        countEvent(e);
    // Counters are shown with the batch too: a label per chunk would relayout the window.
    if (!batchTimer.isActive())
        batchTimer.start();
    if (isPaused)
        return;
    waiting += events;
    // Nothing older than the cap is worth holding for the next batch.
    if (waiting.size() > maxRows) {
        dropped += quint64(waiting.size() - maxRows);
        waiting.remove(0, waiting.size() - maxRows);
    }
}

void TrafficLog::flush()
{
    batchTimer.stop();
    emit countersChanged();
    if (waiting.isEmpty())
        return;
    const size_t limit = size_t(maxRows);
    const size_t overflow = rows.size() + size_t(waiting.size()) > limit
                                ? rows.size() + size_t(waiting.size()) - limit
                                : 0;
    if (overflow > 0) {
        const size_t drop = qMin(overflow, rows.size());
        if (drop > 0) {
            beginRemoveRows(QModelIndex(), 0, int(drop) - 1);
            rows.erase(rows.begin(), rows.begin() + long(drop));
            endRemoveRows();
        }
        dropped += overflow;
        // The batch alone may exceed the cap (a tiny cap): keep its newest rows.
        if (overflow > drop)
            waiting.remove(0, int(overflow - drop));
    }
    const int first = int(rows.size());
    beginInsertRows(QModelIndex(), first, first + waiting.size() - 1);
    rows.insert(rows.end(), waiting.cbegin(), waiting.cend());
    endInsertRows();
    waiting.clear();
    emit rowsAdded();
}

void TrafficLog::clear()
{
    batchTimer.stop();
    waiting.clear();
    beginResetModel();
    rows.clear();
    endResetModel();
    dropped = 0;
}

void TrafficLog::resetCounters()
{
    count = Counters();
    emit countersChanged();
}

void TrafficLog::countEvent(const TrafficEvent &e)
{
    using S = TrafficEvent::Status;
    if (!e.received) {
        ++count.requests;
        return;
    }
    switch (e.status) {
    case S::Ok:
        ++count.goodReplies;
        break;
    case S::Timeout:
        ++count.timeouts;
        break;
    case S::CrcError:
        ++count.crcErrors;
        break;
    case S::Exception:
        ++count.exceptions;
        break;
    case S::Foreign:
        ++count.foreign;
        break;
    case S::Noise:
        ++count.noise;
        break;
    }
}

QDateTime TrafficLog::wallTime(const TrafficEvent &e) const
{
    return origin.addMSecs(e.timeNs / 1000000);
}

QString TrafficLog::csvHeader()
{
    return QStringLiteral("time,direction,slave,function,address,count,length,hex,status");
}

QString TrafficLog::csvRow(const TrafficEvent &e) const
{
    auto number = [](int v) { return v < 0 ? QString() : QString::number(v); };
    // A write of one register carries its value where the others carry a count.
    const int countOrValue = e.value >= 0 ? e.value : e.count;
    return QStringList{rfc3339Utc(wallTime(e)),
                       e.directionText(),
                       number(e.slave),
                       e.functionText(),
                       number(e.address),
                       number(countOrValue),
                       QString::number(e.bytes.size()),
                       e.hexText(),
                       e.statusText()}
        .join(QLatin1Char(','));
}

bool TrafficLog::writeCsv(QIODevice &device) const
{
    QTextStream out(&device);
    out.setCodec("UTF-8");
    out << csvHeader() << '\n';
    for (const TrafficEvent &e : rows)
        out << csvRow(e) << '\n';
    out.flush();
    return out.status() == QTextStream::Ok;
}

int TrafficLog::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

int TrafficLog::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficLog::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= rows.size())
        return QVariant();
    const TrafficEvent &e = rows[size_t(index.row())];
    if (role != Qt::DisplayRole)
        return QVariant();
    auto number = [](int v) { return v < 0 ? QVariant() : QVariant(v); };
    switch (index.column()) {
    case TimeColumn:
        return wallTime(e).toString(QStringLiteral("hh:mm:ss.zzz"));
    case DirectionColumn:
        return e.directionText();
    case SlaveColumn:
        return number(e.slave);
    case FunctionColumn:
        return e.functionText();
    case AddressColumn:
        return number(e.address);
    case CountColumn:
        return e.value >= 0 ? QVariant(QStringLiteral("=%1").arg(e.value)) : number(e.count);
    case LengthColumn:
        return e.bytes.isEmpty() && e.status == TrafficEvent::Status::Timeout
                   ? QVariant()
                   : QVariant(e.bytes.size());
    case HexColumn:
        return e.hexText();
    case StatusColumn:
        return e.statusText();
    default:
        return QVariant();
    }
}

QVariant TrafficLog::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const titles[ColumnCount] = {
        QT_TR_NOOP("时间"), QT_TR_NOOP("方向"), QT_TR_NOOP("从站"),
        QT_TR_NOOP("功能"), QT_TR_NOOP("地址"), QT_TR_NOOP("数量/值"),
        QT_TR_NOOP("长度"), QT_TR_NOOP("字节"), QT_TR_NOOP("状态")};
    return section >= 0 && section < ColumnCount ? tr(titles[section]) : QVariant();
}
