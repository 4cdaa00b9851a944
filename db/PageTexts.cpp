#include "db/PageTexts.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Exec.h"
#include "db/PageTextSchema.h"
#include "db/QueuedIndex.h"
#include "db/Statement.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgResult.h"

#include <sqlite3.h>

using namespace Qt::StringLiterals;
using db::pg::PgParam;

namespace db {

namespace {

constexpr QStringView kColumns = u"processo, documento, numero, impressao, texto, palavras, nota";

// The texts in a file archive, on the connection that changes the pages.
class FilePageTexts final : public PageTexts {
public:
    explicit FilePageTexts(sqlite3 *handle) : m_handle(handle) {}

    bool available() override
    {
        StatementPtr statement = prepare(u"SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'lauda_texto'"_s);
        return step(statement) == SQLITE_ROW;
    }

    std::optional<PageText> find(const PagePlace &place) override
    {
        std::vector<PlacedText> found = rows(place.process, place.document, place.page, place.page);
        if (found.empty())
            return std::nullopt;
        return std::move(found.front().text);
    }

    void store(const PagePlace &place, const PageText &text) override
    {
        StatementPtr statement = prepare(u"INSERT OR REPLACE INTO lauda_texto (%1) VALUES (?, ?, ?, ?, ?, ?, ?)"_s.arg(kColumns));
        bindPlace(statement, place);
        bindText(statement, 4, text.impressao);
        if (text.texto)
            bindText(statement, 5, *text.texto);
        if (!text.palavras.isNull())
            sqlite3_bind_blob64(statement.get(), 6, text.palavras.constData(), sqlite3_uint64(text.palavras.size()), SQLITE_TRANSIENT);
        if (text.nota)
            bindText(statement, 7, *text.nota);
        finish(statement);
        indexForSearch();
    }

    void forget(const PagePlace &place) override { removeRows(place.process, place.document, place.page, place.page); }

    void forgetDocument(const QString &process, const QString &document) override
    {
        StatementPtr statement = prepare(document.isEmpty()
                                             ? u"DELETE FROM lauda_texto WHERE processo = ?"_s
                                             : u"DELETE FROM lauda_texto WHERE processo = ? AND documento = ?"_s);
        bindText(statement, 1, process);
        if (!document.isEmpty())
            bindText(statement, 2, document);
        finish(statement);
        indexForSearch();
    }

    std::vector<std::pair<PagePlace, QString>> fingerprints() override
    {
        StatementPtr statement = prepare(u"SELECT processo, documento, numero, impressao FROM lauda_texto"_s);
        std::vector<std::pair<PagePlace, QString>> result;
        int rc;
        while ((rc = step(statement)) == SQLITE_ROW)
            result.emplace_back(PagePlace{column(statement, 0), column(statement, 1), sqlite3_column_int(statement.get(), 2)},
                                column(statement, 3));
        check(rc, statement);
        return result;
    }

    int count() override
    {
        StatementPtr statement = prepare(u"SELECT count(*) FROM lauda_texto"_s);
        check(step(statement), statement);
        return sqlite3_column_int(statement.get(), 0);
    }

protected:
    std::vector<PlacedText> rows(const QString &process, const QString &document, int from, int to) override
    {
        StatementPtr statement = prepare(u"SELECT %1 FROM lauda_texto WHERE processo = ? AND documento = ? "
                                         u"AND numero BETWEEN ? AND ? ORDER BY numero"_s.arg(kColumns));
        bindText(statement, 1, process);
        bindText(statement, 2, document);
        sqlite3_bind_int(statement.get(), 3, from);
        sqlite3_bind_int(statement.get(), 4, to);
        std::vector<PlacedText> result;
        int rc;
        while ((rc = step(statement)) == SQLITE_ROW) {
            PlacedText row;
            row.place = {column(statement, 0), column(statement, 1), sqlite3_column_int(statement.get(), 2)};
            row.text.impressao = column(statement, 3);
            if (sqlite3_column_type(statement.get(), 4) != SQLITE_NULL)
                row.text.texto = column(statement, 4);
            if (sqlite3_column_type(statement.get(), 5) != SQLITE_NULL) {
                const void *blob = sqlite3_column_blob(statement.get(), 5);
                row.text.palavras = QByteArray(static_cast<const char *>(blob), sqlite3_column_bytes(statement.get(), 5));
            }
            if (sqlite3_column_type(statement.get(), 6) != SQLITE_NULL)
                row.text.nota = column(statement, 6);
            result.push_back(std::move(row));
        }
        check(rc, statement);
        return result;
    }

