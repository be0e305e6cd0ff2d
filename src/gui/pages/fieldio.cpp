#include "pages/fieldio.h"

#include <QLineEdit>

namespace {
// QLineEdit's default limit, which means none.
constexpr int unlimitedLength = 32767;
} // namespace

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
    if (invalid.isEmpty())
        invalid = caption;
    return current;
}
