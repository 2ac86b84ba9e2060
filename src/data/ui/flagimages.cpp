#include "data/ui/flagimages.h"

#include "data/countrycatalogue.h"

#include <QString>

void CFlagImages::Load(const CCountryCatalogue& catalogue)
{
    flags_.assign(static_cast<size_t>(catalogue.Count()), QPixmap());
    for (int i = 0; i < catalogue.Count(); ++i) {
        const std::string& code = catalogue.EntryAt(i)->code;
        const QString path =
            QStringLiteral("flags/%1.png").arg(QString::fromLatin1(code.data(), static_cast<qsizetype>(code.size())));
        flags_[static_cast<size_t>(i)].load(path, "PNG");
    }
}

QPixmap CFlagImages::Flag(int country) const
{
    if (country < 0 || country >= Count())
        return {};
    return flags_[static_cast<size_t>(country)];
}
