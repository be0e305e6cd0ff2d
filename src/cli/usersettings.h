#pragma once

// The user settings (registers 42..61) by name, as kv3pd-cli's set and read
// commands take and print them: the window's choices and its validation.

#include "model/registermirror.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace cli {

struct SettingChange
{
    QString name;
    QString value;
};

// The names in the order read prints them, with the values each allows.
QStringList settingNames();
QString settingHelp();
// The values a setting takes when they can be listed (baud: the rates,
// parity: none odd even, ...); empty for numbers of a range.
QStringList settingValues(const QString &name);

// Parses "NAME=VALUE"; on failure *error names the offending item.
bool parseSettingAssignment(const QString &text, SettingChange *change, QString *error);
// Puts one validated change into the mirror's registers; false (and *error)
// when the value is not one the window accepts, with the mirror untouched.
bool applySetting(RegisterMirror &mirror, const SettingChange &change, QString *error);

// The shortest text that reads back as the same float.
QString floatText(float value);

// Every setting as JSON, in the form set accepts.
QJsonObject settingsJson(const RegisterMirror &mirror);

} // namespace cli
