#include "certificatewriter.h"

#include "calibration/uncertainty.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTranslator>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>

// Outside any namespace: the macro declares the resource's initialiser, which
// lives in the kv3pd_translations library.
static void initTranslationResources()
{
    Q_INIT_RESOURCE(translations);
}

namespace {

constexpr int Dpi = 300;
// QCustomPlot lays a plot out in screen pixels; it is drawn scaled to the page.
constexpr double PlotDpi = 96;

double mm(double v)
{
    return v * Dpi / 25.4;
}

const double PageLeft = mm(20);
const double PageWidth = mm(170);
const double HeaderLine = mm(19);
const double ContentTop = mm(25);
const double ContentBottom = mm(276);
const double FooterTop = mm(281);

const QString Dash = QStringLiteral("—");

QString shortest(double v)
{
    return std::isfinite(v) ? QString::number(v, 'g', 10) : Dash;
}

QString fixed(double v, int places)
{
    if (!std::isfinite(v))
        return Dash;
    QString s = QString::number(v, 'f', places);
    // A small negative error rounded to zero is shown as zero.
    if (s.startsWith(QLatin1Char('-')) && !s.contains(QRegularExpression(QStringLiteral("[1-9]"))))
        s.remove(0, 1);
    return s;
}

QString twoDigits(double v)
{
    return std::isfinite(v) ? QString::number(v, 'g', 2) : Dash;
}

// A CJK family for every text: free texts (names, the ambient, the
// organisation) may be Chinese in an English certificate too. WenQuanYi Micro
// Hei comes last: its "℃" and "℉" are empty.
QString chineseFamily()
{
    const QStringList families = QFontDatabase().families(QFontDatabase::SimplifiedChinese);
    for (const char *preferred :
         {"WenQuanYi Zen Hei", "Noto Sans CJK SC", "Source Han Sans SC", "WenQuanYi Micro Hei"}) {
        if (families.contains(QLatin1String(preferred)))
            return QLatin1String(preferred);
    }
    return families.value(0);
}

struct Block
{
    double height = 0;
    bool keepWithNext = false; // a heading stays on the page of what it heads
    std::function<void(QCPPainter &, double top)> paint;
};

struct Phase
{
    CalibrationPhase phase;
    QVector<const CalibrationPoint *> points;
};

class Certificate
{
public:
    Certificate(const CalibrationRecord &record, const CertificateIssuer &issuer,
                const QTranslator *english, const QDate &issued, const QString &family,
                const QPaintDevice *device);
    void paint(QCPPainter &painter, QPdfWriter &writer);
    QString title() const
    {
        return translate("Certificate", "校准证书") + QLatin1Char(' ') + record.certificate;
    }

private:
    QString translate(const char *context, const char *source) const;
    QFont font(double points, bool bold = false) const;
    double textHeight(const QFont &f, const QString &text, double width) const;

    void build();
    void titleBlock();
    void heading(const QString &text);
    void paragraph(const QString &text, double points = 9.5);
    void fields(const QList<QPair<QString, QString>> &rows);
    void table(const QStringList &headers, const QVector<QStringList> &rows,
               const QVector<double> &widths);
    void resultsOf(const Phase &phase, const QString &title);
    void budget();
    void plot();
    void signatures();
    void endMark();
    void paintPlot(QCPPainter &painter, const QRectF &rect) const;

    QString withUnit(double v) const;
    QString verdict(const std::optional<bool> &pass) const;
    QString phaseName(CalibrationPhase phase) const;
    double span() const { return record.rangeHigh - record.rangeLow; }
    double toleranceInUnit() const { return record.tolerancePct / 100.0 * span(); }
    PointUncertainty uncertaintyOf(const CalibrationPoint &p) const;

