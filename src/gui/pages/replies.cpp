// Every reply of the worker arrives here, queued, in the order it was sent.
// Rows are tried in a fixed order; the first that matches handles the reply.

#include "link/seriallink.h"
#include "model/codetables.h"
#include "model/fieldcodec.h"
#include "shell/mainwindow.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QPushButton>

#include <utility>

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
    {Cmd::writeCustomRegClone, int(Page::RegisterConfiguration), -1, true},
};

bool isWriteAll(const QString &command)
{
    return command == Cmd::writeAll || command == Cmd::writeAllClone;
}

// What the user calls each command that changes the instrument.
const char *writeName(const QString &command)
{
    static const struct
    {
        const QString &command;
        const char *name;
    } names[] = {
        {Cmd::writeMeterParam, QT_TRANSLATE_NOOP("MainWindow", "写入仪表参数")},
        {Cmd::writeUserParam, QT_TRANSLATE_NOOP("MainWindow", "写入设置数据")},
        {Cmd::writePressureParam, QT_TRANSLATE_NOOP("MainWindow", "写入压力校准数据")},
        {Cmd::writeTempParam, QT_TRANSLATE_NOOP("MainWindow", "写入温度校准数据")},
        {Cmd::writeYaliEcjz, QT_TRANSLATE_NOOP("MainWindow", "写入压力二次校准数据")},
        {Cmd::writeWenduEcjz, QT_TRANSLATE_NOOP("MainWindow", "写入温度二次校准数据")},
        {Cmd::writeCustomReg, QT_TRANSLATE_NOOP("MainWindow", "写入寄存器组态数据")},
        {Cmd::writeCustomRegClone, QT_TRANSLATE_NOOP("MainWindow", "写入寄存器组态数据")},
        {Cmd::writeAll, QT_TRANSLATE_NOOP("MainWindow", "写入全部数据")},
        {Cmd::writeAllClone, QT_TRANSLATE_NOOP("MainWindow", "写入全部数据")},
        {Cmd::facSave, QT_TRANSLATE_NOOP("MainWindow", "工厂保存数据")},
        {Cmd::userSave, QT_TRANSLATE_NOOP("MainWindow", "保存")},
        {Cmd::backFac, QT_TRANSLATE_NOOP("MainWindow", "恢复出厂")},
        {Cmd::writeClr, QT_TRANSLATE_NOOP("MainWindow", "清零/反清零")},
    };
    for (const auto &n : names) {
        if (n.command == command)
            return n.name;
    }
    return nullptr;
}

} // namespace

QString MainWindow::refusalText(WriteRefusal refusal)
{
    switch (refusal) {
    case WriteRefusal::NothingRead:
        return tr("先读取本页数据");
    case WriteRefusal::NotConnected:
        return tr("仪表未连接");
    case WriteRefusal::OtherMeter:
        return tr("另一台仪表的数据");
    case WriteRefusal::None:
        break;
    }
    return QString();
}

WriteRefusal MainWindow::writeRefusal(const QString &command) const
{
    const std::optional<quint32> meter = link.meter();
    if (isWriteAll(command))
        return pages.writeAllRefusal(meter);
    for (const PageReply &row : pageReplies) {
        if (row.write && row.command == command)
            return pages.refusal(Page(row.page), meter);
    }
    // Zero and undo zero carry no page's data, only the meter's own reading.
    return meter ? WriteRefusal::None : WriteRefusal::NotConnected;
}

MainWindow::Identification MainWindow::identifyMeter(const QString &message)
{
    Identification id;
    if (message == Reply::succeed(Cmd::readMeterInfo) ||
        message == Reply::failed(Cmd::readMeterInfo))
        id.quiet = link.takeIdentityRequest() && message == Reply::succeed(Cmd::readMeterInfo);
    const bool carriesIdentity = message == Reply::succeed(Cmd::readAll) ||
                                 message == Reply::succeed(Cmd::readMeterInfo) ||
                                 message == Reply::succeed(Cmd::readMeterParam);
    if (!carriesIdentity || link.isIdentified())
        return id;
    {
        auto m = worker->lockMirror();
        // Held: the user's number for a write still waiting, not the meter's.
        if (m->isHeld(Reg::meterNumber) || m->isHeld(Reg::meterNumber + 1))
            return id;
        id.number = m->uint32(Reg::meterNumber);
    }
    id.identified = true;
    id.firstMeter = !link.knowsMeter();
    id.fromReadAll = message == Reply::succeed(Cmd::readAll);
    id.before = link.identify(id.number);
    return id;
}

void MainWindow::meterIdentified(const Identification &id)
{
    if (!id.identified)
        return;
    if (id.before) {
        // Another meter answers where the last one did: a new connection.
        showState(tr("检测到另一台仪表：%1").arg(field::formatMeterNumber(id.number)));
        // The units of the live values were the other meter's.
        if (!id.fromReadAll)
            worker->lockMirror()->forgetConfirmed();
        showMeterInfo();
        if (!pages.holdsBackup() && !id.fromReadAll)
            emit sendMessageToModbusThread(Cmd::readAll);
    }
    if (id.before || id.firstMeter)
        warnIfForeignBackup();
}

