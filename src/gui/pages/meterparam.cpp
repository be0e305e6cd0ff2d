// The meter parameters group: meter type and meter number (registers 72..74).

#include "model/fieldcodec.h"
#include "model/registermirror.h"
#include "pages/fieldio.h"
#include "shell/mainwindow.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QString>

namespace {
constexpr int meterNumberDigits = 10;
}

void MainWindow::showMeterParam()
{
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);
    // A type above 2 selects nothing; the type slot then enables every group.
    io.showCode(ui->comboBox_yibiaoleixing, m->at(Reg::meterType), FieldIO::Codes::ByIndex);
    io.showWhole(ui->lineEdit_yibiaobianhao, m->uint32(Reg::meterNumber), meterNumberDigits);
}

void MainWindow::getMeterParam()
{
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);
    io.collectCode(*m, Reg::meterType, ui->comboBox_yibiaoleixing, FieldIO::Codes::ByIndex);
    io.collectWhole(*m, Reg::meterNumber, ui->lineEdit_yibiaobianhao);
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