    const CalibrationRecord &record;
    const CertificateIssuer &issuer;
    const QTranslator *english;
    const QDate issued;
    const QString family;
    const QPaintDevice *device;
    Phase asFound{CalibrationPhase::AsFound, {}};
    Phase adjust{CalibrationPhase::Adjust, {}};
    Phase asLeft{CalibrationPhase::AsLeft, {}};
    int places = 4; // of readings and errors: those of the finest stated uncertainty
    QVector<Block> blocks;
};

Certificate::Certificate(const CalibrationRecord &record, const CertificateIssuer &issuer,
                         const QTranslator *english, const QDate &issued, const QString &family,
                         const QPaintDevice *device)
    : record(record), issuer(issuer), english(english), issued(issued), family(family),
      device(device)
{
    int finest = -1;
    for (const CalibrationPoint &p : record.points) {
        Phase &phase = p.phase == CalibrationPhase::AsFound  ? asFound
                       : p.phase == CalibrationPhase::Adjust ? adjust
                                                             : asLeft;
        phase.points.append(&p);
        if (p.phase != CalibrationPhase::Adjust)
            finest = std::max(finest,
                              uncertaintyDecimals(roundUpUncertainty(uncertaintyOf(p).expanded)));
    }
    places = finest >= 0 ? finest : record.decimals >= 0 ? record.decimals + 1 : 4;
    places = std::clamp(places, 0, 8);
    build();
}

QString Certificate::translate(const char *context, const char *source) const
{
    if (english) {
        const QString text = english->translate(context, source);
        if (!text.isEmpty())
            return text;
    }
    return QString::fromUtf8(source);
}

QFont Certificate::font(double points, bool bold) const
{
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

double Certificate::textHeight(const QFont &f, const QString &text, double width) const
{
    return QFontMetricsF(f, device)
        .boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap, text)
        .height();
}

PointUncertainty Certificate::uncertaintyOf(const CalibrationPoint &p) const
{
    return PointUncertainty::of(record.standardUncertainty, p.stddev, p.sampleCount,
                                record.decimals);
}

QString Certificate::withUnit(double v) const
{
    return std::isfinite(v) ? shortest(v) + QLatin1Char(' ') + record.unit : Dash;
}

QString Certificate::verdict(const std::optional<bool> &pass) const
{
    if (!pass)
        return Dash;
    return *pass ? translate("Certificate", "合格") : translate("Certificate", "不合格");
}

QString Certificate::phaseName(CalibrationPhase phase) const
{
    return phase == CalibrationPhase::AsFound ? translate("Certificate", "调整前")
                                              : translate("Certificate", "调整后");
}

void Certificate::build()
{
    titleBlock();

    heading(translate("Certificate", "1 校准对象"));
    QString type = record.meterType;
    if (type == QLatin1String("pressure"))
        type = translate("Certificate", "压力");
    else if (type == QLatin1String("temperature"))
        type = translate("Certificate", "温度");
    else if (type == QLatin1String("combined"))
        type = translate("Certificate", "压力和温度");
    const QString channel = record.channel == CalibrationChannel::Pressure
                                ? translate("Certificate", "压力")
                                : translate("Certificate", "温度");
    const QString range =
        std::isfinite(record.rangeLow) && std::isfinite(record.rangeHigh)
            ? QStringLiteral("%1 ~ %2 %3")
                  .arg(shortest(record.rangeLow), shortest(record.rangeHigh), record.unit)
            : Dash;
    fields({{translate("Certificate", "仪表型号"), record.board.isEmpty() ? Dash : record.board},
            {translate("Certificate", "仪表编号"), record.meterNumber},
            {translate("Certificate", "仪表类型"), type.isEmpty() ? Dash : type},
            {translate("Certificate", "校准通道"), channel},
            {translate("Certificate", "量程"), range},
            {translate("Certificate", "固件版本"),
             record.firmwareVersion.isEmpty() ? Dash : record.firmwareVersion},
            {translate("Certificate", "显示分辨力"),
             record.decimals >= 0 ? withUnit(std::pow(10.0, -record.decimals)) : Dash}});

    heading(translate("Certificate", "2 参考标准"));
    const auto orDash = [](const QString &s) { return s.trimmed().isEmpty() ? Dash : s; };
    fields({{translate("Certificate", "名称"), orDash(record.standard)},
            {translate("Certificate", "出厂编号"), orDash(record.standardSerial)},
            {translate("Certificate", "溯源证书"), orDash(record.standardCertificate)},
            {translate("Certificate", "扩展不确定度 U (k = 2)"),
             withUnit(record.standardUncertainty)}});

    heading(translate("Certificate", "3 校准方法"));
    QStringList nominals;
    int fewest = 0;
    int most = 0;
    for (const Phase *phase : {&asFound, &asLeft}) {
        for (const CalibrationPoint *p : phase->points) {
            if (phase == &asFound || asFound.points.isEmpty())
                nominals << shortest(p->nominal);
            fewest = fewest ? std::min(fewest, p->sampleCount) : p->sampleCount;
            most = std::max(most, p->sampleCount);
        }
    }
    const QString settling =
        std::isfinite(record.settleWindowSeconds) && std::isfinite(record.settleBandPct)
            ? translate("Certificate",
                        "%1 s 窗口内读数的峰峰值不超过 %2 % 量程 (%3)，且最小二乘斜率在"
                        "窗口内引起的变化小于其一半时视为稳定；记录窗口内读数的平均值")
                  .arg(shortest(record.settleWindowSeconds), shortest(record.settleBandPct),
                       withUnit(record.settleBandPct / 100.0 * span()))
            : Dash;
    fields({{translate("Certificate", "校准点"),
             nominals.isEmpty()
                 ? Dash
                 : QStringLiteral("%1 (%2)")
                       .arg(nominals.size())
                       .arg(nominals.join(QStringLiteral(", ")) + QLatin1Char(' ') + record.unit)},
            {translate("Certificate", "稳定判据"), settling},
            {translate("Certificate", "允差"),
             std::isfinite(record.tolerancePct)
                 ? translate("Certificate", "±%1 % 量程 (±%2)")
                       .arg(shortest(record.tolerancePct), withUnit(toleranceInUnit()))
                 : Dash},
            {translate("Certificate", "每点读数"),
             most == 0        ? Dash
             : fewest == most ? QString::number(most)
                              : translate("Certificate", "%1 至 %2").arg(fewest).arg(most)}});

    heading(translate("Certificate", "4 环境条件与日期"));
    const auto day = [](const QDateTime &t) {
        return t.isValid() ? t.date().toString(Qt::ISODate) : Dash;
    };
    QString calibrated = day(record.startedAt);
    if (record.finishedAt.isValid() && record.finishedAt.date() != record.startedAt.date())
        calibrated += QStringLiteral(" ~ ") + day(record.finishedAt);
    fields({{translate("Certificate", "环境条件"), orDash(record.ambient)},
            {translate("Certificate", "校准日期"), calibrated},
            {translate("Certificate", "签发日期"), issued.toString(Qt::ISODate)},
            {translate("Certificate", "校准员"), orDash(record.technician)}});

    heading(translate("Certificate", "5 校准结果"));
    resultsOf(asFound, translate("Certificate", "调整前 (来样状态)"));
    if (record.adjusted.value_or(false))
        paragraph(translate("Certificate", "调整：已调整，仪表的多点校准已按 %1 个调整点重新写入。")
                      .arg(adjust.points.size()));
    else if (!adjust.points.isEmpty())
        paragraph(translate("Certificate", "调整：未调整，调整结果未写入仪表。"));
    else
        paragraph(translate("Certificate", "调整：未调整。"));
    resultsOf(asLeft, translate("Certificate", "调整后"));
    plot();

    heading(translate("Certificate", "6 测量不确定度"));
    paragraph(translate(
        "Certificate",
        "每个结果的扩展不确定度 U 由三个分量按 EA-4/02 合成：参考标准所述扩展不确定度的一半；"
        "记录窗口平均值的标准偏差 s/√n；显示分辨力末位的一半，按矩形分布除以 √3。合成标准不确定度 "
        "u_c 为三者的方和根，U = k·u_c，k = 2，包含概率约为 95 %。U 向上修约为两位有效数字。"));
    budget();

    heading(translate("Certificate", "7 判定规则与声明"));
    paragraph(translate("Certificate",
                        "判定规则：简单接受。误差的绝对值不大于允差时该点合格 (|误差| ≤ 允差)，"
                        "各点均合格时结论为合格；扩展不确定度 U 予以陈述，不从允差中扣除。"));
    paragraph(translate("Certificate", "本证书的校准结果仅与被校准的对象有关。"));
    paragraph(translate("Certificate", "未经签发机构书面批准，不得部分复制本证书。"));
    signatures();
    endMark();
}

void Certificate::titleBlock()
{
    const QString name = issuer.name.trimmed().isEmpty()
                             ? translate("Certificate", "(未设置签发机构)")
                             : issuer.name.trimmed();
    const QString address = issuer.address.trimmed();
    const QString title = translate("Certificate", "校准证书");
    const QString number = translate("Certificate", "证书编号：%1").arg(record.certificate);
    const QFont nameFont = font(13, true);
    const QFont addressFont = font(9);
    const QFont titleFont = font(22, true);
    const QFont numberFont = font(11);
    const double nameH = textHeight(nameFont, name, PageWidth);
    const double addressH = address.isEmpty() ? 0 : textHeight(addressFont, address, PageWidth);
    const double titleH = textHeight(titleFont, title, PageWidth);
    const double numberH = textHeight(numberFont, number, PageWidth);
    Block b;
    b.height = nameH + addressH + mm(6) + titleH + mm(1) + numberH + mm(6);
    b.paint = [=](QCPPainter &p, double top) {
        const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
        double y = top;
        p.setFont(nameFont);
        p.drawText(QRectF(PageLeft, y, PageWidth, nameH), flags, name);
        y += nameH;
        p.setFont(addressFont);
        p.drawText(QRectF(PageLeft, y, PageWidth, addressH), flags, address);
        y += addressH + mm(6);
        p.setFont(titleFont);
        p.drawText(QRectF(PageLeft, y, PageWidth, titleH), flags, title);
        y += titleH + mm(1);
        p.setFont(numberFont);
        p.drawText(QRectF(PageLeft, y, PageWidth, numberH), flags, number);
    };
    blocks.append(b);
}

void Certificate::heading(const QString &text)
{
    const QFont f = font(11, true);
    Block b;
    const double h = textHeight(f, text, PageWidth);
    b.height = mm(3) + h + mm(1.5);
    b.keepWithNext = true;
    b.paint = [=](QCPPainter &p, double top) {
        p.setFont(f);
        p.drawText(QRectF(PageLeft, top + mm(3), PageWidth, h), Qt::TextWordWrap, text);
    };
    blocks.append(b);
}

void Certificate::paragraph(const QString &text, double points)
{
    const QFont f = font(points);
    const double h = textHeight(f, text, PageWidth);
    Block b;
    b.height = h + mm(1.5);
    b.paint = [=](QCPPainter &p, double top) {
        p.setFont(f);
        p.drawText(QRectF(PageLeft, top, PageWidth, h), Qt::TextWordWrap, text);
    };
    blocks.append(b);
}

void Certificate::fields(const QList<QPair<QString, QString>> &rows)
{
    const QFont labelFont = font(9.5, true);
    const QFont valueFont = font(9.5);
    const double labelWidth = mm(48);
    const double valueWidth = PageWidth - labelWidth;
    QVector<double> heights;
    double total = 0;
    for (const auto &row : rows) {
        heights << std::max(textHeight(labelFont, row.first, labelWidth - mm(2)),
                            textHeight(valueFont, row.second, valueWidth)) +
                       mm(0.8);
        total += heights.last();
    }
    Block b;
    b.height = total + mm(1);
    b.paint = [=](QCPPainter &p, double top) {
        double y = top;
        for (int i = 0; i < rows.size(); ++i) {
            p.setFont(labelFont);
            p.drawText(QRectF(PageLeft, y, labelWidth - mm(2), heights[i]), Qt::TextWordWrap,
                       rows[i].first);
            p.setFont(valueFont);
            p.drawText(QRectF(PageLeft + labelWidth, y, valueWidth, heights[i]), Qt::TextWordWrap,
                       rows[i].second);
            y += heights[i];
        }
    };
    blocks.append(b);
}

void Certificate::table(const QStringList &headers, const QVector<QStringList> &rows,
                        const QVector<double> &widths)
{
    const QFont headerFont = font(8, true);
    const QFont cellFont = font(8.5);
    const double total = std::accumulate(widths.begin(), widths.end(), 0.0);
    QVector<double> columns;
    for (double w : widths)
        columns << w / total * PageWidth;
    const double pad = mm(1);
    const auto rowHeight = [&](const QFont &f, const QStringList &cells) {
        double h = 0;
        for (int c = 0; c < cells.size(); ++c)
            h = std::max(h, textHeight(f, cells[c], columns[c] - 2 * pad));
        return h + 2 * pad;
    };
    QVector<double> heights{rowHeight(headerFont, headers)};
    for (const QStringList &row : rows)
        heights << rowHeight(cellFont, row);
    Block b;
    b.height = std::accumulate(heights.begin(), heights.end(), 0.0) + mm(2);
    b.paint = [=](QCPPainter &p, double top) {
        const int flags = Qt::AlignCenter | Qt::TextWordWrap;
        double y = top;
        for (int r = 0; r <= rows.size(); ++r) {
            const QStringList &cells = r == 0 ? headers : rows[r - 1];
            if (r == 0)
                p.fillRect(QRectF(PageLeft, y, PageWidth, heights[0]), QColor(232, 232, 232));
            p.setFont(r == 0 ? headerFont : cellFont);
            double x = PageLeft;
            for (int c = 0; c < cells.size(); ++c) {
                p.drawText(QRectF(x + pad, y + pad, columns[c] - 2 * pad, heights[r] - 2 * pad),
                           flags, cells[c]);
                x += columns[c];
            }
            y += heights[r];
        }
        p.setPen(QPen(Qt::black, mm(0.15)));
        p.setBrush(Qt::NoBrush);
        double x = PageLeft;
        for (int c = 0; c <= columns.size(); ++c) {
            p.drawLine(QPointF(x, top), QPointF(x, y));
            if (c < columns.size())
                x += columns[c];
        }
        double ly = top;
        for (int r = 0; r <= heights.size(); ++r) {
            p.drawLine(QPointF(PageLeft, ly), QPointF(PageLeft + PageWidth, ly));
            if (r < heights.size())
                ly += heights[r];
        }
    };
    blocks.append(b);
}

void Certificate::resultsOf(const Phase &phase, const QString &title)
{
    const QFont f = font(10, true);
    const std::optional<bool> overall =
        phase.phase == CalibrationPhase::AsFound ? record.asFoundPass : record.asLeftPass;
    QString conclusion;
    if (phase.points.isEmpty())
        conclusion = translate("Certificate", "未进行");
    else if (!overall)
        conclusion = translate("Certificate", "结论：未完成");
    else
        conclusion = translate("Certificate", "结论：%1").arg(verdict(overall));
    paragraph(title + QStringLiteral("    ") + conclusion, 10);
    blocks.last().keepWithNext = !phase.points.isEmpty();
    if (phase.points.isEmpty())
        return;

    const QString unit = QStringLiteral("\n(%1)").arg(record.unit);
    const QStringList headers{
        translate("Certificate", "序号"),          translate("Certificate", "标称值") + unit,
        translate("Certificate", "参考值") + unit, translate("Certificate", "示值") + unit,
        translate("Certificate", "误差") + unit,   translate("Certificate", "误差\n(% 量程)"),
        translate("Certificate", "允差") + unit,   QStringLiteral("U (k = 2)") + unit,
        translate("Certificate", "结论")};
    const double tolerance = toleranceInUnit();
    QVector<QStringList> rows;
    bool manual = false;
    for (const CalibrationPoint *p : phase.points) {
        manual = manual || p->manual;
        const double u = roundUpUncertainty(uncertaintyOf(*p).expanded);
        rows << QStringList{QString::number(p->idx) + (p->manual ? QStringLiteral("*") : QString()),
                            shortest(p->nominal),
                            shortest(p->reference),
                            fixed(p->reading, places),
                            fixed(p->error, places),
                            fixed(p->errorPctSpan, 3),
                            std::isfinite(tolerance) ? QStringLiteral("±") + shortest(tolerance)
                                                     : Dash,
                            fixed(u, uncertaintyDecimals(u)),
                            verdict(p->pass)};
    }
    table(headers, rows, {7, 12, 12, 12, 12, 11, 11, 11, 12});
    if (manual)
        paragraph(translate("Certificate", "* 读数未达到稳定判据时由校准员手动记录。"), 8);
}

void Certificate::budget()
{
    const QString unit = QStringLiteral("\n(%1)").arg(record.unit);
    const QStringList headers{translate("Certificate", "阶段"),
                              translate("Certificate", "序号"),
                              translate("Certificate", "标称值") + unit,
                              translate("Certificate", "u(标准)") + unit,
                              translate("Certificate", "u(平均值)") + unit,
                              translate("Certificate", "u(分辨力)") + unit,
                              QStringLiteral("u_c") + unit,
                              QStringLiteral("U (k = 2)") + unit};
    QVector<QStringList> rows;
    for (const Phase *phase : {&asFound, &asLeft}) {
        for (const CalibrationPoint *p : phase->points) {
            const PointUncertainty u = uncertaintyOf(*p);
            const double stated = roundUpUncertainty(u.expanded);
            rows << QStringList{
                phaseName(phase->phase), QString::number(p->idx),
                shortest(p->nominal),    twoDigits(u.reference),
                twoDigits(u.mean),       twoDigits(u.resolution),
                twoDigits(u.combined),   fixed(stated, uncertaintyDecimals(stated))};
        }
    }
    if (!rows.isEmpty())
        table(headers, rows, {14, 8, 13, 13, 13, 14, 12, 13});
}

void Certificate::plot()
{
    const QString caption =
        translate("Certificate", "图 1  误差与标称值。误差线：U (k = 2)；灰色带：允差。");
    const QFont f = font(8.5);
    const double plotH = mm(72);
    const double captionH = textHeight(f, caption, PageWidth);
    Block b;
    b.height = plotH + captionH + mm(3);
    b.paint = [=](QCPPainter &p, double top) {
        paintPlot(p, QRectF(PageLeft, top, PageWidth, plotH));
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(QRectF(PageLeft, top + plotH, PageWidth, captionH),
                   Qt::AlignHCenter | Qt::TextWordWrap, caption);
    };
    blocks.append(b);
}

void Certificate::paintPlot(QCPPainter &painter, const QRectF &rect) const
{
    const double scale = Dpi / PlotDpi;
    const int width = int(rect.width() / scale);
    const int height = int(rect.height() / scale);
    QCustomPlot plot;
    QFont tickFont(family);
    tickFont.setPixelSize(10);
    QFont labelFont(family);
    labelFont.setPixelSize(11);
    for (QCPAxis *axis : {plot.xAxis, plot.yAxis}) {
        axis->setTickLabelFont(tickFont);
        axis->setLabelFont(labelFont);
    }
    plot.xAxis->setLabel(translate("Certificate", "标称值 (%1)").arg(record.unit));
    plot.yAxis->setLabel(translate("Certificate", "误差 (%1)").arg(record.unit));
    plot.legend->setVisible(true);
    plot.legend->setFont(tickFont);
    plot.axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);

