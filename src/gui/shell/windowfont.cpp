#include "shell/windowfont.h"

#include <QApplication>
#include <QFont>
#include <QString>

namespace windowfont {

const char *const family = "WenQuanYi Zen Hei";

void install()
{
    const QString face = QLatin1String(family);
    for (const char *named : {"微软雅黑", "Microsoft YaHei", "SimSun"})
        QFont::insertSubstitution(QString::fromUtf8(named), face);
    // The form's widths are fixed in pixels and laid out for a 9 pt face at
    // 96 dpi: in pixels, a desktop's larger default face or higher resolution
    // does not clip the captions.
    QFont font(face);
    font.setPixelSize(12);
    QApplication::setFont(font);
}

} // namespace windowfont
