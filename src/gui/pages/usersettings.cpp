// The user settings page: the instrument's link settings, units, decimals,
// timings and the pressure conversion factors (registers 42..61).

#include "model/codetables.h"
#include "model/fieldcodec.h"
#include "model/registermirror.h"
#include "pages/fieldio.h"
#include "shell/mainwindow.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>

namespace {

constexpr int temperatureUnitFirstCode = 11;

// A whole number 1..255: anything else would move the instrument to an address
// this window cannot reach (0 is the broadcast address).
bool validInstrumentAddress(const QString &text, quint16 *address)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    if (!ok || value < 1 || value > 255)
        return false;
    *address = static_cast<quint16>(value);
    return true;
}

// A combo box that shows no item (the instrument sent a code outside its
// list) leaves the register as it was read rather than writing -1 back.
void collectIndex(RegisterMirror &m, int reg, const QComboBox *combo, int offset = 0)
{
    if (combo->currentIndex() >= 0)
        m.set(reg, static_cast<quint16>(combo->currentIndex() + offset));
}

void setUnitLabels(Ui::MainWindow *ui, quint16 pressureUnit, quint16 temperatureUnit)
{
    ui->label_yalidanwei->setText(unitName(pressureUnit));
    ui->label_wendudanwei->setText(unitName(temperatureUnit));
}

} // namespace

void MainWindow::showUnitLabels()
{
    auto m = worker->lockMirror();
    setUnitLabels(ui, m->at(Reg::pressureUnit), m->at(Reg::temperatureUnit));
}

void MainWindow::showUserParam()
{
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);
    setUnitLabels(ui, m->at(Reg::pressureUnit), m->at(Reg::temperatureUnit));

    ui->lineEdit_yonghudizhi->setText(QString::number(m->at(Reg::address)));
    ui->comboBox_yonghubotelv->setCurrentIndex(m->at(Reg::baudCode));
    ui->comboBox_yonghuparity->setCurrentIndex(m->at(Reg::parityCode));
    ui->lineEdit_caijizhouqi->setText(QString::number(m->at(Reg::samplePeriod)));
    ui->comboBox_beiguangshijian->setCurrentIndex(m->at(Reg::backlightCode));
    ui->comboBox_yonghuyalidanwei->setCurrentIndex(m->at(Reg::pressureUnit));
    ui->comboBox_yonghuwendudanwei->setCurrentIndex(int(m->at(Reg::temperatureUnit)) -
                                                    temperatureUnitFirstCode);
    ui->comboBox_yonghuyalixiaoshudian->setCurrentIndex(m->at(Reg::pressureDecimals));
    ui->comboBox_yonghuwenduxiaoshudian->setCurrentIndex(m->at(Reg::temperatureDecimals));
    ui->lineEdit_ptswitchtime->setText(QString::number(m->at(Reg::displaySwitchTime)));

    // A rate other than 10 or 40 matches no item; the combo keeps its choice.
    ui->comboBox_ADCspeed->setCurrentText(QString::number(m->at(Reg::adcRate)));

    io.showFloat(ui->lineEdit_yali_k, m->float32(Reg::pressureGain));
    io.showFloat(ui->lineEdit_yalijizhi, m->float32(Reg::pressureOffset));
    io.showFloat(ui->lineEdit_g, m->float32(Reg::gravity));
    io.showFloat(ui->lineEdit_density, m->float32(Reg::density));
}

void MainWindow::getUserParam()
{
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);

    // Only a reachable address is ever collected; the write button refuses the
    // others with a message, every other caller keeps the address read last.
    quint16 address = 0;
    if (validInstrumentAddress(ui->lineEdit_yonghudizhi->text(), &address))
        m->set(Reg::address, address);

    collectIndex(*m, Reg::baudCode, ui->comboBox_yonghubotelv);
    collectIndex(*m, Reg::parityCode, ui->comboBox_yonghuparity);
    collectIndex(*m, Reg::pressureDecimals, ui->comboBox_yonghuyalixiaoshudian);
    collectIndex(*m, Reg::pressureUnit, ui->comboBox_yonghuyalidanwei);
    collectIndex(*m, Reg::temperatureDecimals, ui->comboBox_yonghuwenduxiaoshudian);
    collectIndex(*m, Reg::temperatureUnit, ui->comboBox_yonghuwendudanwei,
                 temperatureUnitFirstCode);
    m->set(Reg::samplePeriod, field::parseUint16(ui->lineEdit_caijizhouqi->text()));
    collectIndex(*m, Reg::backlightCode, ui->comboBox_beiguangshijian);
    m->set(Reg::displaySwitchTime, field::parseUint16(ui->lineEdit_ptswitchtime->text()));
    m->set(Reg::adcRate, field::parseUint16(ui->comboBox_ADCspeed->currentText()));

    m->setFloat32(
        Reg::pressureGain,
        io.collectFloat(ui->lineEdit_yali_k, m->float32(Reg::pressureGain), tr("压力增益值")));
    m->setFloat32(
        Reg::pressureOffset,
        io.collectFloat(ui->lineEdit_yalijizhi, m->float32(Reg::pressureOffset), tr("压力偏移值")));
    m->setFloat32(Reg::density,
                  io.collectFloat(ui->lineEdit_density, m->float32(Reg::density), tr("密度")));
    m->setFloat32(Reg::gravity,
                  io.collectFloat(ui->lineEdit_g, m->float32(Reg::gravity), tr("重力加速度")));
}

bool MainWindow::refuseInvalidAddress()
{
    quint16 address = 0;
    if (validInstrumentAddress(ui->lineEdit_yonghudizhi->text(), &address))
        return false;
    showState(tr("地址无效"));
    showWarning(tr("仪表地址必须是1到255之间的整数！"));
    return true;
}

void MainWindow::on_pushButton_duqushezhi_clicked()
{
    sendDeviceCommand(Cmd::readUserParam);
}

void MainWindow::on_pushButton_xierushezhi_clicked()
{
    startWrite(Cmd::writeUserParam, Blocks::userParamBlock, [this] {
        if (refuseInvalidAddress())
            return false;
        getUserParam();
        return true;
    });
}
