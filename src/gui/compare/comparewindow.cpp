#include "compare/comparewindow.h"

#include "model/fieldcodec.h"
#include "model/registermirror.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QBrush>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QTextStream>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Column
{
    FieldColumn,
    RegistersColumn,
    ValueAColumn,
    ValueBColumn,
    StateColumn,
    ColumnCount
};

// Index into the comparison's rows; group title rows have none.
constexpr int RowRole = Qt::UserRole;

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool isSaveEnd(const QString &message)
{
    return message == Reply::userSaveSucceed || message == Reply::facSaveSucceed ||
           message == Reply::userSaveFailed || message == Reply::facSaveFailed;
}

// Replies after which nothing this window asked for will run any more.
bool linkEnds(const QString &message)
{
    return message == Reply::commandsCancelled || message == Reply::commandsNotRun ||
           message == Reply::disconnectSucceed || message == Reply::searchStart ||
           message == Reply::modbusCreateSucceed;
}

} // namespace

CompareWindow::CompareWindow(modbusThread *modbusWorker, LinkProbe probe, QWidget *parent)
    : QWidget(parent, Qt::Window), worker(modbusWorker), instrumentAnswers(std::move(probe))
{
    setObjectName(QStringLiteral("compareWindow"));
    setWindowTitle(tr("对比备份数据"));
    resize(900, 620);

    sources = new QLabel(this);
    sources->setObjectName(QStringLiteral("label_compareSources"));
    sources->setTextInteractionFlags(Qt::TextSelectableByMouse);
    state = new QLabel(this);
    state->setObjectName(QStringLiteral("label_compareState"));
    state->setWordWrap(true);
    differencesOnly = new QCheckBox(tr("只显示不同"), this);
    differencesOnly->setObjectName(QStringLiteral("checkBox_compareDifferences"));
    openButton = new QPushButton(tr("打开文件"), this);
    openButton->setObjectName(QStringLiteral("pushButton_compareOpen"));
    exportButton = new QPushButton(tr("导出CSV"), this);
    exportButton->setObjectName(QStringLiteral("pushButton_compareExport"));
    writeButton = new QPushButton(tr("写入所选"), this);
    writeButton->setObjectName(QStringLiteral("pushButton_compareWrite"));

    table = new QTableWidget(0, ColumnCount, this);
    table->setObjectName(QStringLiteral("tableWidget_compare"));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    const int widths[ColumnCount] = {220, 95, 230, 230, 50};
    for (int c = 0; c < ColumnCount; ++c)
        table->setColumnWidth(c, widths[c]);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(openButton);
    buttons->addWidget(differencesOnly);
    buttons->addStretch(1);
    buttons->addWidget(exportButton);
    buttons->addWidget(writeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(sources);
    layout->addLayout(buttons);
    layout->addWidget(table, 1);
    layout->addWidget(state);

    connect(openButton, &QPushButton::clicked, this, &CompareWindow::start);
    connect(differencesOnly, &QCheckBox::toggled, this, &CompareWindow::applyFilter);
    connect(writeButton, &QPushButton::clicked, this, &CompareWindow::writeChosen);
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const QString path = askFile(FileRole::Csv);
        if (!path.isEmpty())
            exportCsv(path);
    });
    connect(table, &QTableWidget::itemChanged, this, &CompareWindow::updateButtons);
    connect(this, &CompareWindow::sendMessageToModbusThread, worker,
            &modbusThread::receiveMessageFromMainThread);
    connect(worker, &modbusThread::sendMessageToMainThread, this, &CompareWindow::onWorkerMessage);

    // Close together with the window this one was opened from.
    if (parent)
        parent->installEventFilter(this);
    fillTable();
}

bool CompareWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Close)
        close();
    return QWidget::eventFilter(watched, event);
}

QString CompareWindow::askFile(FileRole role)
{
    if (fileNameProvider)
        return fileNameProvider(role);
    const QString filter = tr("qvdbk文件(*.qvdbk)");
    QString path;
    switch (role) {
    case FileRole::A:
        path = QFileDialog::getOpenFileName(this, tr("选择第一个备份文件"), lastFolder, filter);
        break;
    case FileRole::B:
        path = QFileDialog::getOpenFileName(
            this, fromInstrument ? tr("选择备份文件") : tr("选择第二个备份文件"), lastFolder,
            filter);
        break;
    case FileRole::Csv:
        path = QFileDialog::getSaveFileName(this, tr("导出CSV"), lastFolder, tr("CSV文件(*.csv)"));
        break;
    }
    if (!path.isEmpty())
        lastFolder = QFileInfo(path).absolutePath();
    return path;
}

