#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace db {

class Connection;

/// Cursor on the first row of a keyless table (`orgao`): read it, edit it, post it.
/// On an empty table edit() starts a new row that post() inserts.
class TableCursor : public QObject {
    Q_OBJECT
public:
    explicit TableCursor(QObject *parent = nullptr);
    explicit TableCursor(Connection *connection, QObject *parent = nullptr);

    void setConnection(Connection *connection);
    void open(const QString &table); ///< throws DbError
    void close();
    bool isOpen() const;
    bool isEmpty() const;
    void first();
    void edit();
    QStringList columns() const;
    int fieldCount() const;
    QString asText(int position) const;
    void setField(int position, const QString &text);
    void post(); ///< throws DbError; inserts when the table was empty, else rewrites row in place
    void cancel();

private:
    Connection *m_connection = nullptr;
    QString m_table;
    QStringList m_columns;
    /// The table's columns in table order; none when there is no such table.
    QStringList fileColumns(const QString &table) const;
    /// The same on the server; notes which columns hold bytes.
    QStringList serverColumns(const QString &table);
    void firstOnServer();
    void postOnServer();

    std::optional<qint64> m_rowid;
    std::optional<QString> m_serverRow; // the row's ctid on a server archive
    QList<bool> m_binary;               // bytea columns of a server table
    QStringList m_values;
    QStringList m_pending;
    bool m_open = false;
    bool m_editing = false;
};

} // namespace db