    void removeRows(const QString &process, const QString &document, int from, int to) override
    {
        StatementPtr statement =
            prepare(u"DELETE FROM lauda_texto WHERE processo = ? AND documento = ? AND numero BETWEEN ? AND ?"_s);
        bindText(statement, 1, process);
        bindText(statement, 2, document);
        sqlite3_bind_int(statement.get(), 3, from);
        sqlite3_bind_int(statement.get(), 4, to);
        finish(statement);
        indexForSearch();
    }

    void inTransaction(const std::function<void()> &work) override
    {
        db::inSavepoint(m_handle, u"lauda_texto"_s, work);
    }

private:
    // The program writes the search's entries at once; the triggers only queue the rows, as
    // they do for any other client.
    void indexForSearch()
    {
        for (const queuedindex::Source *source : {&queuedindex::pageTexts(), &queuedindex::foldedPageTexts()})
            queuedindex::catchUp(m_handle, *source);
    }

    StatementPtr prepare(const QString &sql)
    {
        sqlite3_stmt *raw = nullptr;
        if (sqlite3_prepare_v2(m_handle, sql.toUtf8().constData(), -1, &raw, nullptr) != SQLITE_OK)
            throw DbError(QString::fromUtf8(sqlite3_errmsg(m_handle)));
        return StatementPtr(raw);
    }
    static int step(const StatementPtr &statement) { return sqlite3_step(statement.get()); }
    void check(int rc, const StatementPtr &) const
    {
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw DbError(QString::fromUtf8(sqlite3_errmsg(m_handle)));
    }
    void finish(const StatementPtr &statement) const
    {
        const int rc = sqlite3_step(statement.get());
        if (rc != SQLITE_DONE)
            throw DbError(QString::fromUtf8(sqlite3_errmsg(m_handle)));
    }
    static void bindText(const StatementPtr &statement, int index, const QString &value)
    {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text64(statement.get(), index, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    static void bindPlace(const StatementPtr &statement, const PagePlace &place)
    {
        bindText(statement, 1, place.process);
        bindText(statement, 2, place.document);
        sqlite3_bind_int(statement.get(), 3, place.page);
    }
    static QString column(const StatementPtr &statement, int index)
    {
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement.get(), index)),
                                 sqlite3_column_bytes(statement.get(), index));
    }

    sqlite3 *m_handle;
};

QList<PgParam> placeParams(const PagePlace &place)
{
    return {PgParam::text(place.process), PgParam::text(place.document), PgParam::integer(place.page)};
}

PgParam optionalText(const std::optional<QString> &value)
{
    return value ? PgParam::text(*value) : PgParam::null();
}

} // namespace

std::unique_ptr<PageTexts> PageTexts::on(const Connection &connection)
{
    if (!connection.isOpen())
        return nullptr;
    if (connection.server())
        return onServer(*connection.server());
    return onFile(connection.handle());
}

std::unique_ptr<PageTexts> PageTexts::onFile(sqlite3 *handle)
{
    return std::make_unique<FilePageTexts>(handle);
}

std::unique_ptr<PageTexts> PageTexts::onServer(pg::PgConnection &server)
{
    return std::make_unique<ServerPageTexts>(server);
}

void PageTexts::reinsert(const std::vector<PlacedText> &moved)
{
    for (const PlacedText &row : moved)
        store(row.place, row.text);
}

