// The secondary calibration of both channels (a straight line through two
// points, registers 116..127 and 178..189), the pressure zero and the
// instrument-wide restore and save buttons.

#include "mainwindow.h"
#include "model/codetables.h"
#include "model/fieldcodec.h"
#include "model/registermirror.h"
#include "pages/calibration.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QLabel>
#include <QLineEdit>
#include <QString>

namespace {

struct SecondaryWidgets
{
    const Reg::Channel &reg;
    int inputReg; // live reading the collect buttons take
    QLabel *unit;
    QLineEdit *standard1;
    QLineEdit *standard2;
    QLineEdit *captured1;
    QLineEdit *captured2;
};

SecondaryWidgets secondaryWidgets(Ui::MainWindow *ui, bool pressure)
{
    if (pressure) {
        return {Reg::pressure,
                Reg::pressureEcjzInput,
                ui->label_ecjz_yali_unit,
                ui->lineEdit_ecjz_yalibiaozhunzhi1,
                ui->lineEdit_ecjz_yalibiaozhunzhi2,
                ui->lineEdit_ecjz_yalicaijizhi1,
                ui->lineEdit_ecjz_yalicaijizhi2};
    }
    return {Reg::temperature,
            Reg::temperatureEcjzInput,
            ui->label_ecjz_wendu_unit,
            ui->lineEdit_ecjz_wendubiaozhunzhi1,
            ui->lineEdit_ecjz_wendubiaozhunzhi2,
            ui->lineEdit_ecjz_wenducaijizhi1,
            ui->lineEdit_ecjz_wenducaijizhi2};
}

void showSecondary(RegisterMirror &m, const SecondaryWidgets &w)
{
    const Reg::Channel &r = w.reg;
    w.unit->setText(MainWindow::tr("单位：%1").arg(unitName(m.at(r.stdUnit))));
    w.standard1->setText(field::formatFloat(m.float32(r.ecjzStandard)));
    w.standard2->setText(field::formatFloat(m.float32(r.ecjzStandard + 2)));
    w.captured1->setText(field::formatFloat(m.float32(r.ecjzCaptured)));
    w.captured2->setText(field::formatFloat(m.float32(r.ecjzCaptured + 2)));
}

void collectSecondary(RegisterMirror &m, const SecondaryWidgets &w)
{
    const Reg::Channel &r = w.reg;
    m.setFloat32(r.ecjzStandard, field::parseFloat(w.standard1->text()));
    m.setFloat32(r.ecjzStandard + 2, field::parseFloat(w.standard2->text()));
    m.setFloat32(r.ecjzCaptured, field::parseFloat(w.captured1->text()));
    m.setFloat32(r.ecjzCaptured + 2, field::parseFloat(w.captured2->text()));
}

} // namespace

void MainWindow::showYaliEcjzData()
{
    auto m = worker->lockMirror();
    showSecondary(*m, secondaryWidgets(ui, true));
}

void MainWindow::getYaliEcjzData()
{
    auto m = worker->lockMirror();
    collectSecondary(*m, secondaryWidgets(ui, true));
}

void MainWindow::showWenduEcjzData()
{
    auto m = worker->lockMirror();
    showSecondary(*m, secondaryWidgets(ui, false));
}

void MainWindow::getWenduEcjzData()
{
    auto m = worker->lockMirror();
    collectSecondary(*m, secondaryWidgets(ui, false));
}

bool MainWindow::prepareSecondaryWrite(bool pressure)
{
    if (pressure)
        getYaliEcjzData();
    else
        getWenduEcjzData();

    bool fitted = false;
    {
        auto m = worker->lockMirror();
        fitted = applySecondaryCalibration(*m, pressure ? Reg::pressure : Reg::temperature);
    }
    if (!fitted)
        showInvalidPointsRefusal();
    return fitted;
}

void MainWindow::collectEcjzInto(bool pressure, int point)
{
    const SecondaryWidgets w = secondaryWidgets(ui, pressure);
    float reading;
    {
        auto m = worker->lockMirror();
        reading = m->float32(w.inputReg);
    }
    (point == 1 ? w.captured1 : w.captured2)->setText(field::formatFloat(reading));
}

void MainWindow::on_pushButton_duquyaliercijiaozhun_clicked()
{
    emit sendMessageToModbusThread(Cmd::readYaliEcjz);
}

void MainWindow::on_pushButton_xieruyaliercijiaozhun_clicked()
{
    if (prepareSecondaryWrite(true))
        emit sendMessageToModbusThread(Cmd::writeYaliEcjz);
}

void MainWindow::on_pushButton_duquwenduercijiaozhun_clicked()
{
    emit sendMessageToModbusThread(Cmd::readWenduEcjz);
}

void MainWindow::on_pushButton_xieruwenduercijiaozhun_clicked()
{
    if (prepareSecondaryWrite(false))
        emit sendMessageToModbusThread(Cmd::writeWenduEcjz);
}

void MainWindow::on_pushButton_ecjz_yaliCJ1_clicked()
{
    collectEcjzInto(true, 1);
}

void MainWindow::on_pushButton_ecjz_yaliCJ2_clicked()
{
    collectEcjzInto(true, 2);
}

void MainWindow::on_pushButton_ecjz_wenduCJ1_clicked()
{
    collectEcjzInto(false, 1);
}

void MainWindow::on_pushButton_ecjz_wenduCJ2_clicked()
{
    collectEcjzInto(false, 2);
}

void MainWindow::on_pushButton_qingling_clicked()
{
    {
        auto m = worker->lockMirror();
        m->setFloat32(Reg::pressure.zero, -m->float32(Reg::pressureZeroInput));
    }
    emit sendMessageToModbusThread(Cmd::writeClr);
}

void MainWindow::on_pushButton_qingchuqingling_clicked()
{
    {
        auto m = worker->lockMirror();
        m->setFloat32(Reg::pressure.zero, 0.0f);
    }
    emit sendMessageToModbusThread(Cmd::writeClr);
}

void MainWindow::on_pushButton_huifuchuchang_clicked()
{
    emit sendMessageToModbusThread(Cmd::backFac);
}

void MainWindow::on_pushButton_gongchangbaocun_clicked()
{
    emit sendMessageToModbusThread(Cmd::facSave);
}
