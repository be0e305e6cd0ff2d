// The window's side of the serial line: port list, port opening, the search
// and connect buttons, the window's reaction to a lost and a returning
// adapter, and the forwards to the SerialLink that carries the bytes.

#include "link/seriallink.h"
#include "modbus/kzmodbus.h"
#include "model/codetables.h"
#include "shell/mainwindow.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QScrollBar>
#include <QSerialPortInfo>
#include <QStringList>

void MainWindow::setUpSerialLink()
{
    serialPort = new SerialLink;
    serialPort->attach(worker->modbusMaster());
    connect(serialPort, &SerialLink::portLost, this, &MainWindow::onPortLost);
    connect(serialPort, &SerialLink::reopened, this, &MainWindow::onPortReopened);
    // The box is narrow: a long path shows whole in its tool tip and its list,
    // whatever the style makes of a list wider than its box.
    QComboBox *ports = ui->comboBox_duankouhao;
    connect(ports, &QComboBox::currentTextChanged, ports, &QWidget::setToolTip);
    connect(ports->model(), &QAbstractItemModel::rowsInserted, ports, [ports] {
        QAbstractItemView *list = ports->view();
        list->setMinimumWidth(list->sizeHintForColumn(0) +
                              list->verticalScrollBar()->sizeHint().width());
    });
    // Choosing another port while the lost one is awaited: the user's choice wins.
    connect(ui->comboBox_duankouhao, QOverload<int>::of(&QComboBox::activated), this, [this] {
        if (ui->comboBox_duankouhao->currentText() != serialPort->portName())
            userTakesOverLink();
    });
}

void MainWindow::preselect(const QString &port, int address)
{
    if (!port.isEmpty()) {
        int index = ui->comboBox_duankouhao->findText(port);
        if (index < 0) {
            ui->comboBox_duankouhao->addItem(port);
            index = ui->comboBox_duankouhao->count() - 1;
        }
        ui->comboBox_duankouhao->setCurrentIndex(index);
    }
    if (address >= 1 && address <= 255)
        ui->comboBox_addr->setEditText(QString::number(address));
}

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
    const QString port = ui->comboBox_duankouhao->currentText();
    const quint32 baud = ui->comboBox_baud->currentText().toUInt();
    const quint8 parity = quint8(ui->comboBox_parity->currentIndex());
    link.portChosen(port);
    if (!serialPort->open(port, qint32(baud), parity)) {
        setConnectionLine(tr("未连接"));
        // Serial ports belong to the group dialout on Debian; say so, since
        // the warning's own guesses (wrong name, port busy) would mislead.
        showState(serialPort->permissionDenied()
                      ? tr("端口打开失败 无权限：请把用户加入 dialout 组")
                      : tr("端口打开失败"));
        showWarning(tr("端口打开失败，请检查端口号是否正确或端口是否占用！"));
        return false;
    }
    link.lineChanged(baud, parity);
    applyLineTiming(baud, parity);
    return true;
}

void MainWindow::applyLineTiming(quint32 rate, int parity)
{
    // The parity asked for, not what the line shows: a pty cannot carry it,
    // a real adapter sends 11 bits a character with it.
    worker->modbusMaster()->setLineTiming(qint32(rate), (parity == 1 || parity == 2) ? 11 : 10);
}

void MainWindow::applyParity(int index)
{
    serialPort->setParity(index);
}

void MainWindow::on_pushButton_sousuo_clicked()
{
    const QString text = ui->pushButton_sousuo->text();
    if (text == tr("搜索")) {
        userTakesOverLink();
        link.giveUp();
        ui->comboBox_addr->clear();
        if (ui->comboBox_duankouhao->currentText().isEmpty()) {
            showState(tr("请选择端口号"));
            showWarning(tr("请选择端口号！"));
        }
        if (!openSerialPort())
            return;
        emit sendMessageToModbusThread(Cmd::search);
    } else if (text == tr("停止")) {
        userTakesOverLink();
        emit sendMessageToModbusThread(Cmd::searchStop);
    }
}

