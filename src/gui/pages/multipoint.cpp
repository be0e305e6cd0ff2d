// The multi-point calibration groups of the factory page: range, ADC gain,
// standard-value unit and up to five points per channel (registers 76..115
// for pressure, 130..177 for temperature).

#include "calibration/calibration.h"
#include "model/fieldcodec.h"
#include "model/pagestate.h"
#include "model/registermirror.h"
#include "pages/fieldio.h"
#include "shell/mainwindow.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>

namespace {

constexpr int Points = 5;

struct MultiPointWidgets
{
    const Reg::Channel &reg;
    QLineEdit *rangeLow;
    QLineEdit *rangeHigh;
    QComboBox *rangeUnit;
    QComboBox *adcGain;
    QComboBox *stdUnit;
    QLineEdit *zeroShield; // pressure only
    QComboBox *points;
    QLabel *adc;
    QLineEdit *standard[Points];
    QLineEdit *captured[Points];
    QPushButton *collect[Points];
};

MultiPointWidgets multiPointWidgets(Ui::MainWindow *ui, bool pressure)
{
    if (pressure) {
        return {Reg::pressure,
                ui->lineEdit_yaliliangchengL,
                ui->lineEdit_yaliliangchengH,
                ui->comboBox_yaliliangchengdanwei,
                ui->comboBox_yaliADCzengyi,
                ui->comboBox_yalibiaozhunzhidanwei,
                ui->lineEdit_yalilingdianpingbi,
                ui->comboBox_yalidianshu,
                ui->label_yaliADC,
                {ui->lineEdit_fxxxz_yalibiaozhunzhi1, ui->lineEdit_fxxxz_yalibiaozhunzhi2,
                 ui->lineEdit_fxxxz_yalibiaozhunzhi3, ui->lineEdit_fxxxz_yalibiaozhunzhi4,
                 ui->lineEdit_fxxxz_yalibiaozhunzhi5},
                {ui->lineEdit_fxxxz_yalicaijizhi1, ui->lineEdit_fxxxz_yalicaijizhi2,
                 ui->lineEdit_fxxxz_yalicaijizhi3, ui->lineEdit_fxxxz_yalicaijizhi4,
                 ui->lineEdit_fxxxz_yalicaijizhi5},
                {ui->pushButton_FXXXZ_yaliCJ1, ui->pushButton_FXXXZ_yaliCJ2,
                 ui->pushButton_FXXXZ_yaliCJ3, ui->pushButton_FXXXZ_yaliCJ4,
                 ui->pushButton_FXXXZ_yaliCJ5}};
    }
    return {Reg::temperature,
            ui->lineEdit_wenduliangchengL,
            ui->lineEdit_wenduliangchengH,
            ui->comboBox_wenduliangchengdanwei,
            ui->comboBox_wenduADCzengyi,
            ui->comboBox_wendubiaozhunzhidanwei,
            nullptr,
            ui->comboBox_wendudianshu,
            ui->label_wenduADC,
            {ui->lineEdit_fxxxz_wendubiaozhunzhi1, ui->lineEdit_fxxxz_wendubiaozhunzhi2,
             ui->lineEdit_fxxxz_wendubiaozhunzhi3, ui->lineEdit_fxxxz_wendubiaozhunzhi4,
             ui->lineEdit_fxxxz_wendubiaozhunzhi5},
            {ui->lineEdit_fxxxz_wenducaijizhi1, ui->lineEdit_fxxxz_wenducaijizhi2,
             ui->lineEdit_fxxxz_wenducaijizhi3, ui->lineEdit_fxxxz_wenducaijizhi4,
             ui->lineEdit_fxxxz_wenducaijizhi5},
            {ui->pushButton_FXXXZ_wenduCJ1, ui->pushButton_FXXXZ_wenduCJ2,
             ui->pushButton_FXXXZ_wenduCJ3, ui->pushButton_FXXXZ_wenduCJ4,
             ui->pushButton_FXXXZ_wenduCJ5}};
}

using Codes = FieldIO::Codes;

QString channelName(const MultiPointWidgets &w)
{
    return w.zeroShield ? MainWindow::tr("压力") : MainWindow::tr("温度");
}

void showChannel(RegisterMirror &m, const MultiPointWidgets &w, FieldIO &io)
{
    const Reg::Channel &r = w.reg;
    io.showFloat(w.rangeLow, m.float32(r.rangeLow));
    io.showFloat(w.rangeHigh, m.float32(r.rangeHigh));
    io.showCode(w.rangeUnit, m.at(r.rangeUnit), Codes::ByIndex, r.unitOffset);
    if (w.zeroShield)
        io.showWhole(w.zeroShield, m.at(r.zeroShield));
    io.showCode(w.adcGain, m.at(r.adcGain), Codes::ByNumber);
    io.showCode(w.stdUnit, m.at(r.stdUnit), Codes::ByIndex, r.unitOffset);
    io.showCode(w.points, m.uint32(r.points), Codes::ByNumber);
    for (int k = 0; k < Points; ++k)
        io.showFloat(w.standard[k], m.float32(r.standard + 2 * k));
    for (int k = 0; k < Points; ++k)
        io.showFloat(w.captured[k], m.float32(r.captured + 2 * k));
}

void collectFloat(RegisterMirror &m, int reg, const QLineEdit *edit, FieldIO &io,
                  const QString &caption)
{
    m.setFloat32(reg, io.collectFloat(edit, m.float32(reg), caption));
}

void collectChannel(RegisterMirror &m, const MultiPointWidgets &w, FieldIO &io)
{
    const Reg::Channel &r = w.reg;
    const QString name = channelName(w);
    collectFloat(m, r.rangeLow, w.rangeLow, io, MainWindow::tr("%1量程下限").arg(name));
    collectFloat(m, r.rangeHigh, w.rangeHigh, io, MainWindow::tr("%1量程上限").arg(name));
    io.collectCode(m, r.rangeUnit, w.rangeUnit, Codes::ByIndex, r.unitOffset);
    if (w.zeroShield)
        io.collectWhole(m, r.zeroShield, w.zeroShield);
    io.collectCode(m, r.adcGain, w.adcGain, Codes::ByNumber);
    io.collectCode(m, r.stdUnit, w.stdUnit, Codes::ByIndex, r.unitOffset);
    m.setUint32(r.points, FieldIO::collectCode(w.points, m.uint32(r.points), Codes::ByNumber));
    // Every point, the unused ones included, so nothing typed is lost.
    for (int k = 0; k < Points; ++k) {
        collectFloat(m, r.standard + 2 * k, w.standard[k], io,
                     MainWindow::tr("%1标准值%2").arg(name).arg(k + 1));
        collectFloat(m, r.captured + 2 * k, w.captured[k], io,
                     MainWindow::tr("%1采集值%2").arg(name).arg(k + 1));
    }
}

QLineEdit *temperatureStandardEdit(Ui::MainWindow *ui, int point)
{
    return multiPointWidgets(ui, false).standard[point - 1];
}

} // namespace

