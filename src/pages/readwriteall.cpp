// Read all and write all: every parameter block of the instrument at once
// (registers 42..318), from the factory calibration page.

#include "mainwindow.h"
#include "model/registermirror.h"
#include "pages/calibration.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QLineEdit>
#include <QString>

void MainWindow::on_pushButton_duququanbushuju_clicked()
{
    emit sendMessageToModbusThread(Cmd::readAll);
}

void MainWindow::on_pushButton_xieruquanbushuju_clicked()
{
    // Write all carries the user settings too: an address the window cannot
    // reach afterwards is refused here just as by the settings write button.
    bool ok = false;
    const uint address = ui->lineEdit_yonghudizhi->text().toUInt(&ok, 10);
    if (!ok || address < 1 || address > 255) {
        showState(tr("地址无效"));
        showWarning(tr("仪表地址必须是1到255之间的整数！"));
        return;
    }

    getUserParam();
    getMeterParam();
    getPressureParam();
    getTempParam();
    getCustomReg();

    // Only the channels the meter type uses: a single-channel meter has no
    // points for the other one.
    if (!fitChannelsForWriteAll(*worker->lockMirror())) {
        showInvalidPointsRefusal();
        return;
    }
    emit sendMessageToModbusThread(Cmd::writeAll);
}
