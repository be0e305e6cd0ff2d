// The window's side of the serial line: port list, port opening, the search
// and connect buttons, and the bytes in both directions for the Modbus master.

#include "mainwindow.h"
#include "modbus/kzmodbus.h"
#include "model/codetables.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QComboBox>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QStringList>
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
// False when no connect was sent.
bool MainWindow::connectToChosenAddress()
{
    if (ui->comboBox_duankouhao->currentText().isEmpty()) {
        showState(tr("请选择端口号"));
        showWarning(tr("请选择端口号！"));
    }
    if (ui->comboBox_addr->currentText().isEmpty()) {
        showState(tr("请选择地址"));
        showWarning(tr("请选择地址！"));
        return false;
    }
    if (!openSerialPort())
        return false;
    deviceAddress = quint8(ui->comboBox_addr->currentText().toUInt());
    emit sendMessageToModbusThread(Cmd::connectFmt.arg(deviceAddress));
    readAllAfterConnect = true;
    return true;
}

void MainWindow::followLinkSettings(const QString &argument)
{
    const QStringList parts = argument.split(QLatin1Char(','));
    if (parts.size() != 3)
        return;
    bool ok[3] = {};
    const uint address = parts[0].toUInt(&ok[0]);
    const uint baudCode = parts[1].toUInt(&ok[1]);
    const uint parityCode = parts[2].toUInt(&ok[2]);
    // Address 0 is the broadcast address: no instrument answers there.
    if (!ok[0] || !ok[1] || !ok[2] || address < 1 || address > 255 ||
        baudCode >= baudRates.size() || parityCode >= parityNames.size())
        return;
    followedLink = {true, quint16(address), quint16(baudCode), quint16(parityCode)};
    // At once: the worker's wait for the end of the save already goes out at
    // the new settings, and its frames reach the port after this reply.
    serialPort->setBaudRate(qint32(baudRateForCode(baudCode)), QSerialPort::AllDirections);
    applyParity(int(parityCode));
}

void MainWindow::reapplyLinkAfterSave()
{
    // Only settings the save's own write sent are followed; a save of any
    // other block leaves the link where it is.
    if (!followedLink.valid)
        return;
    const FollowedLink link = followedLink;
    followedLink.valid = false;

    baudRate = baudRateForCode(link.baudCode);
    ui->comboBox_baud->setCurrentIndex(link.baudCode);
    serialPort->setBaudRate(qint32(baudRate), QSerialPort::AllDirections);

    parityIndex = quint8(link.parityCode);
    ui->comboBox_parity->setCurrentIndex(parityIndex);
    applyParity(parityIndex);

    // The connected entry of the address list takes the new address in its
    // place; another entry with that address would now be a duplicate.
    deviceAddress = quint8(link.address);
    QComboBox *list = ui->comboBox_addr;
    const QString text = QString::number(link.address);
    if (list->currentIndex() < 0) {
        list->addItem(text);
        list->setCurrentIndex(list->count() - 1);
    } else {
        list->setItemText(list->currentIndex(), text);
    }
    for (int i = list->count() - 1; i >= 0; --i) {
        if (i != list->currentIndex() && list->itemText(i) == text)
            list->removeItem(i);
    }

    ui->label_connect->setText(connectionText(true));
}

void MainWindow::closeIdlePort()
{
    serialPort->close();
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
    // A frame that does not reach the line ends in the master's timeout. Out
    // at once, not on the next turn of the event loop: the worker waits for it.
    serialPort->write(frame);
    serialPort->flush();
}