void MainWindow::showPressureParam()
{
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);
    showChannel(*m, multiPointWidgets(ui, true), io);
}

void MainWindow::getPressureParam()
{
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);
    collectChannel(*m, multiPointWidgets(ui, true), io);
}

void MainWindow::showTempParam()
{
    const MultiPointWidgets w = multiPointWidgets(ui, false);
    {
        auto m = worker->lockMirror();
        FieldIO io(shown, invalidField);
        showChannel(*m, w, io);
    }
    // An unchanged text emits no textChanged; its tool tip is refreshed here.
    for (int k = 0; k < Points; ++k)
        updateResistanceToolTip(k + 1, w.standard[k]->text());
}

void MainWindow::getTempParam()
{
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);
    collectChannel(*m, multiPointWidgets(ui, false), io);
}

void MainWindow::showInvalidPointsRefusal()
{
    showState(tr("校准点无效"));
    showWarning(tr("校准点无效，请检查采集值和标准值！"));
}

bool MainWindow::prepareCalibrationWrite(bool pressure)
{
    if (pressure)
        getPressureParam();
    else
        getTempParam();
    if (refuseInvalidField())
        return false;

    bool fitted = false;
    {
        auto m = worker->lockMirror();
        const Reg::Channel &channel = pressure ? Reg::pressure : Reg::temperature;
        float coeff[5];
        fitted = fitChannel(*m, channel, coeff);
        if (fitted)
            storeChannelCalibration(*m, channel, coeff);
    }
    if (!fitted)
        showInvalidPointsRefusal();
    return fitted;
}

void MainWindow::on_pushButton_duquyalishuju_clicked()
{
    sendDeviceCommand(Cmd::readPressureParam);
}

void MainWindow::on_pushButton_duquwendushuju_clicked()
{
    sendDeviceCommand(Cmd::readTempParam);
}

