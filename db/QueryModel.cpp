#include "db/QueryModel.h"

#include "db/DbError.h"
#include "db/Query.h"

#include <QItemSelectionModel>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcDb)

namespace db {

QueryModel::QueryModel(Query *query, QObject *parent) : QAbstractTableModel(parent), m_query(query)
{
    connect(query, &Query::afterOpen, this, &QueryModel::reset);
    connect(query, &Query::afterClose, this, &QueryModel::reset);
    connect(query, &Query::afterScroll, this, &QueryModel::followQuery);
    connect(query, &Query::rowsRead, this, &QueryModel::takeReadRows);
    reset();
}

void QueryModel::setColumns(const QStringList &names)
{
    beginResetModel();
    m_columns = names;
    endResetModel();
}

void QueryModel::setTitles(const QStringList &titles)
{
    m_titles = titles;
    if (const int columns = columnCount(); columns > 0)
        emit headerDataChanged(Qt::Horizontal, 0, columns - 1);
}

Query *QueryModel::query() const
{
    return m_query;
}

void QueryModel::attach(QItemSelectionModel *selection)
{
    if (m_selection)
        disconnect(m_selection, nullptr, this, nullptr);
    m_selection = selection;
    if (!selection)
        return;
    connect(selection, &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (m_syncing || !m_query || !m_query->isOpen() || !current.isValid())
                    return;
                try {
                    m_query->moveTo(current.row());
                } catch (const DbError &error) {
                    qCWarning(lcDb) << "grid could not move its query:" << error.message();
                }
            });
    followQuery();
}

int QueryModel::resultColumn(int modelColumn) const
{
    if (!m_query || !m_query->isOpen())
        return -1;
    if (m_columns.isEmpty())
        return modelColumn < m_query->fieldCount() ? modelColumn : -1;
    if (modelColumn < 0 || modelColumn >= m_columns.size())
        return -1;
    return m_query->fieldIndex(m_columns[modelColumn]);
}

int QueryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int QueryModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    if (!m_columns.isEmpty())
        return int(m_columns.size());
    return m_query && m_query->isOpen() ? m_query->fieldCount() : 0;
}

QVariant QueryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const int column = resultColumn(index.column());
    if (column < 0)
        return {};
    return m_query->textAt(index.row(), column);
}

QVariant QueryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section >= 0 && section < m_titles.size())
        return m_titles[section];
    if (!m_columns.isEmpty() && section >= 0 && section < m_columns.size())
        return m_columns[section];
    const int column = resultColumn(section);
    return column >= 0 ? QVariant(m_query->fieldName(column)) : QVariant();
}

// Rows come in from the query's background reading; a view never waits for them.
bool QueryModel::canFetchMore(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_query || !m_query->isOpen())
        return false;
    return m_rows < m_query->fetchedCount();
}

void QueryModel::fetchMore(const QModelIndex &parent)
{
    if (!parent.isValid())
        takeReadRows();
}

void QueryModel::takeReadRows()
{
    if (!m_query || !m_query->isOpen())
        return;
    const int available = m_query->fetchedCount();
    if (available > m_rows) {
        beginInsertRows({}, m_rows, available - 1);
        m_rows = available;
        endInsertRows();
    }
}

void QueryModel::reset()
{
    beginResetModel();
    m_rows = m_query && m_query->isOpen() ? m_query->fetchedCount() : 0;
    endResetModel();
}

void QueryModel::followQuery()
{
    if (!m_query || !m_query->isOpen())
        return;
    takeReadRows(); // a move may have waited for rows not shown yet (last(), locate())
    const int row = m_query->recNo();
    if (!m_selection || row < 0 || columnCount() == 0)
        return;
    m_syncing = true;
    m_selection->setCurrentIndex(index(row, 0), QItemSelectionModel::ClearAndSelect
                                                    | QItemSelectionModel::Rows);
    m_syncing = false;
}

} // namespace db