void MainWindow::warnIfForeignBackup()
{
    const std::optional<quint32> meter = link.meter();
    const std::optional<quint32> file = pages.backupMeter();
    if (!pages.holdsForeignBackup(meter) || !file)
        return;
    showWarning(tr("备份文件属于另一台仪表：文件的仪表编号为 %1，当前仪表编号为 %2。"
                   "文件中的仪表参数和校准数据不会写入当前仪表；写入全部数据时，当前仪表保留自己的"
                   "仪表参数、校准数据和通讯设置。")
                    .arg(field::formatMeterNumber(*file), field::formatMeterNumber(*meter)));
}

void MainWindow::requestIdentity()
{
    link.identityRequested();
    emit sendMessageToModbusThread(Cmd::readMeterInfo);
}

void MainWindow::followRenumbering(const QString &message)
{
    if (message != Reply::succeed(Cmd::writeMeterParam) && message != Reply::succeed(Cmd::writeAll))
        return;
    const std::optional<quint32> meter = link.meter();
    if (!meter)
        return;
    // The meter took the number the write sent: it is still the same meter.
    const quint32 number = worker->lockMirror()->uint32(Reg::meterNumber);
    pages.renumbered(*meter, number);
    link.renumbered(number);
}

void MainWindow::warnDroppedWrites(const QString &argument)
{
    QStringList names;
    for (const QString &command : argument.split(QLatin1Char(','))) {
        const char *name = writeName(command);
        const QString text = name ? tr(name) : command;
        if (!names.contains(text))
            names << text;
    }
    showWarning(tr("未执行的写入已取消：%1").arg(names.join(tr("、"))));
}

void MainWindow::trackPageReply(const QString &message)
{
    followRenumbering(message);
    const std::optional<quint32> meter = link.meter();
    // Data that arrives before the meter has said which one it is belongs to nobody.
    const auto fill = [&](int page) {
        if (page < 0)
            return;
        if (meter)
            pages.read(Page(page), *meter);
        else
            pages.clear(Page(page));
    };
    if (message == Reply::succeed(Cmd::readAll) || message == Reply::succeed(Cmd::writeAll) ||
        message == Reply::succeed(Cmd::writeAllClone)) {
        for (int page = 0; page < PageCount; ++page)
            fill(page);
    } else if (message == Reply::failed(Cmd::readAll)) {
        pages.clearAll();
    } else {
        for (const PageReply &row : pageReplies) {
            const bool succeeded = message == Reply::succeed(row.command);
            if (!succeeded && (row.write || message != Reply::failed(row.command)))
                continue;
            // A failed read leaves the page showing data it can no longer vouch for.
            if (succeeded) {
                fill(row.page);
                fill(row.alsoPage);
            } else {
                pages.clear(Page(row.page));
            }
            break;
        }
    }
    updateWriteButtons();
}

void MainWindow::updateWriteButtons()
{
    const std::optional<quint32> meter = link.meter();
    const std::pair<QPushButton *, Page> buttons[] = {
        {ui->pushButton_xierushezhi, Page::UserSettings},
        {ui->pushButton_xieruyibiaocanshu, Page::MeterParam},
        {ui->pushButton_xieruyalishuju, Page::PressureCalibration},
        {ui->pushButton_xieruwendushuju, Page::TemperatureCalibration},
        {ui->pushButton_xieruyaliercijiaozhun, Page::PressureSecondary},
        {ui->pushButton_xieruwenduercijiaozhun, Page::TemperatureSecondary},
        {ui->pushButton_xierucustomreg, Page::RegisterConfiguration}};
    // A greyed button says in its tool tip why it is greyed.
    const auto show = [](QPushButton *button, WriteRefusal why) {
        button->setEnabled(why == WriteRefusal::None);
        button->setToolTip(refusalText(why));
    };
    for (const auto &b : buttons)
        show(b.first, pages.refusal(b.second, meter));
    show(ui->pushButton_xieruquanbushuju, pages.writeAllRefusal(meter));
}

void MainWindow::endProgress()
{
    progressEnded = true;
    progressHideCountdown = 2;
    startTicking();
}

bool MainWindow::sendDeviceCommand(const QString &command)
{
    // Not connected at all is as much "nobody there" as a silent instrument.
    if (!link.isUp() || link.instrumentSilent()) {
        showState(tr("仪表未连接，命令未执行"));
        return false;
    }
    emit sendMessageToModbusThread(command);
    return true;
}