bool MainWindow::writeChannelCalibration(bool pressure)
{
    return startWrite(pressure ? Cmd::writePressureParam : Cmd::writeTempParam,
                      pressure ? Blocks::pressureParamBlock : Blocks::tempParamBlock,
                      [this, pressure] { return prepareCalibrationWrite(pressure); });
}

void MainWindow::on_pushButton_xieruyalishuju_clicked()
{
    writeChannelCalibration(true);
}

void MainWindow::on_pushButton_xieruwendushuju_clicked()
{
    writeChannelCalibration(false);
}

ChannelPage MainWindow::calibrationPage(CalibrationChannel channel)
{
    const MultiPointWidgets w = multiPointWidgets(ui, channel == CalibrationChannel::Pressure);
    ChannelPage page;
    page.channel = channel;
    const auto value = [](const QLineEdit *edit) {
        float v = 0.0f;
        return field::parseFiniteFloat(edit->text(), &v) ? v : qQNaN();
    };
    page.rangeLow = value(w.rangeLow);
    page.rangeHigh = value(w.rangeHigh);
    page.rangeUnit = unitCodeOfItem(w.rangeUnit->currentIndex(), w.reg.unitOffset);
    page.standardUnit = unitCodeOfItem(w.stdUnit->currentIndex(), w.reg.unitOffset);
    page.medium = {field::parseFloat(ui->lineEdit_density->text()),
                   field::parseFloat(ui->lineEdit_g->text())};
    page.points = int(field::parseUint32(w.points->currentText()));
    for (int k = 0; k < Points; ++k)
        page.standard << value(w.standard[k]);
    return page;
}

bool MainWindow::writeWizardCalibration(CalibrationChannel channel, const QVector<double> &standard,
                                        const QVector<double> &collected)
{
    const bool pressure = channel == CalibrationChannel::Pressure;
    const MultiPointWidgets w = multiPointWidgets(ui, pressure);
    if (standard.size() < 2 || standard.size() > Points || collected.size() != standard.size())
        return false;
    // The page shows what is written, and its own write sends it: shown
    // through the page memory, so a value longer than its field is written
    // exactly, not as the shortened text.
    w.points->setCurrentText(QString::number(standard.size()));
    FieldIO io(shown, invalidField);
    for (int k = 0; k < standard.size(); ++k) {
        io.showFloat(w.standard[k], float(standard[k]));
        io.showFloat(w.captured[k], float(collected[k]));
    }
    ui->stackedWidget->setCurrentIndex(1);
    return writeChannelCalibration(pressure);
}

void MainWindow::evenDivisionPressure()
{
    const MultiPointWidgets w = multiPointWidgets(ui, true);
    // The standard values have a unit of their own: the range is converted
    // into it first, a level through the medium of the user settings.
    const LevelMedium medium{field::parseFloat(ui->lineEdit_density->text()),
                             field::parseFloat(ui->lineEdit_g->text())};
    float low = field::parseFloat(w.rangeLow->text());
    float high = field::parseFloat(w.rangeHigh->text());
    if (!convertRange(&low, &high, unitCodeOfItem(w.rangeUnit->currentIndex(), w.reg.unitOffset),
                      unitCodeOfItem(w.stdUnit->currentIndex(), w.reg.unitOffset), medium)) {
        showState(tr("单位无法换算"));
        showWarning(tr("量程单位无法换算为标准值单位，请检查单位设置！"));
        return;
    }
    const QStringList texts =
        evenDivisionPressureTexts(low, high, field::parseUint32(w.points->currentText()) & 0xFF);
    for (int k = 0; k < texts.size() && k < Points; ++k)
        w.standard[k]->setText(texts[k]);
}

void MainWindow::evenDivisionTemperature()
{
    const MultiPointWidgets w = multiPointWidgets(ui, false);
    // A range in degrees Fahrenheit goes into the standard-value unit, degrees
    // Celsius (the list's only item), as the PT100 equation needs them.
    float low = field::parseFloat(w.rangeLow->text());
    float high = field::parseFloat(w.rangeHigh->text());
    if (!convertRange(&low, &high, unitCodeOfItem(w.rangeUnit->currentIndex(), w.reg.unitOffset),
                      unitCodeOfItem(w.stdUnit->currentIndex(), w.reg.unitOffset), LevelMedium{})) {
        showState(tr("单位无法换算"));
        showWarning(tr("量程单位无法换算为标准值单位，请检查单位设置！"));
        return;
    }
    const QStringList texts =
        evenDivisionTemperatureTexts(low, high, field::parseUint32(w.points->currentText()) & 0xFF);
    for (int k = 0; k < texts.size() && k < Points; ++k)
        w.standard[k]->setText(texts[k]);
}

