// Generates the data files the program reads from its working directory:
// countries.nbx (the country catalogue, one "code TAB name" line per ISO 3166-1
// country, sorted by code) and flags/XX.png (25 x 15) for each country that
// has a source flag.
//
// usage: velmora-datagen <iso_3166-1.json> <flag source folder> <output folder>

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include "countrylist.h"
#include "flagimages.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);  // QImage needs no display
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        err << "usage: velmora-datagen <iso_3166-1.json> <flag source folder> <output folder>\n";
        return 2;
    }
    const QDir output(args[3]);
    QString error;
    if (!output.mkpath(QStringLiteral("."))) {
        err << "velmora-datagen: cannot create " << args[3] << '\n';
        return 1;
    }
    const QVector<CountryLine> countries = ReadIsoCountries(args[1], error);
    if (countries.isEmpty() || !WriteCountryFile(countries, output.filePath(QStringLiteral("countries.nbx")), error)) {
        err << "velmora-datagen: " << error << '\n';
        return 1;
    }
    const int flags = WriteFlagImages(countries, args[2], output.filePath(QStringLiteral("flags")), error);
    if (flags < 0) {
        err << "velmora-datagen: " << error << '\n';
        return 1;
    }
    QTextStream(stdout) << countries.size() << " countries, " << flags << " flags\n";
    return 0;
}