    double low = record.rangeLow;
    double high = record.rangeHigh;
    double extent = 0; // of the errors with their uncertainty
    for (const Phase *phase : {&asFound, &asLeft}) {
        for (const CalibrationPoint *p : phase->points) {
            if (!std::isfinite(p->nominal))
                continue;
            if (!std::isfinite(span())) {
                low = std::isfinite(low) ? std::min(low, p->nominal) : p->nominal;
                high = std::isfinite(high) ? std::max(high, p->nominal) : p->nominal;
            }
            const double u = uncertaintyOf(*p).expanded;
            if (std::isfinite(p->error))
                extent = std::max(extent, std::abs(p->error) + (std::isfinite(u) ? u : 0));
        }
    }
    if (!std::isfinite(low) || !std::isfinite(high) || high <= low) {
        low = std::isfinite(low) ? low - 1 : 0;
        high = low + 2;
    }
    const double margin = (high - low) * 0.05;

    const double tolerance = toleranceInUnit();
    if (std::isfinite(tolerance) && tolerance > 0) {
        QCPGraph *upper = plot.addGraph();
        QCPGraph *lower = plot.addGraph();
        upper->setData({low - margin, high + margin}, {tolerance, tolerance});
        lower->setData({low - margin, high + margin}, {-tolerance, -tolerance});
        const QPen bandPen(QColor(110, 110, 110), 1, Qt::DashLine);
        upper->setPen(bandPen);
        lower->setPen(bandPen);
        upper->setBrush(QColor(215, 215, 215, 140));
        upper->setChannelFillGraph(lower);
        upper->setName(translate("Certificate", "允差"));
        lower->removeFromLegend();
        extent = std::max(extent, tolerance);
    }
    const struct
    {
        const Phase *phase;
        QColor colour;
        QCPScatterStyle::ScatterShape shape;
    } series[] = {{&asFound, QColor(200, 40, 40), QCPScatterStyle::ssCircle},
                  {&asLeft, QColor(30, 80, 190), QCPScatterStyle::ssSquare}};
    for (const auto &s : series) {
        if (s.phase->points.isEmpty())
            continue;
        QVector<double> x, y, u;
        for (const CalibrationPoint *p : s.phase->points) {
            if (!std::isfinite(p->nominal) || !std::isfinite(p->error))
                continue;
            x << p->nominal;
            y << p->error;
            const double e = uncertaintyOf(*p).expanded;
            u << (std::isfinite(e) ? e : 0);
        }
        QCPGraph *graph = plot.addGraph();
        graph->setData(x, y);
        graph->setPen(QPen(s.colour, 1.5));
        graph->setScatterStyle(QCPScatterStyle(s.shape, s.colour, Qt::white, 6));
        graph->setName(phaseName(s.phase->phase));
        auto *bars = new QCPErrorBars(plot.xAxis, plot.yAxis);
        bars->setDataPlottable(graph);
        bars->setData(u);
        bars->setPen(QPen(s.colour, 1));
        bars->removeFromLegend();
    }
    if (!(extent > 0))
        extent = record.decimals >= 0 ? std::pow(10.0, -record.decimals) : 1.0;
    plot.xAxis->setRange(low - margin, high + margin);
    plot.yAxis->setRange(-extent * 1.25, extent * 1.25);

