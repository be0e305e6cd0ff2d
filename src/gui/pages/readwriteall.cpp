// Read all and write all: every parameter block of the instrument at once
// (registers 42..318), from the factory calibration page.

#include "calibration/calibration.h"
#include "model/registermirror.h"
#include "shell/mainwindow.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QLineEdit>
#include <QString>

void MainWindow::on_pushButton_duququanbushuju_clicked()
{
    sendDeviceCommand(Cmd::readAll);
}

void MainWindow::on_pushButton_xieruquanbushuju_clicked()
{
    // Another meter's backup: its settings are copied, the meter keeps its own
    // identity and calibration.
    if (pages.holdsForeignBackup(link.meter()))
        startWrite(Cmd::writeAllClone, Blocks::everythingWritable,
                   [this] { return prepareCloneAll(); });
    else
        startWrite(Cmd::writeAll, Blocks::everythingWritable, [this] { return prepareWriteAll(); });
}

bool MainWindow::collectAllPages()
{
    getUserParam();
    getMeterParam();
    getPressureParam();
    getTempParam();
    getCustomReg();
    return !refuseInvalidField();
}

bool MainWindow::prepareCloneAll()
{
    if (refuseInvalidAddress())
        return false;
    getUserParam();
    getCustomReg();
    return !refuseInvalidField();
}

bool MainWindow::prepareWriteAll()
{
    // Write all carries the user settings too: an address the window cannot
    // reach afterwards is refused here just as by the settings write button.
    if (refuseInvalidAddress() || !collectAllPages())
        return false;

    // Only the channels the meter type uses: a single-channel meter has no
    // points for the other one.
    if (!fitChannelsForWriteAll(*worker->lockMirror())) {
        showInvalidPointsRefusal();
        return false;
    }
    return true;
}
