#include "widgets/uitext.h"

QString ToUi(const std::string& singleByte)
{
    return QString::fromLatin1(singleByte.data(), static_cast<qsizetype>(singleByte.size()));
}

std::string FromUi(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}
