#pragma once
// A fresh empty archive on either engine, laid out as the program finds it: a program folder
// holding cartulo.udl (and dados/ with the file of a file archive, or naming a database of
// its own on the tests' private PostgreSQL server), and an open connection through it.
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Description.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgSchema.h"
#include "tests/support/PgTestDatabase.h"

#include <QDir>
#include <QFile>
#include <QMetaType>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sqlite3.h>

Q_DECLARE_METATYPE(db::Provider)

namespace testsupport {

/// The provider's name as the rows of a data table show it.
inline const char *providerName(db::Provider provider)
{
    return provider == db::Provider::PostgreSQL ? "postgresql" : "sqlite";
}

/// Both engines, for a `provider` column of a _data function.
inline QList<db::Provider> allProviders()
{
    return {db::Provider::SQLite, db::Provider::PostgreSQL};
}

/// One server archive for every case of a test binary (making a database per case would
/// make the run slow): made at first use, emptied by each user, dropped at exit. It also
/// holds typeof(), so checks written with SQLite's storage classes read the same here.
inline const PgTestDatabase &sharedServerArchive()
{
    static const std::unique_ptr<PgTestDatabase> database = [] {
        auto made = std::make_unique<PgTestDatabase>();
        db::pg::PgConnection owner(made->address());
        db::pg::schema::create(owner);
        owner.exec(QStringLiteral(
            "CREATE FUNCTION typeof(anyelement) RETURNS text LANGUAGE sql IMMUTABLE AS $$ "
            "SELECT CASE WHEN $1 IS NULL THEN 'null' "
            "WHEN pg_typeof($1) IN ('smallint'::regtype, 'integer'::regtype, 'bigint'::regtype) THEN 'integer' "
            "WHEN (SELECT coalesce(nullif(typbasetype, 0), oid) FROM pg_type WHERE oid = pg_typeof($1)) "
            "IN ('real'::regtype, 'double precision'::regtype, 'numeric'::regtype) "
            // a whole number in a numeric column is stored as an integer by SQLite
            "THEN CASE WHEN $1::text ~ '^-?[0-9]+$' THEN 'integer' ELSE 'real' END "
            "WHEN pg_typeof($1) = 'bytea'::regtype THEN 'blob' ELSE 'text' END $$"));
        owner.exec(QStringLiteral("CREATE FUNCTION typeof(text) RETURNS text LANGUAGE sql IMMUTABLE AS $$ "
                                  "SELECT CASE WHEN $1 IS NULL THEN 'null' ELSE 'text' END $$"));
        return made;
    }();
    return *database;
}

/// Empties the shared server archive through a connection to it.
inline void emptyServerArchive(db::pg::PgConnection &connection)
{
    for (const char *table : {"documento", "processo", "tipo_arq", "orgao", "lauda", "lauda_excluida"})
        connection.exec(QStringLiteral("DELETE FROM %1").arg(QLatin1StringView(table)));
}

class ProviderArchive {
public:
    explicit ProviderArchive(db::Provider provider) : m_provider(provider)
    {
        if (!m_dir.isValid())
            qFatal("no temporary folder for the archive");
        const QString udl = udlPath();
        if (provider == db::Provider::SQLite) {
            QDir(m_dir.path()).mkpath(QStringLiteral("dados"));
            const QString dbPath = m_dir.filePath(QStringLiteral("dados/cartulo.db"));
            db::Connection::createArchive(dbPath);
            db::writeDescriptionFile(udl, dbPath);
        } else {
            m_database = std::make_unique<PgTestDatabase>();
            {
                db::pg::PgConnection owner(m_database->address());
                db::pg::schema::create(owner);
            }
            writeServerDescription(udl, m_database->descriptionLine());
        }
        m_connection.openDescription(udl);
    }

    db::Provider provider() const { return m_provider; }
    QString programDir() const { return m_dir.path(); }
    QString udlPath() const { return m_dir.filePath(QStringLiteral("cartulo.udl")); }
    db::Connection &connection() { return m_connection; }
    /// The server database of a PostgreSQL archive; nullptr for a file archive.
    const PgTestDatabase *serverDatabase() const { return m_database.get(); }

    /// Every row of the four tables and the pages gone, so one archive serves many cases.
    void clear()
    {
        if (m_provider == db::Provider::PostgreSQL) {
            emptyServerArchive(*m_connection.server());
            return;
        }
        for (const char *table : {"documento", "processo", "tipo_arq", "orgao", "lauda_texto"})
            m_connection.execute(QStringLiteral("delete from %1").arg(QLatin1StringView(table)));
    }

    /// A description file naming a server database, written as an agency's would be.
    static void writeServerDescription(const QString &udlPath, const QString &line)
    {
        QFile file(udlPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw db::DbError(file.errorString());
        file.write("[oledb]\n; Everything after this line is an OLE DB initstring\n" + line.toUtf8() + '\n');
    }

private:
    db::Provider m_provider;
    QTemporaryDir m_dir;
    std::unique_ptr<PgTestDatabase> m_database; // dropped after the connection below closes
    db::Connection m_connection;
};

/// Every row of a statement run as it stands (no dialect), each field as text, on either
/// engine: what the tests read behind the program's back.
inline QList<QStringList> rowsOf(db::Connection &connection, const QString &sql)
{
    QList<QStringList> rows;
    if (db::pg::PgConnection *server = connection.server()) {
        const db::pg::PgResult result = server->exec(sql);
        for (int r = 0; r < result.rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < result.columnCount(); ++c)
                row << result.text(r, c);
            rows << row;
        }
        return rows;
    }
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(connection.handle(), sql.toUtf8().constData(), -1, &raw, nullptr) != SQLITE_OK)
        qFatal("%s", sqlite3_errmsg(connection.handle()));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> statement(raw, sqlite3_finalize);
    while (sqlite3_step(raw) == SQLITE_ROW) {
        QStringList row;
        for (int c = 0; c < sqlite3_column_count(raw); ++c)
            row << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, c)));
        rows << row;
    }
    return rows;
}

} // namespace testsupport