void MainWindow::on_pushButton_lianjie_clicked()
{
    const QString text = ui->pushButton_lianjie->text();
    if (text == tr("连接")) {
        userTakesOverLink();
        connectToChosenAddress();
    } else if (text == tr("断开连接")) {
        userTakesOverLink();
        link.giveUp();
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
    // The box takes a typed address too; 0 is the broadcast address, which no
    // instrument answers.
    bool isNumber = false;
    const uint address = ui->comboBox_addr->currentText().toUInt(&isNumber);
    if (!isNumber || address < 1 || address > 255) {
        showState(tr("地址无效"));
        showWarning(tr("仪表地址必须是1到255之间的整数！"));
        return false;
    }
    if (!openSerialPort())
        return false;
    link.connectAsked(quint8(address));
    emit sendMessageToModbusThread(Cmd::connectFmt.arg(link.address()));
    return true;
}

void MainWindow::followLinkSettings(const QString &argument)
{
    FollowedLinkSettings settings;
    if (!parseFollowLink(argument, &settings))
        return;
    const quint16 baudCode = settings.baudCode, parityCode = settings.parityCode;
    link.follow(settings);
    // At once: the worker's wait for the end of the save already goes out at
    // the new settings, and its frames reach the port after this reply.
    serialPort->setBaudRate(qint32(baudRateForCode(baudCode)));
    applyParity(int(parityCode));
    applyLineTiming(baudRateForCode(baudCode), int(parityCode));
}

void MainWindow::reapplyLinkAfterSave()
{
    // Only settings the save's own write sent are followed; a save of any
    // other block leaves the link where it is.
    FollowedLinkSettings settings;
    if (!link.takeFollowed(&settings))
        return;

    link.lineChanged(baudRateForCode(settings.baudCode), quint8(settings.parityCode));
    ui->comboBox_baud->setCurrentIndex(settings.baudCode);
    serialPort->setBaudRate(qint32(link.baudRate()));

    ui->comboBox_parity->setCurrentIndex(link.parityIndex());
    applyParity(link.parityIndex());

    // The connected entry of the address list takes the new address in its
    // place; another entry with that address would now be a duplicate.
    link.setAddress(quint8(settings.address));
    QComboBox *list = ui->comboBox_addr;
    const QString text = QString::number(settings.address);
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

    setConnectionLine(connectionText(true));
}

void MainWindow::closeIdlePort()
{
    serialPort->close();
}

// The adapter went away under the open port (the link has closed it already).
// The worker stops using the line; once it has, a link that was up is reopened
// when the device returns.
void MainWindow::onPortLost()
{
    emit sendMessageToModbusThread(ui->pushButton_sousuo->text() == tr("停止") ? Cmd::searchStop
                                                                               : Cmd::disconnect);
    showState(tr("串口已断开"));
    setConnectionLine(tr("串口已断开：%1").arg(serialPort->portName()));
    markLiveValuesStale(true);
    showWarning(tr("串口已断开，请检查串口线或USB转换器！"));
}

// Polling resumes without a read: what the user typed into the pages stays.
void MainWindow::onPortReopened()
{
    showState(tr("串口已恢复"));
    setConnectionLine(connectionText(true));
    emit sendMessageToModbusThread(Cmd::connectFmt.arg(link.address()));
}

void MainWindow::userTakesOverLink()
{
    if (serialPort->isLost())
        serialPort->close();
}

bool MainWindow::replyForLink(const QString &Message)
{
    if (Message == Reply::readMeasuredSucceed)
        markLiveValuesStale(false);
    else if (Message == Reply::connectFailed)
        markLiveValuesStale(true);
    if (Message == Reply::readMeasuredFailed) {
        // The instrument answers: nothing but the live values is concerned.
        markLiveValuesStale(true);
        return true;
    }

    const bool stopped = Message == Reply::disconnectSucceed || Message == Reply::searchFinish ||
                         Message == Reply::searchStoped;
    if (!stopped)
        return false;
    if (!serialPort->isLost()) {
        if (Message == Reply::disconnectSucceed)
            link.giveUp();
        return false;
    }
    // The worker has let go of the lost line: no automatic connect after the
    // search, and the connection line keeps saying what happened.
    ui->pushButton_lianjie->setText(tr("连接"));
    ui->pushButton_sousuo->setText(tr("搜索"));
    if (Message == Reply::disconnectSucceed)
        ui->stackedWidget->setEnabled(false);
    showState(tr("串口已断开"));
    if (link.isWanted())
        serialPort->reopenWhenBack();
    return true;
}

void MainWindow::markLiveValuesStale(bool stale)
{
    if (!link.setStale(stale))
        return;
    QWidget *const liveValues[] = {ui->lineEdit_yalizhi,
                                   ui->lineEdit_wenduzhi,
                                   ui->lineEdit_yalizhizhengxing,
                                   ui->lineEdit_wenduzhizhengxing,
                                   ui->lineEdit_dianchidianya,
                                   ui->lineEdit_dianchidianliang,
                                   ui->label_yaliADC,
                                   ui->label_wenduADC};
    // Greyed, text kept: the last values stay readable but do not look live.
    for (QWidget *widget : liveValues)
        widget->setEnabled(!stale);
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
    return tr("当前连接：%1,%2,%3,8,1")
        .arg(link.portName())
        .arg(link.baudRate())
        .arg(shownParity(link.parityIndex()));
}

QString MainWindow::connectionText(bool withAddress) const
{
    if (!withAddress)
        return tr("当前连接：%1").arg(link.portName());
    return tr("当前连接：%1,%2,%3,8,1,地址：%4")
        .arg(link.portName())
        .arg(link.baudRate())
        .arg(shownParity(link.parityIndex()))
        .arg(link.address());
}

MainWindow::LinkSettings MainWindow::linkSettings() const
{
    return {link.portName(), link.baudRate(),      link.parityIndex(),
            link.address(),  serialPort->isOpen(), serialPort->portBaudRate()};
}

void MainWindow::readMySerialPort()
{
    serialPort->readPort();
}

void MainWindow::writeMySerialPort(const QByteArray &frame)
{
    serialPort->write(frame);
}