    painter.save();
    painter.translate(rect.topLeft());
    painter.scale(scale, scale);
    painter.setMode(QCPPainter::pmVectorized);
    plot.toPainter(&painter, width, height);
    painter.restore();
}

void Certificate::signatures()
{
    const QStringList roles{translate("Certificate", "校准员"), translate("Certificate", "核验员"),
                            translate("Certificate", "批准人")};
    const QString dateLabel = translate("Certificate", "日期");
    const QString technician = record.technician.trimmed();
    const QFont f = font(9.5);
    const double lineH = textHeight(f, roles.join(QString()), PageWidth);
    Block b;
    b.height = mm(8) + lineH * 3 + mm(18);
    b.keepWithNext = true; // the end mark follows the signatures
    b.paint = [=](QCPPainter &p, double top) {
        const double column = PageWidth / 3;
        p.setFont(f);
        p.setPen(QPen(Qt::black, mm(0.2)));
        for (int i = 0; i < roles.size(); ++i) {
            const double x = PageLeft + i * column;
            const double y = top + mm(8);
            p.drawText(QRectF(x, y, column, lineH), Qt::AlignLeft, roles[i]);
            const double signatureLine = y + lineH + mm(10);
            p.drawLine(QPointF(x, signatureLine), QPointF(x + column - mm(8), signatureLine));
            if (i == 0 && !technician.isEmpty())
                p.drawText(QRectF(x, signatureLine + mm(0.5), column - mm(8), lineH), Qt::AlignLeft,
                           technician);
            const double dateLine = signatureLine + 2 * lineH + mm(6);
            p.drawText(QRectF(x, dateLine - lineH, column, lineH), Qt::AlignLeft | Qt::AlignBottom,
                       dateLabel);
            const double dateX = x + QFontMetricsF(f, device).horizontalAdvance(dateLabel) + mm(2);
            p.drawLine(QPointF(dateX, dateLine), QPointF(x + column - mm(8), dateLine));
        }
    };
    blocks.append(b);
}

