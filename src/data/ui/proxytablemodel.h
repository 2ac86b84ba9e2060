#pragma once

#include "data/proxy.h"

#include <QAbstractTableModel>
#include <QPixmap>

#include <vector>

class CFlagImages;

// The proxy table's rows: row i is entry i of the list as it was at the last
// Refill. The model keeps its own copy, so painting never reads a list that a
// test run is rebuilding on another thread; every change of the list is
// followed by a Refill (a model reset).
class CProxyTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { CountryColumn, IpColumn, PortColumn, TypeColumn, UptimeColumn, SpeedColumn, ColumnCount };
    // The Speed score 0..100 of a row (the Speed cell shows it only as a bar).
    static constexpr int SpeedScoreRole = Qt::UserRole + 1;

    explicit CProxyTableModel(const CFlagImages* flags, QObject* parent = nullptr);

    // Copies the list; the timeout (milliseconds) is the Speed score's scale.
    void Refill(const CProxyList& list, int timeoutMilliseconds);
    void Clear();
    // The row's proxy, or nullptr outside the rows.
    const CProxy* ProxyAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static QString HeaderText(int column);
    // The least width of a column, in pixels; the table widens a column
    // further when its header or WidestText needs more at the font in use.
    static int ColumnWidth(int column);
    // The widest text a cell of the column can hold ("255.255.255.255" for the
    // IP), written with the digit 8 where digits vary; empty for the Country
    // column (names vary too much; its least width holds the common ones) and
    // the Speed column (a bar).
    static QString WidestText(int column);

private:
    QVariant DisplayText(const CProxy& proxy, int column) const;

    const CFlagImages* flags_;
    QPixmap blankFlag_;  // transparent, the size of a flag
    std::vector<CProxy> rows_;
    int timeoutMilliseconds_ = 0;
};
