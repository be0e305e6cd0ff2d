// Every reply of the worker arrives here, queued, in the order it was sent.
// Rows are tried in a fixed order; the first that matches handles the reply.

#include "link/seriallink.h"
#include "mainwindow.h"
#include "model/codetables.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"

namespace {

// A read or write reply that shows a status text and, on failure, the same
// text as a warning.
struct StatusRow
{
    QString reply;
    const char *status;
    bool warn;
};

} // namespace

void MainWindow::showAllPages()
{
    showMeterInfo();
    showMeterParam();
    showUserParam();
    showPressureParam();
    showTempParam();
    showYaliEcjzData();
    showWenduEcjzData();
    showCustomReg();
}

void MainWindow::receiveMessageFromModbusThread(QString Message)
{
    if (replyForLink(Message))
        return;
    const SplitMessage split = splitMessage(Message);

    if (Message == Reply::searchStart) {
        ui->label_connect->setText(searchingText());
        ui->pushButton_sousuo->setText(tr("停止"));
        ui->pushButton_lianjie->setText(tr("连接"));
        return;
    }
    if (split.key == Reply::searchingAddr) {
        showState(tr("当前搜索地址：%1").arg(split.argument));
        return;
    }
    if (split.key == Reply::foundDevice) {
        ui->comboBox_addr->addItem(split.argument);
        return;
    }
    if (Message == Reply::searchFinish || Message == Reply::searchStoped) {
        ui->label_connect->setText(tr("未连接"));
        showState(Message == Reply::searchFinish ? tr("搜索完成") : tr("搜索停止"));
        ui->pushButton_sousuo->setText(tr("搜索"));
        if (ui->pushButton_lianjie->text() == tr("连接"))
            connectToChosenAddress();
        return;
    }
    if (Message == Reply::modbusCreateSucceed) {
        ui->label_connect->setText(connectionText(false));
        ui->pushButton_lianjie->setText(tr("断开连接"));
        ui->pushButton_sousuo->setText(tr("搜索"));
        return;
    }
    if (split.key == Reply::setProgressBar) {
        ui->progressBar->setValue(int(split.argument.toUInt()));
        if (ui->progressBar->value() > 99)
            progressHideCountdown = 2;
        else
            ui->progressBar->show();
        return;
    }
    if (Message == Reply::disconnectSucceed) {
        serialPort->close();
        ui->label_connect->setText(tr("未连接"));
        ui->pushButton_lianjie->setText(tr("连接"));
        ui->pushButton_sousuo->setText(tr("搜索"));
        showState(tr("已断开连接"));
        ui->stackedWidget->setEnabled(false);
        return;
    }
    if (Message == Reply::connectSucceed) {
        showState(tr("连接成功"));
        ui->label_connect->setText(connectionText(true));
        ui->stackedWidget->setEnabled(true);
        if (readAllAfterConnect) {
            readAllAfterConnect = false;
            emit sendMessageToModbusThread(Cmd::readAll);
        }
        return;
    }
    if (Message == Reply::connectFailed) {
        showState(tr("连接失败"));
        ui->pushButton_xierushezhi->setEnabled(false);
        return;
    }
    if (Message == Reply::versionError) {
        emit sendMessageToModbusThread(Cmd::disconnect);
        showWarning(tr("板卡固件版本太低，请使用V0.4版本的调试软件！"));
        return;
    }
    if (Message == Reply::readMeasuredSucceed) {
        showLiveValues();
        return;
    }

    // Read and write replies of the pages. Display operations run after the
    // status text except where noted.
    if (Message == Reply::succeed(Cmd::readMeterParam)) {
        showState(tr("读取仪表参数成功"));
        showMeterParam();
        return;
    }
    if (Message == Reply::succeed(Cmd::readUserParam)) {
        showState(tr("读取设置数据成功"));
        ui->pushButton_xierushezhi->setEnabled(true);
        showUserParam();
        return;
    }
    if (Message == Reply::succeed(Cmd::writeUserParam)) {
        showState(tr("写入设置数据成功"));
        showUnitLabels();
        return;
    }
    if (Message == Reply::succeed(Cmd::readPressureParam)) {
        showState(tr("读取压力校准数据成功"));
        showPressureParam();
        return;
    }
    if (Message == Reply::succeed(Cmd::readTempParam)) {
        showState(tr("读取温度校准数据成功"));
        showTempParam();
        return;
    }
    if (Message == Reply::succeed(Cmd::readMeterInfo)) {
        showState(tr("读取仪表信息成功"));
        showMeterInfo();
        return;
    }
    if (Message == Reply::succeed(Cmd::writePressureParam)) {
        showYaliEcjzData();
        showState(tr("写入压力校准数据成功"));
        return;
    }
    if (Message == Reply::succeed(Cmd::writeTempParam)) {
        showWenduEcjzData();
        showState(tr("写入温度校准数据成功"));
        return;
    }
    if (Message == Reply::succeed(Cmd::readYaliEcjz)) {
        showState(tr("读取压力二次校准数据成功"));
        showYaliEcjzData();
        return;
    }
    if (Message == Reply::succeed(Cmd::readWenduEcjz)) {
        showState(tr("读取温度二次校准数据成功"));
        showWenduEcjzData();
        return;
    }
    if (Message == Reply::succeed(Cmd::readCustomReg)) {
        showState(tr("读取寄存器组态数据成功"));
        showCustomReg();
        return;
    }
    if (Message == Reply::succeed(Cmd::readAll)) {
        showState(tr("全部读取成功"));
        showAllPages();
        return;
    }
    if (Message == Reply::succeed(Cmd::writeAll)) {
        showYaliEcjzData();
        showWenduEcjzData();
        showState(tr("全部写入成功"));
        return;
    }
    if (Message == Reply::backFacSucceed) {
        showState(tr("恢复出厂成功"));
        emit sendMessageToModbusThread(Cmd::disconnect);
        return;
    }
    if (Message == Reply::userSaveSucceed || Message == Reply::facSaveSucceed) {
        showState(tr("保存成功"));
        reapplyLinkAfterSave();
        return;
    }

    // Replies that only report: a status text, and for failures the same text
    // as a warning ending in "！".
    static const StatusRow rows[] = {
        {Reply::failed(Cmd::readMeterParam), "读取仪表参数失败", true},
        {Reply::succeed(Cmd::writeMeterParam), "写入仪表参数成功", false},
        {Reply::failed(Cmd::writeMeterParam), "写入仪表参数失败", true},
        {Reply::failed(Cmd::readUserParam), "读取设置数据失败", true},
        {Reply::failed(Cmd::writeUserParam), "写入设置数据失败", true},
        {Reply::failed(Cmd::readPressureParam), "读取压力校准数据失败", true},
        {Reply::failed(Cmd::readTempParam), "读取温度校准数据失败", true},
        {Reply::failed(Cmd::readMeterInfo), "读取仪表信息失败", true},
        {Reply::failed(Cmd::writePressureParam), "写入压力校准数据失败", true},
        {Reply::failed(Cmd::writeTempParam), "写入温度校准数据失败", true},
        {Reply::failed(Cmd::readYaliEcjz), "读取压力二次校准数据失败", true},
        {Reply::succeed(Cmd::writeYaliEcjz), "写入压力二次校准数据成功", false},
        {Reply::failed(Cmd::writeYaliEcjz), "写入压力二次校准数据失败", true},
        {Reply::failed(Cmd::readWenduEcjz), "读取温度二次校准数据失败", true},
        {Reply::succeed(Cmd::writeWenduEcjz), "写入温度二次校准数据成功", false},
        {Reply::failed(Cmd::writeWenduEcjz), "写入温度二次校准数据失败", true},
        {Reply::failed(Cmd::readCustomReg), "读取寄存器组态数据失败", true},
        {Reply::succeed(Cmd::writeCustomReg), "写入寄存器组态数据成功", false},
        {Reply::failed(Cmd::writeCustomReg), "写入寄存器组态数据失败", true},
        {Reply::failed(Cmd::readAll), "全部读取失败", true},
        {Reply::failed(Cmd::writeAll), "全部写入失败", true},
        {Reply::succeed(Cmd::writeClr), "操作成功", false},
        {Reply::failed(Cmd::writeClr), "操作失败", true},
        {Reply::facBacking, "正在恢复出厂...", false},
        {Reply::backFacFailed, "恢复出厂失败", true},
        {Reply::userSaving, "正在保存...", false},
        {Reply::userSaveFailed, "保存失败", true},
        {Reply::facSaving, "正在保存...", false},
        {Reply::facSaveFailed, "保存失败", true},
    };
    for (const StatusRow &row : rows) {
        if (Message != row.reply)
            continue;
        showState(tr(row.status));
        if (row.warn)
            showWarning(tr(row.status) + tr("！"));
        return;
    }
}
