#pragma once

// Fixed code tables of the instrument's register fields, shared by every page.
// The texts are kept as UTF-8 literals so a page can pass them through tr();
// the register captions are marked for the window's translation (context
// MainWindow), the units and parity names are the same in every language.

#include <QString>
#include <QtGlobal>

#include <array>

// Unit codes 0..10 are pressure units, 11 and 12 temperature units.
extern const std::array<const char *, 13> unitNames;
// Baud code (register 43) -> rate.
extern const std::array<quint32, 6> baudRates;
// Parity code (register 44) -> name.
extern const std::array<const char *, 3> parityNames;
// Source code of a custom register row -> caption; 23..25 are custom values.
extern const std::array<const char *, 26> registerCaptions;

// Lookups that never read past a table: a code the table does not hold comes
// back as a text that says so, since such codes can arrive from a device or a
// backup file.
QString unitName(uint code);
QString parityName(uint code);
// Codes above 5 run the link at 38400, the fastest rate the instrument has.
quint32 baudRateForCode(uint code);
