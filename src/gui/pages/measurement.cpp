// Meter information and the live measurement display.

#include "model/codetables.h"
#include "model/fieldcodec.h"
#include "model/livesample.h"
#include "model/registermirror.h"
#include "shell/mainwindow.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QString>

#include <cmath>

namespace {

// Largest value of the 18-bit signed ADC, and where the bars turn red.
constexpr double adcFullScale = 131071.0;
constexpr double adcRedThreshold = 130000.0;

QString chunkStyle(const QProgressBar *bar, const char *colour)
{
    return QStringLiteral("QProgressBar#%1::chunk{background-color: %2;}")
        .arg(bar->objectName(), QLatin1String(colour));
}

void setStyleIfChanged(QProgressBar *bar, const QString &sheet)
{
    // Re-polishing an unchanged sheet ten times a second costs for nothing.
    if (bar->styleSheet() != sheet)
        bar->setStyleSheet(sheet);
}

// The live values come ten times a second and most of them rarely change; an
// unchanged text is not set again, so its field is not laid out and repainted.
template <class Widget> void showText(Widget *widget, const QString &text)
{
    if (widget->text() != text)
        widget->setText(text);
}

// Units as the instrument reported them, never as a page shows them unwritten.
void showUnits(Ui::MainWindow *ui, const LiveSample &s)
{
    showText(ui->label_yalidanwei, s.pressureUnitText());
    showText(ui->label_wendudanwei, s.temperatureUnitText());
}

// The whole part of the reading as text; readings that no int can hold (or
// NaN, infinity) are shown as they are instead of overflowing a conversion.
QString adcText(float v)
{
    if (std::isfinite(v) && std::fabs(v) < 2147483648.0f)
        return QString::number(static_cast<qint32>(v));
    return QString::number(double(v), 'g', 6);
}

// A centre-zero bar made of two halves: `positive` grows right, `negative`
// grows left. Only the active half is redrawn; the other drops to 0 and keeps
// its colour.
void showAdc(QLabel *label, QProgressBar *positive, QProgressBar *negative, float v)
{
    label->setText(adcText(v));
    if (std::isnan(v))
        return;

    const double magnitude = std::fabs(double(v));
    const double percent = std::floor(magnitude / adcFullScale * 100.0 + 0.5);
    // Beyond about 100.5 % the value lies outside the bar's range: keep the old one.
    const bool fits = percent <= 100.0;

    if (v >= 0) {
        negative->setValue(0);
        if (fits)
            positive->setValue(static_cast<int>(percent));
        const bool red = double(v) > adcRedThreshold;
        setStyleIfChanged(positive,
                          chunkStyle(positive, red ? "rgb(246,37,19)" : "rgb(90,167,45)"));
    } else {
        positive->setValue(0);
        if (fits)
            negative->setValue(static_cast<int>(percent));
        const bool red = double(v) < -adcRedThreshold;
        setStyleIfChanged(negative,
                          chunkStyle(negative, red ? "rgb(246,37,19)" : "rgb(255,236,20)"));
    }
}

} // namespace

void MainWindow::showMeterInfo()
{
    ui->label_model->setText(tr("板卡型号：KV-3PD"));

    auto m = worker->lockMirror();
    ui->label_yibiaobianhao->setText(
        tr("仪表编号：%1").arg(field::formatMeterNumber(m->uint32(Reg::meterNumber))));

    const Reg::Channel &p = Reg::pressure;
    const Reg::Channel &t = Reg::temperature;
    const QString pLow = field::formatFloat(m->float32(p.rangeLow));
    const QString pHigh = field::formatFloat(m->float32(p.rangeHigh));
    const QString pUnit = unitName(m->at(p.rangeUnit));
    const QString tLow = field::formatFloat(m->float32(t.rangeLow));
    const QString tHigh = field::formatFloat(m->float32(t.rangeHigh));
    const QString tUnit = unitName(m->at(t.rangeUnit));

    switch (m->at(Reg::meterType)) {
    case 0:
        ui->label_yibiaoleixing->setText(tr("仪表类型：单独压力"));
        ui->label_yibiaoliangcheng->setText(tr("仪表量程：%1~%2%3").arg(pLow, pHigh, pUnit));
        break;
    case 1:
        ui->label_yibiaoleixing->setText(tr("仪表类型：单独温度"));
        ui->label_yibiaoliangcheng->setText(tr("仪表量程：%1~%2%3").arg(tLow, tHigh, tUnit));
        break;
    case 2:
        ui->label_yibiaoleixing->setText(tr("仪表类型：温压一体"));
        ui->label_yibiaoliangcheng->setText(
            tr("仪表量程：%1~%2%3，%4~%5%6").arg(pLow, pHigh, pUnit, tLow, tHigh, tUnit));
        break;
    default:
        // A type this program does not know: keep what the labels said.
        break;
    }
}

void MainWindow::showUnitLabels()
{
    auto m = worker->lockMirror();
    showUnits(ui, LiveSample::fromMirror(*m, QDateTime()));
}

void MainWindow::showLiveValues()
{
    auto m = worker->lockMirror();
    const LiveSample s = LiveSample::fromMirror(*m, QDateTime());

    ui->label_ruanjianbanben->setText(
        tr("软件版本：%1").arg(QString::asprintf("V%.02f", m->at(Reg::firmwareVersion) / 100.0)));

    showText(ui->lineEdit_yalizhi, s.pressureText());
    showText(ui->lineEdit_wenduzhi, s.temperatureText());
    showUnits(ui, s);

    showText(ui->lineEdit_yalizhizhengxing,
             QString::number(static_cast<qint16>(m->at(Reg::pressureInt))));
    showText(ui->lineEdit_wenduzhizhengxing,
             QString::number(static_cast<qint16>(m->at(Reg::temperatureInt))));

    showText(ui->lineEdit_dianchidianya, s.batteryVoltsText());
    showText(ui->lineEdit_dianchidianliang, QString::number(s.batteryPercent));

    showAdc(ui->label_yaliADC, ui->progressBar_yaliADCz, ui->progressBar_yaliADCf,
            m->float32(Reg::pressureAdc));
    showAdc(ui->label_wenduADC, ui->progressBar_wenduADCz, ui->progressBar_wenduADCf,
            m->float32(Reg::temperatureAdc));
}

void MainWindow::on_pushButton_duquyibiaoxinxi_clicked()
{
    sendDeviceCommand(Cmd::readMeterInfo);
}
