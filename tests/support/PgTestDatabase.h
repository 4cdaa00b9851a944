#pragma once
// A database of its own on the tests' private PostgreSQL server (see NEEDS_PG in
// cmake/CartuloCommon.cmake): a unique name, so tests run side by side, made with the
// locale the archive needs and dropped at the end, whatever the test left connected.
#include "db/DbError.h"
#include "db/ServerAddress.h"
#include "db/pg/PgConnection.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTest>
#include <atomic>

namespace testsupport {

/// The server's socket folder and superuser, from libpq's variables set by CTest.
inline db::ServerAddress pgServer(const QString &database = QStringLiteral("postgres"))
{
    db::ServerAddress address;
    address.host = qEnvironmentVariable("PGHOST");
    if (address.host.isEmpty())
        qFatal("PGHOST is not set: run this test through CTest, which starts the PostgreSQL server");
    address.database = database;
    address.role = qEnvironmentVariable("PGUSER", QStringLiteral("postgres"));
    return address;
}

/// A name no other test of this run takes: a prefix, the process and a counter.
inline QString uniquePgName(QStringView prefix)
{
    static std::atomic<int> counter{0};
    return QStringLiteral("%1_%2_%3_%4")
        .arg(prefix)
        .arg(QCoreApplication::applicationPid())
        .arg(++counter)
        .arg(QRandomGenerator::global()->bounded(1u << 30), 0, 36);
}

/// Drops what a test made on the server by name; a failure is only reported.
inline void dropOnServer(const QString &what, const QString &name)
{
    try {
        db::pg::PgConnection admin(pgServer());
        admin.exec(what == QStringLiteral("DATABASE")
                       ? QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name)
                       : QStringLiteral("DROP %1 IF EXISTS %2").arg(what, name));
    } catch (const db::DbError &error) {
        qWarning("could not drop %s: %s", qPrintable(name), qPrintable(error.message()));
    }
}

class PgTestDatabase {
public:
    /// options: those of CREATE DATABASE; the default is what the archive needs.
    explicit PgTestDatabase(const QString &options = QStringLiteral("ENCODING 'UTF8' LOCALE 'C.UTF-8'"))
        : m_name(uniquePgName(u"cartulo_t"))
    {
        db::pg::PgConnection admin(pgServer());
        // A file copy of the small template is quicker than logging it.
        admin.exec(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 STRATEGY FILE_COPY %2")
                       .arg(m_name, options));
    }
    ~PgTestDatabase() { dropOnServer(QStringLiteral("DATABASE"), m_name); }
    PgTestDatabase(const PgTestDatabase &) = delete;
    PgTestDatabase &operator=(const PgTestDatabase &) = delete;

    const QString &name() const { return m_name; }
    db::ServerAddress address() const { return pgServer(m_name); }
    db::ServerAddress addressAs(const QString &role) const
    {
        db::ServerAddress as = address();
        as.role = role;
        return as;
    }
    /// The line of a description file naming this database.
    QString descriptionLine(const QString &role = QString()) const
    {
        const db::ServerAddress a = role.isEmpty() ? address() : addressAs(role);
        return QStringLiteral("Provider=PostgreSQL;Data Source=%1;Initial Catalog=%2;User ID=%3")
            .arg(a.host, a.database, a.role);
    }

private:
    QString m_name;
};

/// A login role of its own, dropped at the end (after the databases it owns).
class PgTestRole {
public:
    explicit PgTestRole(const QString &options = QStringLiteral("LOGIN"))
        : m_name(uniquePgName(u"cartulo_r"))
    {
        db::pg::PgConnection admin(pgServer());
        admin.exec(QStringLiteral("CREATE ROLE %1 %2").arg(m_name, options));
    }
    ~PgTestRole() { dropOnServer(QStringLiteral("ROLE"), m_name); }
    PgTestRole(const PgTestRole &) = delete;
    PgTestRole &operator=(const PgTestRole &) = delete;

    const QString &name() const { return m_name; }

private:
    QString m_name;
};

} // namespace testsupport
