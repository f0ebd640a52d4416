#include "exercise/RoleItemModel.h"

RoleItemModel::RoleItemModel(const QHash<int, QByteArray>& roleNames)
    : QStandardItemModel(nullptr)
    , m_roleNames(roleNames)
{
}

RoleItemModel::~RoleItemModel() = default;

QHash<int, QByteArray> RoleItemModel::roleNames() const
{
    return m_roleNames;
}

QVariantMap RoleItemModel::getModelData(const QAbstractItemModel* model, int row)
{
    QVariantMap map;
    if (!model)
        return map;
    const QModelIndex index = model->index(row, 0);
    const QHash<int, QByteArray> names = model->roleNames();
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        // the name as text up to its first zero byte
        const QString key = QString::fromUtf8(it.value().constData());
        map.insert(key, index.isValid() ? model->data(index, it.key()) : QVariant());
    }
    return map;
}

QVariantMap RoleItemModel::get(int row) const
{
    return getModelData(this, row);
}
