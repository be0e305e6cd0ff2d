// Backup of the instrument's parameters (registers 42..318) to a file on the
// PC and back, and the settings file that remembers the last folder used.

#include "model/backupfile.h"
#include "model/registermirror.h"
#include "shell/dialog_warning.h"
#include "shell/logging.h"
#include "shell/mainwindow.h"
#include "ui_mainwindow.h"
#include "worker/modbusthread.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <utility>

namespace {

const QString lastFolderKey = QStringLiteral("LastFilePath");
const QString backupSuffix = QStringLiteral("qvdbk");

// The folder part of a chosen name; a name without "/" is kept whole.
QString folderOf(const QString &fileName)
{
    return fileName.left(fileName.lastIndexOf(QLatin1Char('/')));
}

} // namespace

void MainWindow::setFileNameProvider(FileNameProvider provider)
{
    fileNameProvider = std::move(provider);
}

void MainWindow::setSettingsPath(const QString &path)
{
    settingsPath = path;
}

QString MainWindow::askBackupFileName(bool save, const QString &startFolder)
{
    QString name;
    if (fileNameProvider) {
        name = fileNameProvider(save, startFolder);
    } else {
        QFileDialog dialog(this, tr("选择文件"), startFolder, tr("qvdbk文件(*.qvdbk)"));
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        // Added by the dialog itself, so that it asks before replacing that file.
        dialog.setDefaultSuffix(backupSuffix);
        if (dialog.exec() == QDialog::Accepted)
            name = dialog.selectedFiles().value(0);
    }
    // A new name the dialog left without it all the same: the filter would hide
    // the backup the next time. A file chosen as it is stays that file.
    const QFileInfo chosen(name);
    if (save && !name.isEmpty() && chosen.suffix().isEmpty() && !chosen.exists())
        name += QLatin1Char('.') + backupSuffix;
    return name;
}

void MainWindow::beifenshujuSlot()
{
    // Nothing read and nothing loaded: the file would hold the form's defaults.
    if (!pages.holdsData()) {
        showWarning(tr("没有可备份的数据"));
        return;
    }
    getUserParam();
    getMeterParam();
    getPressureParam();
    getTempParam();
    getCustomReg();
    // A field that is not a number keeps the value last read in the file.
    invalidField.clear();

    QByteArray image;
    {
        auto m = worker->lockMirror();
        image = backupImage(m->data() + backup::FirstRegister);
    }

    QSettings settings(settingsPath, QSettings::IniFormat);
    const QString fileName = askBackupFileName(true, settings.value(lastFolderKey).toString());
    // Cancelled: nothing to write, nothing to say, the folder still remembered.
    if (fileName.isEmpty())
        return;

    QString error;
    const bool written = writeBackupFile(fileName, image, &error);
    if (!written)
        qCDebug(lcWindow) << "文件写入失败" << fileName << error;
    showState(written ? tr("备份数据完成") : tr("备份数据失败"));
    // Remembered before the warning opens.
    settings.setValue(lastFolderKey, folderOf(fileName));
    settings.sync();
    if (!written)
        showWarning(Dialog_Warning::fileNotWritten(fileName, error));
}

void MainWindow::duqubeifenshujuSlot()
{
    QSettings settings(settingsPath, QSettings::IniFormat);
    const QString fileName = askBackupFileName(false, settings.value(lastFolderKey).toString());
    if (fileName.isEmpty())
        return;
    // Remembered before any warning opens, whatever the outcome.
    settings.setValue(lastFolderKey, folderOf(fileName));
    settings.sync();

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        showWarning(tr("数据备份文件打开失败！"));
        return;
    }
    qCDebug(lcWindow) << "文件打开成功";
    const QByteArray bytes = file.read(backup::FileBytes);
    file.close();

    quint16 regs[backup::RegisterCount];
    if (!parseBackup(bytes, regs)) {
        showWarning(tr("备份数据已经被损坏！"));
        return;
    }
    // While an instrument is connected, the meter information and the live
    // values keep describing it: the registers they show are put back once the
    // pages have the backup. Every one of them is collected from its page when
    // written, so the backup still reaches the instrument.
    static const RegisterBlock panelBlocks[] = {{Reg::pressureDecimals, 4},
                                                {Reg::meterNumber, 3},
                                                {Reg::pressure.rangeLow, 5},
                                                {Reg::temperature.rangeLow, 5}};
    quint16 instrument[RegisterMirror::Size];
    {
        auto m = worker->lockMirror();
        std::copy(m->data(), m->data() + RegisterMirror::Size, instrument);
        std::copy(regs, regs + backup::RegisterCount, m->data() + backup::FirstRegister);
    }
    const int meterAt = Reg::meterNumber - backup::FirstRegister;
    pages.loaded(quint32(regs[meterAt]) | quint32(regs[meterAt + 1]) << 16);
    if (link.isUp()) {
        showEditablePages();
        {
            auto m = worker->lockMirror();
            for (const RegisterBlock &b : panelBlocks)
                std::copy_n(instrument + b.first, b.count, m->data() + b.first);
        }
        showUnitLabels();
    } else {
        showAllPages();
    }
    updateWriteButtons();
    showState(tr("读取备份数据完成"));
    warnIfForeignBackup();
}
