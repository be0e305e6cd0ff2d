#pragma once

// The organisation that issues calibration certificates: its name and
// address, kept in the [certificate] section of the settings file (keys name
// and address), so that the window's wizard and kv3pd-cli print the same.

#include <QString>

struct CertificateIssuer
{
    QString name;
    QString address;

    bool isEmpty() const { return name.trimmed().isEmpty() && address.trimmed().isEmpty(); }

    // The section of the INI file at settingsPath; empty when the file or the
    // section is missing. Text written by hand in UTF-8 reads as it stands.
    static CertificateIssuer load(const QString &settingsPath);
    // Writes the section, keeping every other setting of the file; false with
    // *error (the reason, in English) when the file cannot be written.
    bool save(const QString &settingsPath, QString *error) const;
};