void PageTexts::followRemoval(const QString &process, const QString &document, int page, int lastPage)
{
    inTransaction([&] {
        std::vector<PlacedText> following = rows(process, document, page + 1, std::max(page, lastPage));
        removeRows(process, document, page, std::max(page, lastPage));
        for (PlacedText &row : following)
            --row.place.page;
        reinsert(following);
    });
}

void PageTexts::followExchange(const QString &process, const QString &document, int first)
{
    inTransaction([&] {
        std::vector<PlacedText> pair = rows(process, document, first, first + 1);
        removeRows(process, document, first, first + 1);
        for (PlacedText &row : pair)
            row.place.page = row.place.page == first ? first + 1 : first;
        reinsert(pair);
    });
}

void PageTexts::followGift(const PagePlace &from, const PagePlace &to)
{
    inTransaction([&] {
        std::vector<PlacedText> given = rows(from.process, from.document, 1, 999);
        forgetDocument(to.process, to.document);
        forgetDocument(from.process, from.document);
        for (PlacedText &row : given) {
            row.place.process = to.process;
            row.place.document = to.document;
        }
        reinsert(given);
    });
}

// The server.

bool ServerPageTexts::available()
{
    if (!m_present)
        m_present = pagetext::present(*m_server); // made later by an owner: seen from then on
    return m_present;
}

std::optional<PageText> ServerPageTexts::find(const PagePlace &place)
{
    std::vector<PlacedText> found = rows(place.process, place.document, place.page, place.page);
    if (found.empty())
        return std::nullopt;
    return std::move(found.front().text);
}

void ServerPageTexts::insert(const PagePlace &place, const PageText &text)
{
    m_server->exec(u"INSERT INTO lauda_texto (%1) VALUES ($1, $2, $3, $4, $5, $6, $7) "
                   u"ON CONFLICT (processo, documento, numero) DO UPDATE SET impressao = EXCLUDED.impressao, "
                   u"texto = EXCLUDED.texto, palavras = EXCLUDED.palavras, nota = EXCLUDED.nota"_s.arg(kColumns),
                   placeParams(place) + QList<PgParam>{PgParam::text(text.impressao), optionalText(text.texto),
                                                       text.palavras.isNull() ? PgParam::null() : PgParam::bytes(text.palavras),
                                                       optionalText(text.nota)});
}

void ServerPageTexts::store(const PagePlace &place, const PageText &text)
{
    insert(place, text);
}

void ServerPageTexts::forget(const PagePlace &place)
{
    removeRows(place.process, place.document, place.page, place.page);
}

void ServerPageTexts::forgetDocument(const QString &process, const QString &document)
{
    if (document.isEmpty())
        m_server->exec(u"DELETE FROM lauda_texto WHERE processo = $1"_s, {PgParam::text(process)});
    else
        m_server->exec(u"DELETE FROM lauda_texto WHERE processo = $1 AND documento = $2"_s,
                       {PgParam::text(process), PgParam::text(document)});
}

std::vector<std::pair<PagePlace, QString>> ServerPageTexts::fingerprints()
{
    const pg::PgResult result = m_server->exec(u"SELECT processo, documento, numero, impressao FROM lauda_texto"_s);
    std::vector<std::pair<PagePlace, QString>> found;
    for (int row = 0; row < result.rowCount(); ++row)
        found.emplace_back(PagePlace{result.text(row, 0), result.text(row, 1), result.text(row, 2).toInt()}, result.text(row, 3));
    return found;
}

int ServerPageTexts::count()
{
    return m_server->exec(u"SELECT count(*) FROM lauda_texto"_s).text(0, 0).toInt();
}

QList<PagePlace> ServerPageTexts::waiting(int limit, const std::optional<PagePlace> &after)
{
    const PagePlace from = after.value_or(PagePlace{QString(), QString(), 0});
    const pg::PgResult result = m_server->exec(
        u"SELECT l.processo, l.documento, l.numero FROM lauda AS l "
        u"WHERE (l.processo, l.documento, l.numero) > ($1, $2, $3) AND NOT EXISTS ("
        u"SELECT 1 FROM lauda_texto AS t WHERE t.processo = l.processo AND t.documento = l.documento "
        u"AND t.numero = l.numero) ORDER BY l.processo, l.documento, l.numero LIMIT $4"_s,
        placeParams(from) + QList<PgParam>{PgParam::integer(limit)});
    QList<PagePlace> places;
    for (int row = 0; row < result.rowCount(); ++row)
        places.append({result.text(row, 0), result.text(row, 1), result.text(row, 2).toInt()});
    return places;
}

