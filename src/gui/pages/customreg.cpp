// The register configuration page: 25 rows of (source, address, custom value)
// and a 50-register text block (registers 193..318).

#include "model/codetables.h"
#include "model/fieldcodec.h"
#include "model/registermirror.h"
#include "pages/fieldio.h"
#include "shell/mainwindow.h"
#include "ui_mainwindow.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QComboBox>
#include <QLineEdit>
#include <QString>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>
#include <iterator>

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
    const bool ownValue = field::customValueText(customValueCode(combo), value, &text);
    // A row that names a quantity of the instrument has no value to edit.
    valueEdit->setEnabled(ownValue);
    if (!ownValue) {
        valueEdit->clear();
        shown.forget(valueEdit);
        return;
    }
    valueEdit->setText(text);
    shown.remember(valueEdit, valueEdit->text(), &value, 1);
}

quint16 MainWindow::getCustomRegRow(QComboBox *combo, QLineEdit *valueEdit, quint16 current)
{
    bool valid = true;
    const quint16 value = rowValue(customValueCode(combo), valueEdit, current, &valid);
    if (!valid && invalidField.isEmpty()) {
        const auto row = std::find(std::begin(regDataEdits), std::end(regDataEdits), valueEdit);
        invalidField = FieldIO::caption(valueReg(int(row - std::begin(regDataEdits))));
    }
    return value;
}

quint16 MainWindow::rowValue(int code, const QLineEdit *valueEdit, quint16 current,
                             bool *valid) const
{
    quint16 value = current;
    // Untouched text gives back what it was shown from: two bytes that are
    // not whole UTF-8 would not survive a round trip through the text.
    if (shown.recall(valueEdit, valueEdit->text(), &value, 1))
        return value;
    if (!field::collectCustomValue(code, valueEdit->text(), &value, valid))
        return current;
    return value;
}

void MainWindow::customRowSourceChanged(int row)
{
    if (showingCustomReg)
        return;
    QComboBox *combo = regNameCombos[row];
    QLineEdit *edit = regDataEdits[row];
    quint16 value = 0;
    {
        auto m = worker->lockMirror();
        value = m->at(valueReg(row));
    }
    // The value stays what the row held; only its form follows the new type.
    bool valid = true;
    value = rowValue(customRowCodes[row], edit, value, &valid);
    customRowCodes[row] = customValueCode(combo);
    showCustomRegRow(combo, edit, value);
}

void MainWindow::showCustomReg()
{
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);
    showingCustomReg = true;
    for (int row = 0; row < Reg::customRows; ++row) {
        FieldIO::showCode(regNameCombos[row], m->at(sourceReg(row)), FieldIO::Codes::ByIndex);
        customRowCodes[row] = customValueCode(regNameCombos[row]);
        io.showWhole(regAddrEdits[row], m->at(addressReg(row)));
        showCustomRegRow(regNameCombos[row], regDataEdits[row], m->at(valueReg(row)));
    }
    showingCustomReg = false;

    io.showWhole(ui->lineEdit_canshudizhi_16, m->at(Reg::textStartAddress));

    // Inserted as plain text: a stored "<b>" must come back as typed, not as markup.
    const quint16 *words = m->data() + Reg::textFirst;
    const QString text = field::decodeTextBlock(words);
    ui->textEdit_custom50reg->clear();
    QTextCursor cursor(ui->textEdit_custom50reg->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    shown.remember(ui->textEdit_custom50reg, ui->textEdit_custom50reg->toPlainText(), words,
                   Reg::textRegisters);
}

void MainWindow::getCustomReg()
{
    auto m = worker->lockMirror();
    FieldIO io(shown, invalidField);
    for (int row = 0; row < Reg::customRows; ++row) {
        io.collectCode(*m, sourceReg(row), regNameCombos[row], FieldIO::Codes::ByIndex);
        io.collectWhole(*m, addressReg(row), regAddrEdits[row]);
        m->set(valueReg(row),
               getCustomRegRow(regNameCombos[row], regDataEdits[row], m->at(valueReg(row))));
    }

    io.collectWhole(*m, Reg::textStartAddress, ui->lineEdit_canshudizhi_16);
    quint16 *text = m->data() + Reg::textFirst;
    if (!shown.recall(ui->textEdit_custom50reg, ui->textEdit_custom50reg->toPlainText(), text,
                      Reg::textRegisters))
        field::encodeTextBlock(ui->textEdit_custom50reg->toPlainText(), text);
}

void MainWindow::on_pushButton_duqucustomreg_clicked()
{
    sendDeviceCommand(Cmd::readCustomReg);
}

void MainWindow::on_pushButton_xierucustomreg_clicked()
{
    // Its block begins with register 192, the last of the temperature
    // calibration: another meter's backup must not bring its own.
    const bool clone = pages.holdsForeignBackup(link.meter());
    startWrite(clone ? Cmd::writeCustomRegClone : Cmd::writeCustomReg, Blocks::customRegBlock,
               [this] {
                   getCustomReg();
                   return true;
               });
}