bool MainWindow::refuseWrite(const QString &command)
{
    if (!link.meter()) {
        // Nothing is written before the meter answering has said which one it is.
        showState(link.isUp() && link.isAnswering() ? tr("仪表编号未确认，命令未执行")
                                                    : tr("仪表未连接，命令未执行"));
        return true;
    }
    const WriteRefusal why = writeRefusal(command);
    if (why == WriteRefusal::None)
        return false;
    showState(tr("%1，命令未执行").arg(refusalText(why)));
    return true;
}

bool MainWindow::startWrite(const QString &command, const RegisterBlock &block,
                            const std::function<bool()> &prepare)
{
    if (refuseWrite(command))
        return false;
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
        updateWriteButtons();
    }
    if (Message == Reply::connectSucceed || Message == Reply::readMeasuredSucceed)
        link.setAnswering(true);
    else if (Message == Reply::connectFailed || Message == Reply::versionError)
        link.setAnswering(false);
    if (replyForLink(Message))
        return;
    // Ten times a second while polling; no page and no status text takes it,
    // so nothing below concerns it but the buttons, kept in step as for every reply.
    if (Message == Reply::readMeasuredSucceed) {
        updateWriteButtons();
        showLiveValues();
        return;
    }
    const SplitMessage split = splitMessage(Message);

    // Which meter answers, before the pages take the data of this reply as its.
    const Identification id = identifyMeter(Message);
    trackPageReply(Message);
    if (Message.endsWith(QLatin1String(" failed")) && Message != Reply::connectFailed)
        endProgress();

    if (split.key == Reply::writesDropped && split.argument != Message) {
        warnDroppedWrites(split.argument);
        return;
    }
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
        setConnectionLine(searchingText());
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
        setConnectionLine(tr("未连接"));
        showState(Message == Reply::searchFinish ? tr("搜索完成") : tr("搜索停止"));
        ui->pushButton_sousuo->setText(tr("搜索"));
        // Nothing found, or stopped: the port goes back to the other programs.
        if (ui->pushButton_lianjie->text() != tr("连接") || !connectToChosenAddress())
            closeIdlePort();
        return;
    }
    if (Message == Reply::modbusCreateSucceed) {
        setConnectionLine(connectionText(false));
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
        setConnectionLine(tr("未连接"));
        ui->pushButton_lianjie->setText(tr("连接"));
        ui->pushButton_sousuo->setText(tr("搜索"));
        showState(tr("已断开连接"));
        ui->stackedWidget->setEnabled(false);
        return;
    }
    if (Message == Reply::connectSucceed) {
        showState(tr("连接成功"));
        setConnectionLine(connectionText(true));
        ui->stackedWidget->setEnabled(true);
        const bool connectAsked = link.takeReadAllAfterConnect();
        // The read of everything tells which meter answers as well.
        if (connectAsked && !pages.holdsBackup()) {
            emit sendMessageToModbusThread(Cmd::readAll);
            return;
        }
        // A backup loaded for this meter would be overwritten unseen.
        if (connectAsked)
            showState(tr("已载入备份数据，未读取仪表"));
        requestIdentity();
        return;
    }
    if (Message == Reply::connectFailed) {
        showState(tr("连接失败"));
        if (pages.source(Page::UserSettings) == PageSource::Instrument)
            pages.clear(Page::UserSettings);
        updateWriteButtons();
        return;
    }
    if (Message == Reply::versionError) {
        emit sendMessageToModbusThread(Cmd::disconnect);
        showWarning(tr("板卡固件版本太低，请使用V0.4版本的调试软件！"));
        return;
    }
    // Read and write replies of the pages. Display operations run after the
    // status text except where noted.
    if (Message == Reply::succeed(Cmd::readMeterParam)) {
        showState(tr("读取仪表参数成功"));
        showMeterParam();
        meterIdentified(id);
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
        // The window's own question after a connect is no news to the user.
        if (!id.quiet)
            showState(tr("读取仪表信息成功"));
        showMeterInfo();
        meterIdentified(id);
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
        meterIdentified(id);
        return;
    }
    if (Message == Reply::succeed(Cmd::writeAll)) {
        showYaliEcjzData();
        showWenduEcjzData();
        showState(tr("全部写入成功"));
        return;
    }
    if (Message == Reply::succeed(Cmd::writeAllClone)) {
        // The meter kept its identity and calibration: the pages show them now.
        showAllPages();
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
        {Reply::succeed(Cmd::writeCustomRegClone), QT_TR_NOOP("写入寄存器组态数据成功"), false},
        {Reply::failed(Cmd::writeCustomRegClone), QT_TR_NOOP("写入寄存器组态数据失败"), true},
        {Reply::failed(Cmd::readAll), QT_TR_NOOP("全部读取失败"), true},
        {Reply::failed(Cmd::writeAll), QT_TR_NOOP("全部写入失败"), true},
        {Reply::failed(Cmd::writeAllClone), QT_TR_NOOP("全部写入失败"), true},
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
