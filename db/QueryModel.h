#pragma once
#include <QAbstractTableModel>
#include <QPointer>
#include <QStringList>

class QItemSelectionModel;

namespace db {

class Query;

/// Shows a Query in a grid: one column per result column (or the ones named with
/// setColumns), every row of the result once it is read (rows come in as the query
/// reads them in the background; the scroll bar then covers every hit). Selecting a row
/// in an attached view moves the query there, and a move of the query selects its row.
class QueryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit QueryModel(Query *query, QObject *parent = nullptr);

    /// Result names to show, in order (empty: all result columns).
    void setColumns(const QStringList &names);
    void setTitles(const QStringList &titles);
    Query *query() const;

    /// Keeps a view's selection and the query's current row together
    /// (db knows no widgets: a view hands over its selection model).
    void attach(QItemSelectionModel *selection);
    int resultColumn(int modelColumn) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    void takeReadRows();
    void reset();
    void followQuery();

    QPointer<Query> m_query;
    QStringList m_columns;
    QStringList m_titles;
    QPointer<QItemSelectionModel> m_selection;
    int m_rows = 0;
    bool m_syncing = false;
};

} // namespace db
