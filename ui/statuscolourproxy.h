#pragma once

#include <QIdentityProxyModel>

namespace ks {

// Colours the queue's rows by their status for the window's table, so the
// queue itself stays free of the GUI and the command line can share it.
class StatusColourProxy final : public QIdentityProxyModel
{
    Q_OBJECT

public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
};

} // namespace ks
