#pragma once

#include <QString>

// The catalogue name of a country index, empty outside the catalogue.
QString CountryName(int country);
