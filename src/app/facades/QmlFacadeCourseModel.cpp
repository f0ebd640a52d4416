#include "app/facades/QmlFacadeCourseModel.h"

#include "app/facades/QmlFacadeCourseItem.h"

#include <QStack>

#include <cstdio>

QmlFacadeCourseModel::QmlFacadeCourseModel(QmlFacadeCourseItem* root, QObject* parent)
    : QAbstractItemModel(parent)
    , mp_rootItem(root)
    , m_count(0)
{
}

QmlFacadeCourseItem* QmlFacadeCourseModel::itemOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<QmlFacadeCourseItem*>(index.internalPointer()) : mp_rootItem;
}

QModelIndex QmlFacadeCourseModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    QmlFacadeCourseItem* parentItem = itemOf(parent);
    QmlFacadeCourseItem* child = parentItem ? parentItem->child(row) : nullptr;
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex QmlFacadeCourseModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return QModelIndex();
    QmlFacadeCourseItem* parentItem = itemOf(index)->parent();
    if (!parentItem || parentItem == mp_rootItem)
        return QModelIndex();
    return createIndex(parentItem->row(), 0, parentItem);
}

int QmlFacadeCourseModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    QmlFacadeCourseItem* item = itemOf(parent);
    return item ? item->childCount() : 0;
}

int QmlFacadeCourseModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant QmlFacadeCourseModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const QmlFacadeCourseItem* item = itemOf(index);
    switch (role) {
    case NameRole:
        return item->name();
    case DescriptionRole:
        return item->description();
    case StateRole:
        return static_cast<int>(item->state());
    case IsCurrentRole:
        return item->isCurrent();
    case IsLeafRole:
        return item->childCount() == 0;
    default:
        return QVariant();
    }
}

QVariant QmlFacadeCourseModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return section == 0 ? QStringLiteral("zero") : QStringLiteral("one");
    return QVariant();
}

Qt::ItemFlags QmlFacadeCourseModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

QHash<int, QByteArray> QmlFacadeCourseModel::roleNames() const
{
    return {{NameRole, "name"},
            {DescriptionRole, "description"},
            {StateRole, "itemState"},
            {IsCurrentRole, "itemIsCurrent"},
            {IsLeafRole, "itemIsLeaf"}};
}

int QmlFacadeCourseModel::count()
{
    m_count = rowCount(QModelIndex());
    return m_count;
}

QmlFacadeCourseItem* QmlFacadeCourseModel::getItemByIndex(QModelIndex idx) const
{
    return idx.isValid() ? itemOf(idx) : nullptr;
}

QModelIndex QmlFacadeCourseModel::getIndexByItem(QmlFacadeCourseItem* item) const
{
    QStack<int> rows;
    for (const QmlFacadeCourseItem* walk = item; walk && walk->parent(); walk = walk->parent())
        rows.push(walk->row());
    QModelIndex result;
    while (!rows.isEmpty())
        result = index(rows.pop(), 0, result);
    return result;
}

QVariant QmlFacadeCourseModel::get(QModelIndex idx) const
{
    QVariantMap map;
    const QHash<int, QByteArray> roles = roleNames();
    for (auto it = roles.constBegin(); it != roles.constEnd(); ++it)
        map.insert(QString::fromLatin1(it.value()), data(idx, it.key()));
    return map;
}

QModelIndex QmlFacadeCourseModel::itemToIndex(QmlFacadeCourseItem*) const
{
    std::fprintf(stderr, "BOOOOM\n");
    return QModelIndex();
}

QVariant QmlFacadeCourseModel::currentModuleIndex() const
{
    // A fixed place: the first child of the root's fourth row, none when that row is missing.
    const QModelIndex fourth = index(3, 0);
    return QVariant::fromValue(fourth.isValid() ? index(0, 0, fourth) : QModelIndex());
}

void QmlFacadeCourseModel::printIndex(QModelIndex idx) const
{
    for (QModelIndex walk = idx; walk.isValid(); walk = walk.parent()) {
    }
}

void QmlFacadeCourseModel::printPath(QModelIndex idx) const
{
    std::fprintf(stderr, "here\n");
    QStringList texts;
    for (QModelIndex walk = idx; walk.isValid(); walk = walk.parent())
        texts << data(walk, Qt::DisplayRole).toString();
    for (const QString& text : qAsConst(texts))
        std::fprintf(stderr, "%s / ", text.toUtf8().constData());
    std::fprintf(stderr, "\n");
}
