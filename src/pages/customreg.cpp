// The register configuration page: 25 rows of (source, address, custom value)
// and a 50-register text block (registers 193..318).

#include "mainwindow.h"
#include "model/codetables.h"
#include "model/fieldcodec.h"
#include "model/registermirror.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QComboBox>
#include <QLineEdit>
#include <QString>
#include <QTextCursor>
#include <QTextEdit>

namespace {

constexpr int rowStride = 3;

int sourceReg(int row)
{
    return Reg::customRowFirst + rowStride * row;
}
int addressReg(int row)
{
    return sourceReg(row) + 1;
}
int valueReg(int row)
{
    return sourceReg(row) + 2;
}

// The row's value form follows the caption the combo box shows; -1 when the
// caption names a quantity of the instrument, whose value the page leaves alone.
int customValueCode(const QComboBox *combo)
{
    const QString caption = combo->currentText();
    for (int code : {field::CustomDecimal, field::CustomHex, field::CustomChars}) {
        if (caption == MainWindow::tr(registerCaptions[code]))
            return code;
    }
    return -1;
}

} // namespace

void MainWindow::showCustomRegRow(QComboBox *combo, QLineEdit *valueEdit, quint16 value)
{
    QString text;
    if (field::customValueText(customValueCode(combo), value, &text))
        valueEdit->setText(text);
}

quint16 MainWindow::getCustomRegRow(QComboBox *combo, QLineEdit *valueEdit, quint16 current)
{
    quint16 value = current;
    if (!field::collectCustomValue(customValueCode(combo), valueEdit->text(), &value))
        return current;
    return value;
}

void MainWindow::showCustomReg()
{
    auto m = worker->lockMirror();
    for (int row = 0; row < Reg::customRows; ++row) {
        regNameCombos[row]->setCurrentIndex(m->at(sourceReg(row)));
        regAddrEdits[row]->setText(QString::number(m->at(addressReg(row))));
        showCustomRegRow(regNameCombos[row], regDataEdits[row], m->at(valueReg(row)));
    }

    ui->lineEdit_canshudizhi_16->setText(QString::number(m->at(Reg::textStartAddress)));

    // Inserted as plain text: a stored "<b>" must come back as typed, not as markup.
    const QString text = field::decodeTextBlock(m->data() + Reg::textFirst);
    ui->textEdit_custom50reg->clear();
    QTextCursor cursor(ui->textEdit_custom50reg->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
}

void MainWindow::getCustomReg()
{
    auto m = worker->lockMirror();
    for (int row = 0; row < Reg::customRows; ++row) {
        // An unknown source code (no item shown) stays as it was read.
        const int source = regNameCombos[row]->currentIndex();
        if (source >= 0)
            m->set(sourceReg(row), static_cast<quint16>(source));
        m->set(addressReg(row), field::parseUint16(regAddrEdits[row]->text()));
        m->set(valueReg(row),
               getCustomRegRow(regNameCombos[row], regDataEdits[row], m->at(valueReg(row))));
    }

    m->set(Reg::textStartAddress, field::parseUint16(ui->lineEdit_canshudizhi_16->text()));
    field::encodeTextBlock(ui->textEdit_custom50reg->toPlainText(), m->data() + Reg::textFirst);
}

void MainWindow::on_pushButton_duqucustomreg_clicked()
{
    emit sendMessageToModbusThread(Cmd::readCustomReg);
}

void MainWindow::on_pushButton_xierucustomreg_clicked()
{
    getCustomReg();
    emit sendMessageToModbusThread(Cmd::writeCustomReg);
}
