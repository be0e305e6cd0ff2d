// The user settings page: the instrument's link settings, units, decimals,
// timings and the pressure conversion factors (registers 42..61).

#include "mainwindow.h"
#include "model/codetables.h"
#include "model/fieldcodec.h"
#include "model/registermirror.h"
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

    ui->lineEdit_yali_k->setText(field::formatFloat(m->float32(Reg::pressureGain)));
    ui->lineEdit_yalijizhi->setText(field::formatFloat(m->float32(Reg::pressureOffset)));
    ui->lineEdit_g->setText(field::formatFloat(m->float32(Reg::gravity)));
    ui->lineEdit_density->setText(field::formatFloat(m->float32(Reg::density)));
}

void MainWindow::getUserParam()
{
    auto m = worker->lockMirror();

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

    m->setFloat32(Reg::pressureGain, field::parseFloat(ui->lineEdit_yali_k->text()));
    m->setFloat32(Reg::pressureOffset, field::parseFloat(ui->lineEdit_yalijizhi->text()));
    m->setFloat32(Reg::density, field::parseFloat(ui->lineEdit_density->text()));
    m->setFloat32(Reg::gravity, field::parseFloat(ui->lineEdit_g->text()));
}

void MainWindow::on_pushButton_duqushezhi_clicked()
{
    emit sendMessageToModbusThread(Cmd::readUserParam);
}

void MainWindow::on_pushButton_xierushezhi_clicked()
{
    quint16 address = 0;
    if (!validInstrumentAddress(ui->lineEdit_yonghudizhi->text(), &address)) {
        showState(tr("地址无效"));
        showWarning(tr("仪表地址必须是1到255之间的整数！"));
        return;
    }
    getUserParam();
    emit sendMessageToModbusThread(Cmd::writeUserParam);
}