void MainWindow::on_pushButton_junfenyali_clicked()
{
    evenDivisionPressure();
}

void MainWindow::on_pushButton_junfenwendu_clicked()
{
    evenDivisionTemperature();
}

void MainWindow::collectAdcInto(bool pressure, int point)
{
    // The label shows the reading as a whole number; that text is the value.
    const MultiPointWidgets w = multiPointWidgets(ui, pressure);
    w.captured[point - 1]->setText(w.adc->text());
}

void MainWindow::on_pushButton_FXXXZ_yaliCJ1_clicked()
{
    collectAdcInto(true, 1);
}

void MainWindow::on_pushButton_FXXXZ_yaliCJ2_clicked()
{
    collectAdcInto(true, 2);
}

void MainWindow::on_pushButton_FXXXZ_yaliCJ3_clicked()
{
    collectAdcInto(true, 3);
}

void MainWindow::on_pushButton_FXXXZ_yaliCJ4_clicked()
{
    collectAdcInto(true, 4);
}

void MainWindow::on_pushButton_FXXXZ_yaliCJ5_clicked()
{
    collectAdcInto(true, 5);
}

void MainWindow::on_pushButton_FXXXZ_wenduCJ1_clicked()
{
    collectAdcInto(false, 1);
}

void MainWindow::on_pushButton_FXXXZ_wenduCJ2_clicked()
{
    collectAdcInto(false, 2);
}

void MainWindow::on_pushButton_FXXXZ_wenduCJ3_clicked()
{
    collectAdcInto(false, 3);
}

void MainWindow::on_pushButton_FXXXZ_wenduCJ4_clicked()
{
    collectAdcInto(false, 4);
}

void MainWindow::on_pushButton_FXXXZ_wenduCJ5_clicked()
{
    collectAdcInto(false, 5);
}

void MainWindow::updateResistanceToolTip(int point, const QString &text)
{
    const float ohm = pt100Resistance(field::parseFloat(text));
    temperatureStandardEdit(ui, point)->setToolTip(
        tr("电阻=%1Ω").arg(QString::asprintf("%0.2f", double(ohm))));
}

void MainWindow::on_lineEdit_fxxxz_wendubiaozhunzhi1_textChanged(const QString &arg1)
{
    updateResistanceToolTip(1, arg1);
}

void MainWindow::on_lineEdit_fxxxz_wendubiaozhunzhi2_textChanged(const QString &arg1)
{
    updateResistanceToolTip(2, arg1);
}

void MainWindow::on_lineEdit_fxxxz_wendubiaozhunzhi3_textChanged(const QString &arg1)
{
    updateResistanceToolTip(3, arg1);
}

void MainWindow::on_lineEdit_fxxxz_wendubiaozhunzhi4_textChanged(const QString &arg1)
{
    updateResistanceToolTip(4, arg1);
}

void MainWindow::on_lineEdit_fxxxz_wendubiaozhunzhi5_textChanged(const QString &arg1)
{
    updateResistanceToolTip(5, arg1);
}

void MainWindow::updatePointsInUse(bool pressure, const QString &text)
{
    const MultiPointWidgets w = multiPointWidgets(ui, pressure);
    for (int k = 2; k < Points; ++k) {
        w.collect[k]->setEnabled(true);
        w.standard[k]->setEnabled(true);
        w.captured[k]->setEnabled(true);
    }
    const uint n = field::parseUint32(text);
    // Points 1 and 2 are always in use; a count outside 2..4 disables none.
    const int firstUnused = (n >= 2 && n <= 4) ? int(n) : Points;
    for (int k = firstUnused; k < Points; ++k) {
        w.collect[k]->setEnabled(false);
        w.standard[k]->setEnabled(false);
        w.captured[k]->setEnabled(false);
    }
}

void MainWindow::on_comboBox_yalidianshu_currentTextChanged(const QString &arg1)
{
    updatePointsInUse(true, arg1);
}

void MainWindow::on_comboBox_wendudianshu_currentTextChanged(const QString &arg1)
{
    updatePointsInUse(false, arg1);
}
