// The user settings page: the instrument's link settings, units, decimals,
// timings and the pressure conversion factors (registers 42..61).

#include "model/fieldcodec.h"
#include "model/registermirror.h"
#include "pages/fieldio.h"
#include "shell/mainwindow.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QComboBox>
#include <QLineEdit>
#include <QString>

namespace {

constexpr int temperatureUnitFirstCode = 11;
// A whole number 1..255: anything else would move the instrument to an address
// this window cannot reach (0 is the broadcast address).
constexpr quint32 lowestAddress = 1;
constexpr quint32 highestAddress = 255;

using Codes = FieldIO::Codes;

} // namespace

void MainWindow::showUserParam()
{
    // The labels beside the live values follow the instrument, not the page.
    showUnitLabels();
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);

    io.showWhole(ui->lineEdit_yonghudizhi, m->at(Reg::address));
    io.showCode(ui->comboBox_yonghubotelv, m->at(Reg::baudCode), Codes::ByIndex);
    io.showCode(ui->comboBox_yonghuparity, m->at(Reg::parityCode), Codes::ByIndex);
    io.showWhole(ui->lineEdit_caijizhouqi, m->at(Reg::samplePeriod));
    io.showCode(ui->comboBox_beiguangshijian, m->at(Reg::backlightCode), Codes::ByIndex);
    io.showCode(ui->comboBox_yonghuyalidanwei, m->at(Reg::pressureUnit), Codes::ByIndex);
    io.showCode(ui->comboBox_yonghuwendudanwei, m->at(Reg::temperatureUnit), Codes::ByIndex,
                temperatureUnitFirstCode);
    io.showCode(ui->comboBox_yonghuyalixiaoshudian, m->at(Reg::pressureDecimals), Codes::ByIndex);
    io.showCode(ui->comboBox_yonghuwenduxiaoshudian, m->at(Reg::temperatureDecimals),
                Codes::ByIndex);
    io.showWhole(ui->lineEdit_ptswitchtime, m->at(Reg::displaySwitchTime));
    io.showCode(ui->comboBox_ADCspeed, m->at(Reg::adcRate), Codes::ByNumber);

    io.showFloat(ui->lineEdit_yali_k, m->float32(Reg::pressureGain));
    io.showFloat(ui->lineEdit_yalijizhi, m->float32(Reg::pressureOffset));
    io.showFloat(ui->lineEdit_g, m->float32(Reg::gravity));
    io.showFloat(ui->lineEdit_density, m->float32(Reg::density));
}

void MainWindow::getUserParam()
{
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);

    // The write button refuses an unreachable address with a message of its
    // own before this runs; every other caller keeps the address read last.
    io.collectWhole(*m, Reg::address, ui->lineEdit_yonghudizhi, lowestAddress, highestAddress);
    io.collectCode(*m, Reg::baudCode, ui->comboBox_yonghubotelv, Codes::ByIndex);
    io.collectCode(*m, Reg::parityCode, ui->comboBox_yonghuparity, Codes::ByIndex);
    io.collectCode(*m, Reg::pressureDecimals, ui->comboBox_yonghuyalixiaoshudian, Codes::ByIndex);
    io.collectCode(*m, Reg::pressureUnit, ui->comboBox_yonghuyalidanwei, Codes::ByIndex);
    io.collectCode(*m, Reg::temperatureDecimals, ui->comboBox_yonghuwenduxiaoshudian,
                   Codes::ByIndex);
    io.collectCode(*m, Reg::temperatureUnit, ui->comboBox_yonghuwendudanwei, Codes::ByIndex,
                   temperatureUnitFirstCode);
    io.collectWhole(*m, Reg::samplePeriod, ui->lineEdit_caijizhouqi);
    io.collectCode(*m, Reg::backlightCode, ui->comboBox_beiguangshijian, Codes::ByIndex);
    io.collectWhole(*m, Reg::displaySwitchTime, ui->lineEdit_ptswitchtime);
    io.collectCode(*m, Reg::adcRate, ui->comboBox_ADCspeed, Codes::ByNumber);

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
    quint32 address = 0;
    if (field::parseWhole(ui->lineEdit_yonghudizhi->text(), lowestAddress, highestAddress,
                          &address))
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
