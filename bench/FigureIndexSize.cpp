// The size of the substring index beside the size of the table it serves, read from the
// archive's pages (SQLite's dbstat table).

#include "bench/Figures.h"

#include "db/pg/PgConnection.h"

#include <QDir>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace bench {

namespace {

struct Sizes {
    double tableMb = 0;
    double indexMb = 0;
};

Sizes objectSizes(const QString &databasePath)
{
    const ReadOnlyDatabase db = openReadOnly(databasePath);
    sqlite3 *raw = db.get();
    sqlite3_stmt *statement = nullptr;
    // The index is the FTS5 table's shadow tables (documento_busca_data, _idx, _config).
    const char *sql = "SELECT name, sum(pgsize) FROM dbstat WHERE name = 'documento' OR name LIKE 'documento_busca%' "
                      "GROUP BY name";
    if (sqlite3_prepare_v2(raw, sql, -1, &statement, nullptr) != SQLITE_OK)
        throw BenchError(u"dbstat: "_s + QString::fromUtf8(sqlite3_errmsg(raw)));
    Sizes sizes;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const double mb = double(sqlite3_column_int64(statement, 1)) / (1024.0 * 1024.0);
        if (qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)), "documento") == 0)
            sizes.tableMb += mb;
        else
            sizes.indexMb += mb;
    }
    sqlite3_finalize(statement);
    if (sizes.tableMb <= 0 || sizes.indexMb <= 0)
        throw BenchError(u"the archive has no documento table or no substring index"_s);
    return sizes;
}

// The trigram index on the server beside the documents' heap (its TOAST included).
Sizes serverSizes(const Context &context)
{
    db::pg::PgConnection server(serverOf(context));
    const db::pg::PgResult sizes = server.exec(
        u"SELECT pg_table_size('documento'), pg_relation_size('documento_busca')"_s);
    return {double(sizes.text(0, 0).toLongLong()) / (1024.0 * 1024.0),
            double(sizes.text(0, 1).toLongLong()) / (1024.0 * 1024.0)};
}

} // namespace

Row indexSizeFigure(const Context &context)
{
    Row row;
    row.figure = u"substring index size"_s;
    row.target = u"<= the documento table"_s;
    const Sizes sizes = context.provider == db::Provider::PostgreSQL
                            ? serverSizes(context)
                            : objectSizes(QDir(context.archiveDir).filePath(u"dados/cartulo.db"_s));
    row.met = sizes.indexMb <= sizes.tableMb;
    row.note = u"documento_busca %1 MB beside documento %2 MB (%3x the table)"_s
                   .arg(sizes.indexMb, 0, 'f', 1)
                   .arg(sizes.tableMb, 0, 'f', 1)
                   .arg(sizes.indexMb / sizes.tableMb, 0, 'f', 2);
    return row;
}

} // namespace bench