void Certificate::endMark()
{
    const QString text = translate("Certificate", "—— 证书结束 ——");
    const QFont f = font(10, true);
    const double h = textHeight(f, text, PageWidth);
    Block b;
    b.height = mm(6) + h;
    b.paint = [=](QCPPainter &p, double top) {
        p.setFont(f);
        p.drawText(QRectF(PageLeft, top + mm(6), PageWidth, h), Qt::AlignHCenter, text);
    };
    blocks.append(b);
}

void Certificate::paint(QCPPainter &painter, QPdfWriter &writer)
{
    // Pages as lists of (block, top); a heading moves on with what follows it.
    QVector<QVector<QPair<int, double>>> pages(1);
    double y = ContentTop;
    for (int i = 0; i < blocks.size(); ++i) {
        double needed = blocks[i].height;
        for (int j = i; blocks[j].keepWithNext && j + 1 < blocks.size(); ++j)
            needed += blocks[j + 1].height;
        if (y + needed > ContentBottom && y > ContentTop) {
            pages.append(QVector<QPair<int, double>>());
            y = ContentTop;
        }
        pages.last().append({i, y});
        y += blocks[i].height;
    }

    const QFont small = font(8);
    const QString name = issuer.name.trimmed();
    const QString number = translate("Certificate", "证书编号：%1").arg(record.certificate);
    for (int page = 0; page < pages.size(); ++page) {
        if (page > 0)
            writer.newPage();
        painter.setPen(Qt::black);
        painter.setFont(small);
        const QRectF header(PageLeft, HeaderLine - mm(6), PageWidth, mm(5));
        painter.drawText(header, Qt::AlignLeft | Qt::AlignBottom, name);
        painter.drawText(header, Qt::AlignRight | Qt::AlignBottom, number);
        painter.setPen(QPen(Qt::black, mm(0.2)));
        painter.drawLine(QPointF(PageLeft, HeaderLine), QPointF(PageLeft + PageWidth, HeaderLine));
        painter.drawLine(QPointF(PageLeft, FooterTop - mm(1)),
                         QPointF(PageLeft + PageWidth, FooterTop - mm(1)));
        painter.setPen(Qt::black);
        painter.drawText(
            QRectF(PageLeft, FooterTop, PageWidth, mm(5)), Qt::AlignHCenter,
            translate("Certificate", "第 %1 页 共 %2 页").arg(page + 1).arg(pages.size()));
        painter.drawText(QRectF(PageLeft, FooterTop, PageWidth, mm(5)), Qt::AlignRight,
                         record.certificate);
        for (const auto &[index, top] : pages[page]) {
            painter.save();
            painter.setPen(Qt::black);
            blocks[index].paint(painter, top);
            painter.restore();
        }
    }
}

} // namespace

