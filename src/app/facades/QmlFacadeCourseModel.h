#pragma once

#include <QAbstractItemModel>

class QmlFacadeCourseItem;

// The course item tree as a one-column tree model; each index points at its item. The tree never
// changes shape, and states are read live, so the model emits no change signals of its own.
class QmlFacadeCourseModel : public QAbstractItemModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role { NameRole = Qt::UserRole + 1, DescriptionRole, StateRole, IsCurrentRole, IsLeafRole };

    QmlFacadeCourseModel(QmlFacadeCourseItem* root, QObject* parent);
    ~QmlFacadeCourseModel() override = default;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count();
    void update() {}

    Q_INVOKABLE QmlFacadeCourseItem* getItemByIndex(QModelIndex idx) const;
    Q_INVOKABLE QModelIndex getIndexByItem(QmlFacadeCourseItem* item) const;
    Q_INVOKABLE QVariant get(QModelIndex idx) const;
    Q_INVOKABLE QModelIndex itemToIndex(QmlFacadeCourseItem* item) const;
    Q_INVOKABLE QVariant currentModuleIndex() const;
    Q_INVOKABLE void printIndex(QModelIndex idx) const;
    Q_INVOKABLE void printPath(QModelIndex idx) const;

signals:
    void countChanged();

private:
    QmlFacadeCourseItem* itemOf(const QModelIndex& index) const;

    QmlFacadeCourseItem* mp_rootItem;
    int m_count;
};
