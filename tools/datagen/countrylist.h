#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// One line of countries.nbx: the ISO 3166-1 alpha-2 code and the country's
// name as single-byte (Latin-1) text.
struct CountryLine {
    QByteArray code;
    QByteArray name;
};

// Reads iso-codes' iso_3166-1.json, naming each country by its common name
// where iso-codes gives one, else its name. The lines come sorted by code
// ascending, so the catalogue numbering only changes when iso-codes adds or
// drops a country. Names are cut to 63 characters. Empty on a read error
// (the message is in error).
QVector<CountryLine> ReadIsoCountries(const QString& jsonPath, QString& error);

// Writes code TAB name CR LF per country.
bool WriteCountryFile(const QVector<CountryLine>& countries, const QString& path, QString& error);