bool CompareWindow::load(const QString &path, quint16 *regs)
{
    QString reason;
    switch (readBackupFile(path, regs, &reason)) {
    case BackupRead::Ok:
        return true;
    case BackupRead::CannotOpen:
        state->setText(tr("无法打开文件 %1：%2").arg(path, reason));
        return false;
    case BackupRead::Damaged:
        state->setText(tr("文件已损坏或不是备份文件：%1").arg(path));
        return false;
    }
    return false;
}

void CompareWindow::start()
{
    if (isBusy())
        return;
    // Decided here: asked for its file, the user knows what A will be.
    fromInstrument = instrumentAnswers && instrumentAnswers();
    QString pathA;
    quint16 a[backup::RegisterCount];
    quint16 b[backup::RegisterCount];
    if (!fromInstrument) {
        pathA = askFile(FileRole::A);
        if (pathA.isEmpty() || !load(pathA, a))
            return;
    }
    const QString pathB = askFile(FileRole::B);
    if (pathB.isEmpty() || !load(pathB, b))
        return;

    fileA = pathA;
    fileB = pathB;
    purpose = Purpose::Show;
    std::copy_n(b, backup::RegisterCount, imageB);
    compared.clear();
    if (fromInstrument) {
        fillTable();
        readInstrument(Purpose::Show);
    } else {
        std::copy_n(a, backup::RegisterCount, imageA);
        showComparison();
    }
}

bool CompareWindow::answering()
{
    // A command given while no instrument answers would wait for whatever
    // instrument the next connection reaches.
    if (instrumentAnswers && instrumentAnswers())
        return true;
    finish(tr("仪表未连接"));
    return false;
}

bool CompareWindow::send(const QString &command)
{
    if (!answering())
        return false;
    emit sendMessageToModbusThread(command);
    return true;
}

void CompareWindow::readInstrument(Purpose why)
{
    purpose = why;
    step = Step::Reading;
    updateButtons();
    if (why != Purpose::Recheck) {
        blocksWritten = 0;
        blocksTaken = 0;
        state->setText(tr("正在读取仪表数据……"));
    }
    send(Cmd::readSnapshot);
}

void CompareWindow::onWorkerMessage(const QString &message)
{
    if (step == Step::Idle)
        return;
    if (linkEnds(message)) {
        finish(
            blocksWritten > 0
                ? tr("与仪表的连接已中断：已写入并保存 %1 个数据块，未重新比较").arg(blocksWritten)
                : tr("与仪表的连接已中断"));
        return;
    }
    switch (step) {
    case Step::Idle:
        break;
    case Step::Reading:
        if (message == Reply::succeed(Cmd::readSnapshot)) {
            takeSnapshot();
        } else if (message == Reply::failed(Cmd::readSnapshot)) {
            finish(purpose == Purpose::Recheck ? writtenText() + tr("；重新读取仪表数据失败")
                                               : tr("读取仪表数据失败"));
        } else if (isSaveEnd(message)) {
            // A save drops the commands waiting behind it; this one is asked again.
            send(Cmd::readSnapshot);
        }
        break;
    case Step::Writing: {
        const compare::WriteBlock &block = plan.at(planIndex);
        if (message == Reply::succeed(block.writeCommand)) {
            ++blocksTaken;
            step = Step::Saving;
        } else if (message == Reply::failed(block.writeCommand)) {
            writeEnded(tr("写入失败"));
        } else if (isSaveEnd(message) && answering() && stage(block, true)) {
            // Another write's save came first and may have dropped this one.
            emit sendMessageToModbusThread(block.writeCommand);
        }
        break;
    }
    case Step::Saving:
        // The first save to end after the write is the write's own.
        if (message == Reply::userSaveSucceed || message == Reply::facSaveSucceed) {
            ++blocksWritten;
            ++planIndex;
            writeNext();
        } else if (message == Reply::userSaveFailed || message == Reply::facSaveFailed) {
            writeEnded(tr("保存失败"));
        }
        break;
    }
}

void CompareWindow::takeSnapshot()
{
    {
        auto m = worker->lockMirror();
        std::copy_n(m->snapshot() + backup::FirstRegister, backup::RegisterCount, imageA);
    }
    if (purpose == Purpose::Stage) {
        startWrites();
        return;
    }
    step = Step::Idle;
    showComparison();
}

