// Every reply of the worker arrives here, queued, in the order it was sent.
// Rows are tried in a fixed order; the first that matches handles the reply.

#include "link/seriallink.h"
#include "model/codetables.h"
#include "shell/mainwindow.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

namespace {

// A read or write reply that shows a status text and, on failure, the same
// text as a warning.
struct StatusRow
{
    QString reply;
    const char *status;
    bool warn;
};

// The pages a read or write reply fills.
struct PageReply
{
    const QString &command;
    int page;     // a Page, or -1 when the reply fills no page
    int alsoPage; // a second page the reply shows, or -1
    bool write;
};

const PageReply pageReplies[] = {
    {Cmd::readUserParam, int(Page::UserSettings), -1, false},
    {Cmd::readMeterParam, int(Page::MeterParam), -1, false},
    {Cmd::readPressureParam, int(Page::PressureCalibration), -1, false},
    {Cmd::readTempParam, int(Page::TemperatureCalibration), -1, false},
    {Cmd::readYaliEcjz, int(Page::PressureSecondary), -1, false},
    {Cmd::readWenduEcjz, int(Page::TemperatureSecondary), -1, false},
    {Cmd::readCustomReg, int(Page::RegisterConfiguration), -1, false},
    {Cmd::writeUserParam, int(Page::UserSettings), -1, true},
    {Cmd::writeMeterParam, int(Page::MeterParam), -1, true},
    {Cmd::writePressureParam, int(Page::PressureCalibration), int(Page::PressureSecondary), true},
    {Cmd::writeTempParam, int(Page::TemperatureCalibration), int(Page::TemperatureSecondary), true},
    {Cmd::writeYaliEcjz, int(Page::PressureSecondary), -1, true},
    {Cmd::writeWenduEcjz, int(Page::TemperatureSecondary), -1, true},
    {Cmd::writeCustomReg, int(Page::RegisterConfiguration), -1, true},
};

} // namespace

void MainWindow::trackPageReply(const QString &message)
{
    if (message == Reply::succeed(Cmd::readAll) || message == Reply::succeed(Cmd::writeAll)) {
        pages.fillAll(PageSource::Instrument);
    } else if (message == Reply::failed(Cmd::readAll)) {
        pages.fillAll(PageSource::Empty);
    } else {
        for (const PageReply &row : pageReplies) {
            const bool succeeded = message == Reply::succeed(row.command);
            if (!succeeded && (row.write || message != Reply::failed(row.command)))
                continue;
            // A failed read leaves the page showing data it can no longer vouch for.
            const PageSource source = succeeded ? PageSource::Instrument : PageSource::Empty;
            if (row.page >= 0)
                pages.fill(Page(row.page), source);
            if (row.alsoPage >= 0)
                pages.fill(Page(row.alsoPage), source);
            break;
        }
    }
    updateWriteButtons();
}

void MainWindow::updateWriteButtons()
{
    ui->pushButton_xierushezhi->setEnabled(pages.writable(Page::UserSettings));
    ui->pushButton_xieruyibiaocanshu->setEnabled(pages.writable(Page::MeterParam));
    ui->pushButton_xieruyalishuju->setEnabled(pages.writable(Page::PressureCalibration));
    ui->pushButton_xieruwendushuju->setEnabled(pages.writable(Page::TemperatureCalibration));
    ui->pushButton_xieruyaliercijiaozhun->setEnabled(pages.writable(Page::PressureSecondary));
    ui->pushButton_xieruwenduercijiaozhun->setEnabled(pages.writable(Page::TemperatureSecondary));
    ui->pushButton_xierucustomreg->setEnabled(pages.writable(Page::RegisterConfiguration));
    ui->pushButton_xieruquanbushuju->setEnabled(pages.allWritable());
}

void MainWindow::endProgress()
{
    progressEnded = true;
    progressHideCountdown = 2;
    startTicking();
}

bool MainWindow::sendDeviceCommand(const QString &command)
{
    if (link.instrumentSilent()) {
        showState(tr("仪表未连接，命令未执行"));
        return false;
    }
    emit sendMessageToModbusThread(command);
    return true;
}

bool MainWindow::startWrite(const QString &command, const RegisterBlock &block,
                            const std::function<bool()> &prepare)
{
    if (link.instrumentSilent()) {
        showState(tr("仪表未连接，命令未执行"));
        return false;
    }
    // Held before collecting, so a read finishing meanwhile cannot replace
    // what the user typed; a write of the block already waiting keeps its hold.
    QVector<bool> heldBefore(block.count);
    {
        auto m = worker->lockMirror();
        for (int i = 0; i < block.count; ++i)
            heldBefore[i] = m->isHeld(block.first + i);
        m->hold(block);
    }
    invalidField.clear();
    const bool ready = prepare() && !refuseInvalidField();
    if (!ready) {
        auto m = worker->lockMirror();
        for (int i = 0; i < block.count; ++i) {
            if (!heldBefore[i])
                m->release({block.first + i, 1});
        }
        return false;
    }
    emit sendMessageToModbusThread(command);
    return true;
}

bool MainWindow::refuseInvalidField()
{
    if (invalidField.isEmpty())
        return false;
    const QString caption = invalidField;
    invalidField.clear();
    showState(tr("数值无效"));
    showWarning(tr("数值无效：%1").arg(caption));
    return true;
}

void MainWindow::showAllPages()
{
    showMeterInfo();
    showEditablePages();
}

