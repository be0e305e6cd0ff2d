// The window's side of the serial line: port list, port opening, the search
// and connect buttons, and the bytes in both directions for the Modbus master.

#include "mainwindow.h"
#include "modbus/kzmodbus.h"
#include "model/codetables.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTimer>

namespace {
// More than the longest reply (255 bytes for 125 registers).
constexpr qint64 maxBytesPerRead = 300;
} // namespace

void MainWindow::on_pushButton_chazhaoduankou_clicked()
{
    ui->comboBox_duankouhao->clear();
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        ui->comboBox_duankouhao->addItem(info.portName());
    // Ports the system does not list (a virtual instrument's pseudo-terminal).
    const QString extra = qEnvironmentVariable("KV3PD_EXTRA_PORTS");
    const QStringList extraPorts = extra.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &name : extraPorts)
        ui->comboBox_duankouhao->addItem(name);
}

bool MainWindow::openSerialPort()
{
    serialPort->close();
    portName = ui->comboBox_duankouhao->currentText();
    serialPort->setPortName(portName);
    if (!serialPort->open(QIODevice::ReadWrite)) {
        serialPort->close();
        ui->label_connect->setText(tr("未连接"));
        showState(tr("端口打开失败"));
        showWarning(tr("端口打开失败，请检查端口号是否正确或端口是否占用！"));
        return false;
    }
    baudRate = ui->comboBox_baud->currentText().toUInt();
    serialPort->setBaudRate(qint32(baudRate), QSerialPort::AllDirections);
    serialPort->setDataBits(QSerialPort::Data8);
    parityIndex = quint8(ui->comboBox_parity->currentIndex());
    applyParity(parityIndex);
    serialPort->setStopBits(QSerialPort::OneStop);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);
    return true;
}

void MainWindow::applyParity(int index)
{
    QSerialPort::Parity parity = QSerialPort::NoParity;
    if (index == 1)
        parity = QSerialPort::OddParity;
    else if (index == 2)
        parity = QSerialPort::EvenParity;
    // Some lines (a pseudo-terminal among them) cannot carry parity; the port
    // still works, so a refusal is not a broken link.
    if (!serialPort->setParity(parity))
        serialPort->clearError();
}

void MainWindow::on_pushButton_sousuo_clicked()
{
    const QString text = ui->pushButton_sousuo->text();
    if (text == tr("搜索")) {
        ui->comboBox_addr->clear();
        if (ui->comboBox_duankouhao->currentText().isEmpty()) {
            showState(tr("请选择端口号"));
            showWarning(tr("请选择端口号！"));
        }
        if (!openSerialPort())
            return;
        emit sendMessageToModbusThread(Cmd::search);
    } else if (text == tr("停止")) {
        emit sendMessageToModbusThread(Cmd::searchStop);
    }
}

void MainWindow::on_pushButton_lianjie_clicked()
{
    const QString text = ui->pushButton_lianjie->text();
    if (text == tr("连接")) {
        connectToChosenAddress();
    } else if (text == tr("断开连接")) {
        emit sendMessageToModbusThread(Cmd::disconnect);
    }
}

// The connect button's procedure; also run on its own when a search ends.
void MainWindow::connectToChosenAddress()
{
    if (ui->comboBox_duankouhao->currentText().isEmpty()) {
        showState(tr("请选择端口号"));
        showWarning(tr("请选择端口号！"));
    }
    if (ui->comboBox_addr->currentText().isEmpty()) {
        showState(tr("请选择地址"));
        showWarning(tr("请选择地址！"));
        return;
    }
    if (!openSerialPort())
        return;
    deviceAddress = quint8(ui->comboBox_addr->currentText().toUInt());
    emit sendMessageToModbusThread(Cmd::connectFmt.arg(deviceAddress));
    readAllAfterConnect = true;
}

void MainWindow::reapplyLinkAfterSave()
{
    quint16 baudCode, parityCode, address;
    {
        auto mirror = worker->lockMirror();
        baudCode = mirror->at(43);
        parityCode = mirror->at(44);
        address = mirror->at(42);
    }
    baudRate = baudRateForCode(baudCode);
    ui->comboBox_baud->setCurrentIndex(baudCode);
    serialPort->setBaudRate(qint32(baudRate), QSerialPort::AllDirections);

    parityIndex = quint8(parityCode);
    ui->comboBox_parity->setCurrentIndex(parityIndex);
    applyParity(parityIndex);

    deviceAddress = quint8(address);
    ui->comboBox_addr->removeItem(ui->comboBox_addr->currentIndex());
    ui->comboBox_addr->addItem(QString::number(address));

    ui->label_connect->setText(connectionText(true));
}

// The parity name as shown; a code outside the table comes back marked unknown.
static QString shownParity(quint8 index)
{
    if (index < parityNames.size())
        return MainWindow::tr(parityNames[index]);
    return parityName(index);
}

QString MainWindow::searchingText() const
{
    return tr("当前连接：%1,%2,%3,8,1").arg(portName).arg(baudRate).arg(shownParity(parityIndex));
}

QString MainWindow::connectionText(bool withAddress) const
{
    if (!withAddress)
        return tr("当前连接：%1").arg(portName);
    return tr("当前连接：%1,%2,%3,8,1,地址：%4")
        .arg(portName)
        .arg(baudRate)
        .arg(shownParity(parityIndex))
        .arg(deviceAddress);
}

MainWindow::LinkSettings MainWindow::linkSettings() const
{
    return {portName,
            baudRate,
            parityIndex,
            deviceAddress,
            serialPort->isOpen(),
            serialPort->baudRate()};
}

void MainWindow::readMySerialPort()
{
    readScheduled = false;
    const QByteArray bytes = serialPort->read(maxBytesPerRead);
    kzModbus *master = worker->modbusMaster();
    for (char byte : bytes)
        master->receiveByte(quint8(byte));
    // readyRead is not raised again for bytes already buffered: fetch the rest
    // now, still at most 300 bytes a call, so a reply's tail cannot sit unread.
    if (serialPort->bytesAvailable() > 0 && !readScheduled) {
        readScheduled = true;
        QTimer::singleShot(0, this, &MainWindow::readMySerialPort);
    }
}

void MainWindow::writeMySerialPort(const QByteArray &frame)
{
    // A frame that does not reach the line ends in the master's timeout.
    serialPort->write(frame);
}
