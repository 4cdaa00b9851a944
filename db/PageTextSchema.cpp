#include "db/PageTextSchema.h"

#include "db/DbError.h"
#include "db/Exec.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgResult.h"

#include <QLoggingCategory>

using namespace Qt::StringLiterals;

Q_DECLARE_LOGGING_CATEGORY(lcDb)

namespace db::pagetext {

namespace {

QString fiveDigits(const QString &column)
{
    return u"CHECK (length(%1) = 5 AND %1 NOT GLOB '*[^0-9]*')"_s.arg(column);
}

} // namespace

QStringList fileStatements()
{
    return {
        u"CREATE TABLE IF NOT EXISTS %1 (\n"
        u"  processo text NOT NULL %2,\n"
        u"  documento text NOT NULL %3,\n"
        u"  numero integer NOT NULL CHECK (numero BETWEEN 1 AND 999),\n"
        u"  impressao text NOT NULL,\n"
        u"  texto text,\n"
        u"  palavras blob,\n"
        u"  nota text,\n"
        u"  PRIMARY KEY (processo, documento, numero)\n"
        u")"_s.arg(kTable, fiveDigits(u"processo"_s), fiveDigits(u"documento"_s)),
    };
}

QStringList serverStatements()
{
    return {
        u"CREATE TABLE IF NOT EXISTS %1 (\n"
        u"  processo text NOT NULL,\n"
        u"  documento text NOT NULL,\n"
        u"  numero smallint NOT NULL CHECK (numero BETWEEN 1 AND 999),\n"
        u"  impressao text NOT NULL,\n"
        u"  texto text,\n"
        u"  palavras bytea,\n"
        u"  nota text,\n"
        u"  CONSTRAINT %1_pkey PRIMARY KEY (processo, documento, numero),\n"
        // Removal, renumbering and moving aside carry the text with the page row, in the
        // same statement, whichever program changes the pages.
        u"  CONSTRAINT %1_lauda_fkey FOREIGN KEY (processo, documento, numero)\n"
        u"    REFERENCES lauda (processo, documento, numero) ON DELETE CASCADE ON UPDATE CASCADE\n"
        u")"_s.arg(kTable),
        u"COMMENT ON TABLE %1 IS 'Texto reconhecido de cada página; impressao: SHA-256 do JPEG lido'"_s.arg(kTable),
    };
}

void ensure(sqlite3 *handle)
{
    for (const QString &statement : fileStatements())
        exec(handle, statement);
}

bool present(pg::PgConnection &server)
{
    return !server.exec(u"SELECT to_regclass($1)"_s, {pg::PgParam::text(kTable.toString())}).isNull(0, 0);
}

bool ensure(pg::PgConnection &server)
{
    if (present(server))
        return true;
    try {
        pg::PgTransaction transaction(server);
        for (const QString &statement : serverStatements())
            server.exec(statement);
        transaction.commit();
        return true;
    } catch (const DbError &error) {
        if (error.kind() != ErrorKind::NoPrivilege)
            throw;
        qCWarning(lcDb) << "page texts off: this role may not create" << kTable << error.message();
        return false;
    }
}

} // namespace db::pagetext
