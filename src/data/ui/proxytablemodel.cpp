#include "data/ui/proxytablemodel.h"

#include "data/ui/countryname.h"
#include "data/ui/flagimages.h"
#include "data/ui/speedscore.h"

namespace {

struct ColumnInfo {
    const char* header;
    int width;
};
constexpr ColumnInfo kColumns[CProxyTableModel::ColumnCount] = {{"Country", 130}, {"IP", 102},    {"Port", 42},
                                                                {"Type", 70},     {"Uptime", 44}, {"Speed", 100}};

QString TypeText(int type)
{
    switch (type) {
    case 0: return QStringLiteral("Socks");
    case 1: return QStringLiteral("Socks4");
    case 2: return QStringLiteral("Socks5");
    case 3: return QStringLiteral("Socks4/5");
    default: return {};
    }
}

}  // namespace

CProxyTableModel::CProxyTableModel(const CFlagImages* flags, QObject* parent)
    : QAbstractTableModel(parent), flags_(flags), blankFlag_(CFlagImages::kFlagSize)
{
    blankFlag_.fill(Qt::transparent);
}

void CProxyTableModel::Refill(const CProxyList& list, int timeoutMilliseconds)
{
    beginResetModel();
    rows_.assign(list.begin(), list.end());
    timeoutMilliseconds_ = timeoutMilliseconds;
    endResetModel();
}

void CProxyTableModel::Clear()
{
    beginResetModel();
    rows_.clear();
    endResetModel();
}

const CProxy* CProxyTableModel::ProxyAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return &rows_[static_cast<size_t>(row)];
}

int CProxyTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CProxyTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CProxyTableModel::data(const QModelIndex& index, int role) const
{
    const CProxy* proxy = index.isValid() ? ProxyAt(index.row()) : nullptr;
    if (!proxy)
        return {};
    switch (role) {
    case Qt::DisplayRole: return DisplayText(*proxy, index.column());
    case Qt::AccessibleTextRole:
        // Screen readers get the number the Speed bar shows.
        if (index.column() == SpeedColumn)
            return QString::number(SpeedScore(proxy->speed, timeoutMilliseconds_));
        return DisplayText(*proxy, index.column());
    case SpeedScoreRole: return SpeedScore(proxy->speed, timeoutMilliseconds_);
    case Qt::DecorationRole:
        if (index.column() == CountryColumn && flags_ && proxy->country >= 0 && proxy->country < flags_->Count()) {
            // A country without a flag picture keeps the flag's space, so that
            // its name lines up with the names below and above it.
            const QPixmap flag = flags_->Flag(proxy->country);
            return flag.isNull() ? blankFlag_ : flag;
        }
        return {};
    case Qt::TextAlignmentRole: return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default: return {};
    }
}

QVariant CProxyTableModel::DisplayText(const CProxy& proxy, int column) const
{
    switch (column) {
    case CountryColumn: return CountryName(proxy.country);
    case IpColumn: return QString::fromLatin1(proxy.ip);
    case PortColumn: return QString::number(proxy.port);
    case TypeColumn: return TypeText(proxy.type);
    case UptimeColumn: return QStringLiteral("%1/5").arg(proxy.uptime);
    default: return {};  // the Speed cell shows its score only as a bar
    }
}

QVariant CProxyTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return HeaderText(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

Qt::ItemFlags CProxyTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QString CProxyTableModel::HeaderText(int column)
{
    return QString::fromLatin1(kColumns[column].header);
}

int CProxyTableModel::ColumnWidth(int column)
{
    return kColumns[column].width;
}

QString CProxyTableModel::WidestText(int column)
{
    switch (column) {
    case IpColumn: return QStringLiteral("255.255.255.255");
    case PortColumn: return QStringLiteral("65535");
    case TypeColumn: return TypeText(3);
    case UptimeColumn: return QStringLiteral("5/5");
    default: return {};
    }
}
