#include "certificateissuer.h"

#include <QSettings>

namespace {

const QString NameKey = QStringLiteral("certificate/name");
const QString AddressKey = QStringLiteral("certificate/address");

} // namespace

CertificateIssuer CertificateIssuer::load(const QString &settingsPath)
{
    QSettings settings(settingsPath, QSettings::IniFormat);
    // What the program writes is escaped ASCII, which reads the same with any
    // codec; UTF-8 is for a section typed into the file by hand.
    settings.setIniCodec("UTF-8");
    return {settings.value(NameKey).toString(), settings.value(AddressKey).toString()};
}

bool CertificateIssuer::save(const QString &settingsPath, QString *error) const
{
    // No codec, as the window writes this file (its last backup folder): a
    // folder name in Chinese must read back the same there.
    QSettings settings(settingsPath, QSettings::IniFormat);
    settings.setValue(NameKey, name);
    settings.setValue(AddressKey, address);
    settings.sync();
    switch (settings.status()) {
    case QSettings::NoError:
        return true;
    case QSettings::AccessError:
        *error = QStringLiteral("%1 cannot be written").arg(settingsPath);
        return false;
    case QSettings::FormatError:
        *error = QStringLiteral("%1 is not a settings file").arg(settingsPath);
        return false;
    }
    return false;
}
