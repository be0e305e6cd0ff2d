// The secondary calibration of both channels (a straight line through two
// points, registers 116..127 and 178..189), the pressure zero and the
// instrument-wide restore and save buttons.

#include "calibration/calibration.h"
#include "model/codetables.h"
#include "model/fieldcodec.h"
#include "model/registermirror.h"
#include "pages/fieldio.h"
#include "shell/mainwindow.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QLabel>
#include <QLineEdit>
#include <QString>

#include <cmath>

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

void showSecondary(RegisterMirror &m, const SecondaryWidgets &w, FieldIO &io)
{
    const Reg::Channel &r = w.reg;
    w.unit->setText(MainWindow::tr("单位：%1").arg(unitName(m.at(r.stdUnit))));
    io.showFloat(w.standard1, m.float32(r.ecjzStandard));
    io.showFloat(w.standard2, m.float32(r.ecjzStandard + 2));
    io.showFloat(w.captured1, m.float32(r.ecjzCaptured));
    io.showFloat(w.captured2, m.float32(r.ecjzCaptured + 2));
}

void collectSecondary(RegisterMirror &m, const SecondaryWidgets &w, FieldIO &io)
{
    const Reg::Channel &r = w.reg;
    const QString name = &r == &Reg::pressure ? MainWindow::tr("压力") : MainWindow::tr("温度");
    const struct
    {
        int reg;
        const QLineEdit *edit;
        QString caption;
    } fields[] = {
        {r.ecjzStandard, w.standard1, MainWindow::tr("%1二次校准标准值1").arg(name)},
        {r.ecjzStandard + 2, w.standard2, MainWindow::tr("%1二次校准标准值2").arg(name)},
        {r.ecjzCaptured, w.captured1, MainWindow::tr("%1二次校准采集值1").arg(name)},
        {r.ecjzCaptured + 2, w.captured2, MainWindow::tr("%1二次校准采集值2").arg(name)},
    };
    for (const auto &f : fields)
        m.setFloat32(f.reg, io.collectFloat(f.edit, m.float32(f.reg), f.caption));
}

} // namespace

void MainWindow::showYaliEcjzData()
{
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);
    showSecondary(*m, secondaryWidgets(ui, true), io);
}

void MainWindow::getYaliEcjzData()
{
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);
    collectSecondary(*m, secondaryWidgets(ui, true), io);
}

void MainWindow::showWenduEcjzData()
{
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);
    showSecondary(*m, secondaryWidgets(ui, false), io);
}

void MainWindow::getWenduEcjzData()
{
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);
    collectSecondary(*m, secondaryWidgets(ui, false), io);
}

bool MainWindow::prepareSecondaryWrite(bool pressure)
{
    if (pressure)
        getYaliEcjzData();
    else
        getWenduEcjzData();
    if (refuseInvalidField())
        return false;

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
    // Remembered exactly: the field holds fewer digits than the reading.
    FieldIO io(shown, invalidField);
    io.showFloat(point == 1 ? w.captured1 : w.captured2, reading);
}

void MainWindow::on_pushButton_duquyaliercijiaozhun_clicked()
{
    sendDeviceCommand(Cmd::readYaliEcjz);
}

void MainWindow::on_pushButton_xieruyaliercijiaozhun_clicked()
{
    startWrite(Cmd::writeYaliEcjz, Blocks::yaliEcjzBlock,
               [this] { return prepareSecondaryWrite(true); });
}

void MainWindow::on_pushButton_duquwenduercijiaozhun_clicked()
{
    sendDeviceCommand(Cmd::readWenduEcjz);
}

void MainWindow::on_pushButton_xieruwenduercijiaozhun_clicked()
{
    startWrite(Cmd::writeWenduEcjz, Blocks::wenduEcjzBlock,
               [this] { return prepareSecondaryWrite(false); });
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
    startWrite(Cmd::writeClr, Blocks::clrBlock, [this] {
        auto m = worker->lockMirror();
        const float reading = m->float32(Reg::pressureZeroInput);
        // A reading that is not a number would make the offset one as well.
        if (std::isfinite(reading))
            m->setFloat32(Reg::pressure.zero, -reading);
        else
            invalidField = tr("压力零点采集值");
        return true;
    });
}

void MainWindow::on_pushButton_qingchuqingling_clicked()
{
    startWrite(Cmd::writeClr, Blocks::clrBlock, [this] {
        auto m = worker->lockMirror();
        m->setFloat32(Reg::pressure.zero, 0.0f);
        return true;
    });
}

void MainWindow::on_pushButton_huifuchuchang_clicked()
{
    sendDeviceCommand(Cmd::backFac);
}

void MainWindow::on_pushButton_gongchangbaocun_clicked()
{
    sendDeviceCommand(Cmd::facSave);
}
