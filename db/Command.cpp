#include "db/Command.h"

#include "db/Connection.h"
#include "db/DbError.h"

using namespace Qt::StringLiterals;

namespace db {

Command::Command(QObject *parent) : QObject(parent) {}

Command::Command(Connection *connection, QObject *parent) : QObject(parent), m_connection(connection) {}

void Command::setConnection(Connection *connection)
{
    m_connection = connection;
}

Connection *Command::connection() const
{
    return m_connection;
}

void Command::setText(const QString &sql)
{
    m_text = sql;
}

QString Command::text() const
{
    return m_text;
}

void Command::execute()
{
    if (!m_connection)
        throw DbError(u"O comando não tem conexão."_s);
    m_connection->execute(m_text);
}

} // namespace db