void CompareWindow::showComparison()
{
    compared = compare::compareImages(imageA, imageB);
    fillTable();
    int differing = 0;
    for (const compare::Row &r : qAsConst(compared))
        differing += r.equal() ? 0 : 1;
    QString text = differing == 0
                       ? tr("共 %1 个字段，全部相同").arg(compared.size())
                       : tr("共 %1 个字段，%2 个不同").arg(compared.size()).arg(differing);
    if (purpose == Purpose::Recheck) {
        int still = 0;
        for (const compare::Row &r : qAsConst(compared))
            still += !r.equal() && writing.contains(r.field) ? 1 : 0;
        text = writtenText() +
               (still > 0 ? tr("；所选字段中仍有 %1 个不同").arg(still) : QString()) +
               QStringLiteral("。") + text;
        writing.clear();
        writeFailure.clear();
    }
    state->setText(text);
}

QString CompareWindow::writtenText() const
{
    return writeFailure.isEmpty() ? tr("已写入并保存 %1 个字段").arg(writing.size()) : writeFailure;
}

QString CompareWindow::stateText(compare::State s) const
{
    switch (s) {
    case compare::State::Same:
        return tr("相同");
    case compare::State::Approx:
        return QStringLiteral("≈");
    case compare::State::Different:
        break;
    }
    return tr("不同");
}

bool CompareWindow::sameMeter() const
{
    return compare::meterNumberOf(imageA) == compare::meterNumberOf(imageB);
}

void CompareWindow::fillTable()
{
    const QSignalBlocker blocker(table);
    const QString nameA = fromInstrument ? tr("仪表") : QFileInfo(fileA).fileName();
    const QString nameB = QFileInfo(fileB).fileName();
    table->setHorizontalHeaderLabels(
        {tr("字段"), tr("寄存器"), tr("A：%1").arg(nameA), tr("B：%1").arg(nameB), tr("状态")});
    sources->setText(compared.isEmpty()
                         ? QString()
                         : tr("A：%1（仪表编号 %2）    B：%3（仪表编号 %4）")
                               .arg(fromInstrument ? tr("仪表") : fileA,
                                    field::formatMeterNumber(compare::meterNumberOf(imageA)), fileB,
                                    field::formatMeterNumber(compare::meterNumberOf(imageB))));
    table->clearSpans();
    table->setRowCount(0);
    const bool same = sameMeter();
    int group = -1;
    for (int i = 0; i < compared.size(); ++i) {
        const compare::Row &r = compared.at(i);
        if (int(r.field->group) != group) {
            group = int(r.field->group);
            const int row = table->rowCount();
            table->insertRow(row);
            auto *title = new QTableWidgetItem(fields::groupTitle(r.field->group));
            QFont bold = title->font();
            bold.setBold(true);
            title->setFont(bold);
            title->setFlags(Qt::ItemIsEnabled);
            title->setData(RowRole, -1);
            table->setItem(row, FieldColumn, title);
            table->setSpan(row, 0, 1, ColumnCount);
        }
        const int row = table->rowCount();
        table->insertRow(row);
        auto *name = new QTableWidgetItem(r.field->title());
        name->setData(RowRole, i);
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (fromInstrument && r.state != compare::State::Same) {
            if (compare::mayWrite(*r.field, same)) {
                flags |= Qt::ItemIsUserCheckable;
                name->setCheckState(Qt::Unchecked);
            } else {
                name->setToolTip(tr("另一台仪表的标识和校准数据不能写入"));
            }
        }
        name->setFlags(flags);
        table->setItem(row, FieldColumn, name);
        const QString texts[] = {r.field->registersText(), r.a, r.b, stateText(r.state)};
        for (int c = RegistersColumn; c < ColumnCount; ++c) {
            auto *item = new QTableWidgetItem(texts[c - RegistersColumn]);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            if (r.state == compare::State::Different)
                item->setBackground(QBrush(QColor(255, 222, 222)));
            else if (r.state == compare::State::Approx)
                item->setBackground(QBrush(QColor(255, 246, 210)));
            table->setItem(row, c, item);
        }
    }
    applyFilter();
    updateButtons();
}

void CompareWindow::applyFilter()
{
    const bool onlyDifferent = differencesOnly->isChecked();
    int title = -1;
    bool titleHasRows = false;
    for (int row = 0; row <= table->rowCount(); ++row) {
        const int index =
            row < table->rowCount() ? table->item(row, FieldColumn)->data(RowRole).toInt() : -1;
        if (index < 0) {
            // A page's title shows while one of its fields does.
            if (title >= 0)
                table->setRowHidden(title, !titleHasRows);
            title = row;
            titleHasRows = false;
            continue;
        }
        const bool hidden = onlyDifferent && compared.at(index).equal();
        table->setRowHidden(row, hidden);
        titleHasRows = titleHasRows || !hidden;
    }
}