CertificateWriter::Result CertificateWriter::write(const CalibrationRecord &record,
                                                   const CertificateIssuer &issuer,
                                                   const QString &language, const QString &path,
                                                   QString *reason, const QDate &issued)
{
    const auto fail = [reason](Result result, const QString &text) {
        if (reason)
            *reason = text;
        return result;
    };
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return fail(Result::CannotRender,
                    QStringLiteral("the certificate's plot needs a QApplication"));
    const bool inEnglish = language == QLatin1String("en");
    QTranslator english;
    if (inEnglish) {
        initTranslationResources();
        if (!english.load(QStringLiteral(":/translations/kv3pd_en.qm")))
            return fail(Result::CannotRender, QStringLiteral("the English texts cannot be loaded"));
    }
    const QString family = chineseFamily();
    if (family.isEmpty() && !inEnglish)
        return fail(Result::CannotRender,
                    QStringLiteral("no font with Chinese characters is installed (Debian: "
                                   "fonts-wqy-zenhei)"));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(Result::CannotWrite, QStringLiteral("%1: %2").arg(path, file.errorString()));
    {
        QPdfWriter pdf(&file);
        pdf.setResolution(Dpi);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setCreator(QStringLiteral("kv3pd " KV3PD_VERSION));
        Certificate certificate(record, issuer, inEnglish ? &english : nullptr, issued, family,
                                &pdf);
        pdf.setTitle(certificate.title());
        QCPPainter painter;
        if (!painter.begin(&pdf))
            return fail(Result::CannotWrite,
                        QStringLiteral("%1: the PDF cannot be begun").arg(path));
        certificate.paint(painter, pdf);
        painter.end();
    }
    if (!file.commit())
        return fail(Result::CannotWrite, QStringLiteral("%1: %2").arg(path, file.errorString()));
    return Result::Written;
}