int ServerPageTexts::waitingCount()
{
    return m_server->exec(u"SELECT count(*) FROM lauda AS l WHERE NOT EXISTS (SELECT 1 FROM lauda_texto AS t "
                          u"WHERE t.processo = l.processo AND t.documento = l.documento AND t.numero = l.numero)"_s)
        .text(0, 0)
        .toInt();
}

bool ServerPageTexts::mayWrite()
{
    return m_server->exec(u"SELECT has_table_privilege('lauda_texto', 'INSERT') "
                          u"AND has_table_privilege('lauda_texto', 'UPDATE')"_s).text(0, 0) == u"t"_s;
}

bool ServerPageTexts::storeIfCurrent(const PagePlace &place, const PageText &text)
{
    bool stored = false;
    inTransaction([&] {
        // The lock every workstation takes to number or replace this document's pages.
        m_server->exec(u"SELECT pg_advisory_xact_lock(hashtextextended($1, 0))"_s,
                       {PgParam::text(u"lauda:"_s + place.process + place.document)});
        const pg::PgResult same = m_server->exec(
            u"SELECT 1 FROM lauda WHERE processo = $1 AND documento = $2 AND numero = $3 "
            u"AND encode(sha256(imagem), 'hex') = $4"_s,
            placeParams(place) + QList<PgParam>{PgParam::text(text.impressao)});
        if (same.rowCount() == 0)
            return;
        insert(place, text);
        stored = true;
    });
    return stored;
}

std::vector<PlacedText> ServerPageTexts::rows(const QString &process, const QString &document, int from, int to)
{
    const pg::PgResult result = m_server->exec(
        u"SELECT %1 FROM lauda_texto WHERE processo = $1 AND documento = $2 AND numero BETWEEN $3 AND $4 "
        u"ORDER BY numero"_s.arg(kColumns),
        {PgParam::text(process), PgParam::text(document), PgParam::integer(from), PgParam::integer(to)},
        pg::ResultFormat::Binary);
    std::vector<PlacedText> found;
    for (int row = 0; row < result.rowCount(); ++row) {
        PlacedText text;
        const auto utf8 = [&](int column) {
            const QByteArrayView bytes = result.bytes(row, column);
            return QString::fromUtf8(bytes.data(), bytes.size());
        };
        const QByteArrayView number = result.bytes(row, 2); // smallint, big-endian
        const int page = (static_cast<unsigned char>(number[0]) << 8) | static_cast<unsigned char>(number[1]);
        text.place = {utf8(0), utf8(1), page};
        text.text.impressao = utf8(3);
        if (!result.isNull(row, 4))
            text.text.texto = utf8(4);
        if (!result.isNull(row, 5))
            text.text.palavras = result.bytes(row, 5).toByteArray();
        if (!result.isNull(row, 6))
            text.text.nota = utf8(6);
        found.push_back(std::move(text));
    }
    return found;
}

void ServerPageTexts::removeRows(const QString &process, const QString &document, int from, int to)
{
    m_server->exec(u"DELETE FROM lauda_texto WHERE processo = $1 AND documento = $2 AND numero BETWEEN $3 AND $4"_s,
                   {PgParam::text(process), PgParam::text(document), PgParam::integer(from), PgParam::integer(to)});
}

void ServerPageTexts::inTransaction(const std::function<void()> &work)
{
    if (m_server->inTransaction()) {
        work(); // part of the caller's transaction: it commits or undoes all
        return;
    }
    pg::PgTransaction transaction(*m_server);
    work();
    transaction.commit();
}

} // namespace db
