#pragma once
#include <QObject>
#include <QString>

namespace db {

class Connection;

/// A statement that returns nothing (INSERT, UPDATE, DELETE) run on a connection.
class Command : public QObject {
    Q_OBJECT
public:
    explicit Command(QObject *parent = nullptr);
    explicit Command(Connection *connection, QObject *parent = nullptr);

    void setConnection(Connection *connection);
    Connection *connection() const;
    void setText(const QString &sql);
    QString text() const;
    void execute(); ///< throws DbError; nothing is written by a failed statement

private:
    Connection *m_connection = nullptr;
    QString m_text;
};

} // namespace db
