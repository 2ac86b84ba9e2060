#include "countrylist.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace {
constexpr int kMaxNameLength = 63;  // the catalogue holds at most 63 characters
}

QVector<CountryLine> ReadIsoCountries(const QString& jsonPath, QString& error)
{
    QFile file(jsonPath);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot open %1: %2").arg(jsonPath, file.errorString());
        return {};
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    const QJsonArray entries = document.object().value(QStringLiteral("3166-1")).toArray();
    if (entries.isEmpty()) {
        error = QStringLiteral("%1: no 3166-1 entries (%2)").arg(jsonPath, parseError.errorString());
        return {};
    }

    QVector<CountryLine> countries;
    for (const auto& value : entries) {
        const QJsonObject entry = value.toObject();
        const QString code = entry.value(QStringLiteral("alpha_2")).toString();
        // The common name where iso-codes has one ("South Korea", "Bolivia"), else the
        // formal short name; simplified: no tabs or line ends.
        QString name = entry.value(QStringLiteral("common_name")).toString().simplified();
        if (name.isEmpty())
            name = entry.value(QStringLiteral("name")).toString().simplified();
        if (code.size() != 2 || name.isEmpty())
            continue;
        // Latin-1 is the single-byte text the program shows; other characters become '?'.
        countries.push_back({code.toLatin1(), name.left(kMaxNameLength).toLatin1()});
    }
    std::sort(countries.begin(), countries.end(),
              [](const CountryLine& a, const CountryLine& b) { return a.code < b.code; });
    return countries;
}

bool WriteCountryFile(const QVector<CountryLine>& countries, const QString& path, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("cannot create %1: %2").arg(path, file.errorString());
        return false;
    }
    for (const CountryLine& country : countries)
        file.write(country.code + '\t' + country.name + "\r\n");
    if (!file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