QVector<const fields::Field *> CompareWindow::chosenFields() const
{
    QVector<const fields::Field *> chosen;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *item = table->item(row, FieldColumn);
        const int index = item->data(RowRole).toInt();
        if (index >= 0 && (item->flags() & Qt::ItemIsUserCheckable) &&
            item->checkState() == Qt::Checked)
            chosen.append(compared.at(index).field);
    }
    return chosen;
}

void CompareWindow::updateButtons()
{
    openButton->setEnabled(!isBusy());
    exportButton->setEnabled(!isBusy() && !compared.isEmpty());
    writeButton->setEnabled(!isBusy() && fromInstrument && !chosenFields().isEmpty());
}

void CompareWindow::writeChosen()
{
    if (isBusy() || !fromInstrument)
        return;
    writing = chosenFields();
    if (writing.isEmpty())
        return;
    writeFailure.clear();
    // Around the chosen fields each block goes back as the instrument holds
    // it now, not as it was when the comparison was made.
    readInstrument(Purpose::Stage);
}

void CompareWindow::startWrites()
{
    const bool same = sameMeter();
    for (const fields::Field *f : qAsConst(writing)) {
        if (!compare::mayWrite(*f, same)) {
            writing.clear();
            step = Step::Idle;
            showComparison();
            state->setText(tr("仪表编号与文件不同，其标识和校准数据不能写入；请重新选择"));
            return;
        }
    }
    fromFile.fill(false, RegisterMirror::Size);
    for (const fields::Field *f : qAsConst(writing))
        fromFile.fill(true, f->first, f->last() + 1);
    plan = compare::blocksFor(writing);
    planIndex = 0;
    state->setText(tr("正在写入……"));
    writeNext();
}

bool CompareWindow::stage(const compare::WriteBlock &wb, bool again)
{
    const RegisterBlock &block = wb.block;
    auto m = worker->lockMirror();
    // The main window's own write of these registers waits for the worker:
    // what it collected must go out as the user typed it.
    if (!again) {
        for (int reg = block.first; reg <= block.last(); ++reg) {
            if (m->isHeld(reg))
                return false;
        }
    }
    for (int reg = block.first; reg <= block.last(); ++reg) {
        const quint16 *image = fromFile.testBit(reg) ? imageB : imageA;
        m->set(reg, image[reg - backup::FirstRegister]);
    }
    // No read may replace them before the write has taken them.
    m->hold(block);
    return true;
}

void CompareWindow::writeNext()
{
    if (planIndex < plan.size()) {
        const compare::WriteBlock &block = plan.at(planIndex);
        if (!answering())
            return;
        if (!stage(block, false)) {
            writeEnded(tr("主窗口的写入尚未完成，请稍后再试"));
            return;
        }
        step = Step::Writing;
        emit sendMessageToModbusThread(block.writeCommand);
        return;
    }
    writeEnded(QString());
}

void CompareWindow::writeEnded(const QString &failure)
{
    if (!failure.isEmpty())
        writeFailure =
            blocksWritten > 0
                ? tr("%1（此前已写入并保存 %2 个数据块）").arg(failure).arg(blocksWritten)
                : failure;
    // The pages of the blocks the instrument took (saved or not) show it
    // again, and read before the comparison: none of them waits behind a save.
    for (int i = 0; i < blocksTaken && i < plan.size(); ++i) {
        if (!plan.at(i).readCommand.isEmpty() && !send(plan.at(i).readCommand))
            return;
    }
    readInstrument(Purpose::Recheck);
}

void CompareWindow::finish(const QString &stateText)
{
    step = Step::Idle;
    writing.clear();
    state->setText(stateText);
    updateButtons();
}

bool CompareWindow::exportCsv(const QString &path)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        QTextStream out(&file);
        out.setCodec("UTF-8");
        QStringList header{tr("页面")};
        for (int c = 0; c < ColumnCount; ++c)
            header << table->horizontalHeaderItem(c)->text();
        out << header.join(QLatin1Char(',')) << '\n';
        int written = 0;
        for (int row = 0; row < table->rowCount(); ++row) {
            const int index = table->item(row, FieldColumn)->data(RowRole).toInt();
            if (index < 0 || table->isRowHidden(row))
                continue;
            QStringList cells{csvField(fields::groupTitle(compared.at(index).field->group))};
            for (int c = 0; c < ColumnCount; ++c)
                cells << csvField(table->item(row, c)->text());
            out << cells.join(QLatin1Char(',')) << '\n';
            ++written;
        }
        out.flush();
        if (out.status() == QTextStream::Ok && file.commit()) {
            state->setText(tr("已导出 %1 行到 %2").arg(written).arg(path));
            return true;
        }
    }
    state->setText(tr("导出失败 %1：%2").arg(path, file.errorString()));
    return false;
}
