#pragma once

#include <QByteArray>
#include <QHash>
#include <QStandardItemModel>
#include <QVariantMap>

// A standard item model whose role names are fixed at construction, so QML delegates read each
// item's data by name. Fillers add and clear rows with the base class and emit lengthChanged().
class RoleItemModel : public QStandardItemModel {
    Q_OBJECT
    Q_PROPERTY(int length READ length NOTIFY lengthChanged)

public:
    explicit RoleItemModel(const QHash<int, QByteArray>& roleNames);
    ~RoleItemModel() override;

    QHash<int, QByteArray> roleNames() const override;
    int length() const { return rowCount(); }

    // One row of any model as a map from role name to the data at (row, 0); invalid values for
    // a row that does not exist.
    static QVariantMap getModelData(const QAbstractItemModel* model, int row);

    Q_INVOKABLE QVariantMap get(int row) const;

signals:
    // Never emitted by the model itself.
    void lengthChanged();

private:
    QHash<int, QByteArray> m_roleNames;
};