void MainWindow::showEditablePages()
{
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
    // A link that ends or begins leaves the pages with nothing of its own.
    const bool linkBegins = Message == Reply::modbusCreateSucceed;
    if (linkBegins || Message == Reply::disconnectSucceed || Message == Reply::searchStart) {
        if (linkBegins)
            link.linkBegan();
        else
            link.linkEnded();
        pages.linkEnded();
        updateWriteButtons();
    }
    if (replyForLink(Message))
        return;
    // Ten times a second while polling; no page and no status text takes it,
    // so nothing below concerns it but the buttons, kept in step as for every reply.
    if (Message == Reply::readMeasuredSucceed) {
        updateWriteButtons();
        link.setAnswering(true);
        showLiveValues();
        return;
    }
    const SplitMessage split = splitMessage(Message);

    trackPageReply(Message);
    if (Message.endsWith(QLatin1String(" failed")) && Message != Reply::connectFailed)
        endProgress();

    if (Message == Reply::commandsCancelled) {
        showState(tr("未执行的命令已取消"));
        return;
    }
    if (Message == Reply::commandsNotRun) {
        showState(tr("仪表未连接，命令未执行"));
        return;
    }
    if (split.key == Reply::followLink && split.argument != Message) {
        followLinkSettings(split.argument);
        return;
    }
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
        // Nothing found, or stopped: the port goes back to the other programs.
        if (ui->pushButton_lianjie->text() != tr("连接") || !connectToChosenAddress())
            closeIdlePort();
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
        if (ui->progressBar->value() > 99) {
            progressHideCountdown = 2;
            startTicking();
        } else {
            progressEnded = false;
            ui->progressBar->show();
        }
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
        link.setAnswering(true);
        showState(tr("连接成功"));
        ui->label_connect->setText(connectionText(true));
        ui->stackedWidget->setEnabled(true);
        if (link.takeReadAllAfterConnect()) {
            // A backup loaded for this meter would be overwritten unseen.
            if (pages.holdsBackup())
                showState(tr("已载入备份数据，未读取仪表"));
            else
                emit sendMessageToModbusThread(Cmd::readAll);
        }
        return;
    }
    if (Message == Reply::connectFailed) {
        link.setAnswering(false);
        showState(tr("连接失败"));
        if (pages.source(Page::UserSettings) == PageSource::Instrument)
            pages.fill(Page::UserSettings, PageSource::Empty);
        ui->pushButton_xierushezhi->setEnabled(false);
        return;
    }
    if (Message == Reply::versionError) {
        link.setAnswering(false);
        emit sendMessageToModbusThread(Cmd::disconnect);
        showWarning(tr("板卡固件版本太低，请使用V0.4版本的调试软件！"));
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
        {Reply::failed(Cmd::readMeterParam), QT_TR_NOOP("读取仪表参数失败"), true},
        {Reply::succeed(Cmd::writeMeterParam), QT_TR_NOOP("写入仪表参数成功"), false},
        {Reply::failed(Cmd::writeMeterParam), QT_TR_NOOP("写入仪表参数失败"), true},
        {Reply::failed(Cmd::readUserParam), QT_TR_NOOP("读取设置数据失败"), true},
        {Reply::failed(Cmd::writeUserParam), QT_TR_NOOP("写入设置数据失败"), true},
        {Reply::failed(Cmd::readPressureParam), QT_TR_NOOP("读取压力校准数据失败"), true},
        {Reply::failed(Cmd::readTempParam), QT_TR_NOOP("读取温度校准数据失败"), true},
        {Reply::failed(Cmd::readMeterInfo), QT_TR_NOOP("读取仪表信息失败"), true},
        {Reply::failed(Cmd::writePressureParam), QT_TR_NOOP("写入压力校准数据失败"), true},
        {Reply::failed(Cmd::writeTempParam), QT_TR_NOOP("写入温度校准数据失败"), true},
        {Reply::failed(Cmd::readYaliEcjz), QT_TR_NOOP("读取压力二次校准数据失败"), true},
        {Reply::succeed(Cmd::writeYaliEcjz), QT_TR_NOOP("写入压力二次校准数据成功"), false},
        {Reply::failed(Cmd::writeYaliEcjz), QT_TR_NOOP("写入压力二次校准数据失败"), true},
        {Reply::failed(Cmd::readWenduEcjz), QT_TR_NOOP("读取温度二次校准数据失败"), true},
        {Reply::succeed(Cmd::writeWenduEcjz), QT_TR_NOOP("写入温度二次校准数据成功"), false},
        {Reply::failed(Cmd::writeWenduEcjz), QT_TR_NOOP("写入温度二次校准数据失败"), true},
        {Reply::failed(Cmd::readCustomReg), QT_TR_NOOP("读取寄存器组态数据失败"), true},
        {Reply::succeed(Cmd::writeCustomReg), QT_TR_NOOP("写入寄存器组态数据成功"), false},
        {Reply::failed(Cmd::writeCustomReg), QT_TR_NOOP("写入寄存器组态数据失败"), true},
        {Reply::failed(Cmd::readAll), QT_TR_NOOP("全部读取失败"), true},
        {Reply::failed(Cmd::writeAll), QT_TR_NOOP("全部写入失败"), true},
        {Reply::succeed(Cmd::writeClr), QT_TR_NOOP("操作成功"), false},
        {Reply::failed(Cmd::writeClr), QT_TR_NOOP("操作失败"), true},
        {Reply::facBacking, QT_TR_NOOP("正在恢复出厂..."), false},
        {Reply::backFacFailed, QT_TR_NOOP("恢复出厂失败"), true},
        {Reply::userSaving, QT_TR_NOOP("正在保存..."), false},
        {Reply::userSaveFailed, QT_TR_NOOP("保存失败"), true},
        {Reply::facSaving, QT_TR_NOOP("正在保存..."), false},
        {Reply::facSaveFailed, QT_TR_NOOP("保存失败"), true},
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
