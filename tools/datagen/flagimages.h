#pragma once

#include "countrylist.h"

// Writes flags/XX.png (25 x 15) for every country whose lower-case xx.png
// exists in sourceDir. Transparent margins of the source are cut off before
// scaling. Returns the number of flags written, or -1 on a write error.
int WriteFlagImages(const QVector<CountryLine>& countries, const QString& sourceDir, const QString& outputDir,
                    QString& error);
