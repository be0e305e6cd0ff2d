// The meter parameters group: meter type and meter number (registers 72..74).

#include "model/fieldcodec.h"
#include "model/registermirror.h"
#include "shell/mainwindow.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QString>

void MainWindow::showMeterParam()
{
    auto m = worker->lockMirror();
    // A type above 2 selects nothing; the type slot then enables every group.
    ui->comboBox_yibiaoleixing->setCurrentIndex(m->at(Reg::meterType));
    ui->lineEdit_yibiaobianhao->setText(field::formatMeterNumber(m->uint32(Reg::meterNumber)));
}

void MainWindow::getMeterParam()
{
    auto m = worker->lockMirror();
    // With no type selected (an unknown type was read) the register keeps it.
    const int type = ui->comboBox_yibiaoleixing->currentIndex();
    if (type >= 0)
        m->set(Reg::meterType, static_cast<quint16>(type));
    m->setUint32(Reg::meterNumber, field::parseUint32(ui->lineEdit_yibiaobianhao->text()));
}

void MainWindow::on_pushButton_duquyibiaocanshu_clicked()
{
    sendDeviceCommand(Cmd::readMeterParam);
}

void MainWindow::on_pushButton_xieruyibiaocanshu_clicked()
{
    startWrite(Cmd::writeMeterParam, Blocks::meterParamBlock, [this] {
        getMeterParam();
        return true;
    });
}

void MainWindow::on_pushButton_yibiaobianhaojiayi_clicked()
{
    const quint32 next = field::parseUint32(ui->lineEdit_yibiaobianhao->text()) + 1u;
    ui->lineEdit_yibiaobianhao->setText(QString::number(next));
}

void MainWindow::on_comboBox_yibiaoleixing_currentTextChanged(const QString &arg1)
{
    const bool pressure = arg1 != tr("单独温度");
    const bool temperature = arg1 != tr("单独压力");
    ui->groupBox_yalijiaozhun->setEnabled(pressure);
    ui->groupBox_yaliercijiaozhun->setEnabled(pressure);
    ui->groupBox_wendujiaozhun->setEnabled(temperature);
    ui->groupBox_wenduercijiaozhun->setEnabled(temperature);
}
