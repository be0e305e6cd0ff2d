#include "pages/fieldio.h"

#include "model/fieldcodec.h"
#include "model/fieldtable.h"

#include <QComboBox>
#include <QLineEdit>

namespace {
// QLineEdit's default limit, which means none.
constexpr int unlimitedLength = 32767;
// Marks the items showCode added for codes the list does not hold.
constexpr int extraItemRole = Qt::UserRole + 1;
} // namespace

void FieldIO::refuse(const QString &caption)
{
    if (invalid.isEmpty())
        invalid = caption;
}

void FieldIO::showFloat(QLineEdit *edit, float value)
{
    const int limit = edit->maxLength() < unlimitedLength ? edit->maxLength() : 0;
    const QString text = field::formatFloatFitting(value, limit);
    edit->setText(text);
    shown.rememberFloat(edit, edit->text(), value);
}

float FieldIO::collectFloat(const QLineEdit *edit, float current, const QString &caption)
{
    const QString text = edit->text();
    float value = current;
    if (shown.recallFloat(edit, text, &value))
        return value;
    if (field::parseFiniteFloat(text, &value))
        return value;
    refuse(caption);
    return current;
}

void FieldIO::showWhole(QLineEdit *edit, quint32 value, int digits)
{
    edit->setText(QStringLiteral("%1").arg(value, digits, 10, QLatin1Char('0')));
    const quint16 words[2] = {quint16(value & 0xFFFF), quint16(value >> 16)};
    shown.remember(edit, edit->text(), words, 2);
}

QString FieldIO::caption(int reg)
{
    const fields::Field *f = fields::fieldAt(reg);
    return f ? f->title() : QString::number(reg);
}

void FieldIO::collectWhole(RegisterMirror &m, int reg, const QLineEdit *edit, quint32 min,
                           quint32 max)
{
    const fields::Field *f = fields::fieldAt(reg);
    const bool wide = f && f->count == 2;
    const quint32 current = wide ? m.uint32(reg) : m.at(reg);
    if (max == 0)
        max = wide ? 0xFFFFFFFFu : 0xFFFFu;
    const QString text = edit->text();
    quint16 words[2];
    quint32 value = current;
    if (shown.recall(edit, text, words, 2))
        value = quint32(words[0]) | (quint32(words[1]) << 16);
    else if (!field::parseWhole(text, min, max, &value))
        refuse(caption(reg));
    if (wide)
        m.setUint32(reg, value);
    else
        m.set(reg, quint16(value));
}

void FieldIO::showCode(QComboBox *combo, quint32 code, Codes codes, int offset)
{
    if (codes == Codes::ByIndex) {
        const qint64 index = qint64(code) - offset;
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? int(index) : -1);
        return;
    }
    // An extra item stays only while its code is shown: not a choice to offer.
    for (int i = combo->count() - 1; i >= 0; --i) {
        if (combo->itemData(i, extraItemRole).toBool())
            combo->removeItem(i);
    }
    const QString text = QString::number(code);
    int index = combo->findText(text);
    if (index < 0) {
        combo->addItem(text);
        index = combo->count() - 1;
        combo->setItemData(index, true, extraItemRole);
    }
    combo->setCurrentIndex(index);
}

quint32 FieldIO::collectCode(const QComboBox *combo, quint32 current, Codes codes, int offset)
{
    if (combo->currentIndex() < 0)
        return current;
    if (codes == Codes::ByIndex)
        return quint32(combo->currentIndex() + offset);
    bool ok = false;
    const uint number = combo->currentText().toUInt(&ok);
    return ok ? number : current;
}

void FieldIO::collectCode(RegisterMirror &m, int reg, const QComboBox *combo, Codes codes,
                          int offset)
{
    m.set(reg, quint16(collectCode(combo, m.at(reg), codes, offset)));
}
