#include "pages/DbPageStore.h"

#include "db/DbError.h"
#include "db/PageTexts.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgResult.h"
#include "editing/JpegImage.h"
#include "pages/PageChange.h"

#include <QLoggingCategory>
#include <QRegularExpression>

#include <optional>

using namespace Qt::StringLiterals;
using db::pg::PgParam;

namespace pages {

namespace {

Q_LOGGING_CATEGORY(lcDbPages, "cartulo.pages.server")

struct EntryKey {
    DocumentKey key;
    int page = 0;
};

// "0000700003002.jpg" -> 00007, 00003, 2; nullopt for a name no page has.
std::optional<EntryKey> parseEntry(const QString &entryName)
{
    static const QRegularExpression pattern(u"^(\\d{5})(\\d{5})(\\d{3,})\\.jpg$"_s);
    const QRegularExpressionMatch match = pattern.match(entryName);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const int page = match.captured(3).toInt(&ok);
    if (!ok || page < 1 || page > PageStore::kMaxPages)
        return std::nullopt;
    return EntryKey{{match.captured(1), match.captured(2)}, page};
}

// The text read from a page's old bytes goes with them, in the same transaction.
void forgetText(db::pg::PgConnection &server, const DocumentKey &key, int page)
{
    db::ServerPageTexts texts(server);
    if (texts.available())
        texts.forget({key.process, key.document, page});
}

PageError serverError(const db::DbError &error)
{
    const auto kind = error.kind() == db::ErrorKind::NoPrivilege ? PageError::Kind::NoPrivilege : PageError::Kind::Io;
    return PageError(kind, u"O servidor recusou a operação com as páginas: %1"_s.arg(error.message()));
}

} // namespace

DbPageStore::DbPageStore(db::pg::PgConnection &server, const QObject *lifetime)
    : m_server(&server), m_lifetime(lifetime)
{
}

template <typename Work>
auto DbPageStore::inTransaction(Work &&work) const
{
    try {
        if (m_server->inTransaction())
            return work(); // part of the caller's transaction: it commits or undoes all
        db::pg::PgTransaction transaction(*m_server);
        auto result = work();
        transaction.commit();
        return result;
    } catch (const db::DbError &error) {
        throw serverError(error);
    }
}

QString DbPageStore::deletedPlace() const
{
    return u"a tabela de páginas excluídas do servidor (lauda_excluida)"_s;
}

QString DbPageStore::pageLocation(const QString &entryName) const
{
    return u"lauda:"_s + entryName;
}

void DbPageStore::lockDocument(const DocumentKey &key) const
{
    // Held to the end of the transaction by every workstation that numbers this document's
    // pages; the document may have no row yet (an inclusion), so no row lock serves.
    m_server->exec(u"SELECT pg_advisory_xact_lock(hashtextextended($1, 0))"_s,
                   {PgParam::text(u"lauda:"_s + key.process + key.document)});
}

QList<int> DbPageStore::pageNumbers(const DocumentKey &key) const
{
    const db::pg::PgResult rows = m_server->exec(
        u"SELECT numero FROM lauda WHERE processo = $1 AND documento = $2 ORDER BY numero"_s,
        {PgParam::text(key.process), PgParam::text(key.document)});
    QList<int> numbers;
    for (int row = 0; row < rows.rowCount(); ++row)
        numbers.append(rows.text(row, 0).toInt());
    return numbers;
}

QStringList DbPageStore::listPages(const DocumentKey &key) const
{
    pageName(key, 1);
    QList<int> numbers;
    try {
        numbers = pageNumbers(key);
    } catch (const db::DbError &error) {
        throw serverError(error);
    }
    QStringList names;
    for (int expected = 1; expected <= numbers.size() && numbers[expected - 1] == expected; ++expected)
        names.append(pageName(key, expected));
    return names;
}

std::optional<QByteArray> DbPageStore::pageBytes(const QString &entryName) const
{
    const std::optional<EntryKey> entry = parseEntry(entryName);
    if (!entry)
        return std::nullopt;
    try {
        const db::pg::PgResult rows = m_server->exec(
            u"SELECT imagem FROM lauda WHERE processo = $1 AND documento = $2 AND numero = $3"_s,
            {PgParam::text(entry->key.process), PgParam::text(entry->key.document), PgParam::integer(entry->page)},
            db::pg::ResultFormat::Binary);
        if (rows.rowCount() == 0)
            return std::nullopt;
        return rows.bytes(0, 0).toByteArray();
    } catch (const db::DbError &error) {
        throw serverError(error);
    }
}

void DbPageStore::storeBytes(const DocumentKey &key, int page, const QByteArray &jpeg) const
{
    pageName(key, page);
    requireJpeg(jpeg, bytesOrigin(key));
    inTransaction([&] {
        lockDocument(key); // a text being stored for the old bytes waits, then sees them gone
        m_server->exec(u"INSERT INTO lauda (processo, documento, numero, imagem) VALUES ($1, $2, $3, $4) "
                       u"ON CONFLICT (processo, documento, numero) DO UPDATE SET imagem = EXCLUDED.imagem"_s,
                       {PgParam::text(key.process), PgParam::text(key.document), PgParam::integer(page),
                        PgParam::bytes(jpeg)});
        forgetText(*m_server, key, page);
        return 0;
    });
    qCDebug(lcDbPages) << "stored" << jpeg.size() << "bytes as" << pageName(key, page);
    notify(PageChange::stored(key, page));
}

int DbPageStore::appendBytes(const DocumentKey &key, const QByteArray &jpeg) const
{
    pageName(key, 1);
    requireJpeg(jpeg, bytesOrigin(key));
    const int stored = inTransaction([&] {
        lockDocument(key);
        const QList<int> numbers = pageNumbers(key);
        int page = 1;
        while (page <= numbers.size() && numbers[page - 1] == page)
            ++page;
        requirePageNumber(page);
        m_server->exec(u"INSERT INTO lauda (processo, documento, numero, imagem) VALUES ($1, $2, $3, $4) "
                       u"ON CONFLICT (processo, documento, numero) DO UPDATE SET imagem = EXCLUDED.imagem"_s,
                       {PgParam::text(key.process), PgParam::text(key.document), PgParam::integer(page),
                        PgParam::bytes(jpeg)});
        return page;
    });
    notify(PageChange::stored(key, stored));
    return stored;
}

bool DbPageStore::removePage(const DocumentKey &key, int page) const
{
    pageName(key, page);
    int count = 0;
    const bool removed = inTransaction([&] {
        lockDocument(key);
        const QList<int> numbers = pageNumbers(key);
        if (!numbers.contains(page))
            return false;
        while (count < numbers.size() && numbers[count] == count + 1)
            ++count;
        const QList<PgParam> codes{PgParam::text(key.process), PgParam::text(key.document)};
        m_server->exec(u"DELETE FROM lauda WHERE processo = $1 AND documento = $2 AND numero = $3"_s,
                       codes + QList<PgParam>{PgParam::integer(page)});
        // One row at a time, upwards: the key is checked at every row, so a single
        // "numero - 1" over all of them could collide half-way.
        for (int next = page + 1; next <= count; ++next)
            m_server->exec(u"UPDATE lauda SET numero = $3 WHERE processo = $1 AND documento = $2 AND numero = $4"_s,
                           codes + QList<PgParam>{PgParam::integer(next - 1), PgParam::integer(next)});
        return true;
    });
    if (removed)
        notify(PageChange::removed(key, page, std::max(page, count)));
    return removed;
}

int DbPageStore::listedCount(const DocumentKey &key) const
{
    const QList<int> numbers = pageNumbers(key);
    int count = 0;
    while (count < numbers.size() && numbers[count] == count + 1)
        ++count;
    return count;
}

bool DbPageStore::exchangePages(const DocumentKey &key, int first) const
{
    if (first < 1 || first >= kMaxPages)
        return false;
    pageName(key, first + 1);
    const bool exchanged = inTransaction([&] {
        lockDocument(key);
        if (listedCount(key) < first + 1)
            return false;
        // The pictures trade rows, each reading the other as it stood before the statement;
        // the numbers stay, so the key, checked row by row, never collides.
        const qint64 changed = m_server->exec(
            u"UPDATE lauda AS l SET imagem = o.imagem FROM lauda AS o "
            u"WHERE l.processo = $1 AND l.documento = $2 AND l.numero IN ($3, $3 + 1) "
            u"AND o.processo = $1 AND o.documento = $2 AND o.numero = 2 * $3 + 1 - l.numero"_s,
            {PgParam::text(key.process), PgParam::text(key.document), PgParam::integer(first)}).affectedRows();
        if (changed != 2)
            throw db::DbError(u"a troca alterou %1 páginas em vez de 2"_s.arg(changed));
        db::ServerPageTexts texts(*m_server);
        if (texts.available())
            texts.followExchange(key.process, key.document, first);
        return true;
    });
    if (exchanged)
        notify(PageChange::exchanged(key, first));
    return exchanged;
}

std::optional<TurnMethod> DbPageStore::turnPage(const DocumentKey &key, int page, Turn turn) const
{
    const QString name = pageName(key, page);
    const std::optional<TurnMethod> method = inTransaction([&]() -> std::optional<TurnMethod> {
        lockDocument(key);
        if (listedCount(key) < page)
            return std::nullopt;
        const QList<PgParam> row{PgParam::text(key.process), PgParam::text(key.document), PgParam::integer(page)};
        const db::pg::PgResult stored = m_server->exec(
            u"SELECT imagem FROM lauda WHERE processo = $1 AND documento = $2 AND numero = $3"_s, row,
            db::pg::ResultFormat::Binary);
        TurnedPage turned;
        try {
            turned = pages::turnPage(stored.bytes(0, 0), turn);
        } catch (const editing::jpeg::JpegError &error) {
            throw PageError(PageError::Kind::Io, u"Não foi possível girar a página %1: %2"_s.arg(name, error.message()));
        }
        m_server->exec(u"UPDATE lauda SET imagem = $4 WHERE processo = $1 AND documento = $2 AND numero = $3"_s,
                       row + QList<PgParam>{PgParam::bytes(turned.bytes)});
        forgetText(*m_server, key, page);
        return turned.method;
    });
    if (method)
        notify(PageChange::turned(key, page));
    return method;
}

MovedPages DbPageStore::moveAside(const QString &condition, const QStringList &codes) const
{
    QList<PgParam> params;
    for (const QString &code : codes)
        params.append(PgParam::text(code));
    return inTransaction([&] {
        const db::pg::PgResult rows = m_server->exec(
            u"WITH movidas AS (DELETE FROM lauda WHERE %1 RETURNING processo, documento, numero, imagem) "
            u"INSERT INTO lauda_excluida (processo, documento, numero, imagem) "
            u"SELECT processo, documento, numero, imagem FROM movidas ORDER BY processo, documento, numero "
            u"RETURNING id, processo, documento, numero"_s.arg(condition),
            params);
        MovedPages moved;
        for (int row = 0; row < rows.rowCount(); ++row)
            moved.add({pageName({rows.text(row, 1), rows.text(row, 2)}, rows.text(row, 3).toInt()), rows.text(row, 0)});
        return moved;
    });
}

MovedPages DbPageStore::moveDocumentToDeleted(const DocumentKey &key) const
{
    requireCode(key.process, u"processo"_s);
    requireCode(key.document, u"documento"_s);
    MovedPages moved = moveAside(u"processo = $1 AND documento = $2"_s, {key.process, key.document});
    if (!moved.isEmpty())
        notify(PageChange::movedAside(key, moved.names()));
    return moved;
}

MovedPages DbPageStore::moveProcessToDeleted(const QString &process) const
{
    requireCode(process, u"processo"_s);
    MovedPages moved = moveAside(u"processo = $1"_s, {process});
    if (!moved.isEmpty())
        notify(PageChange::movedAside({process, QString()}, moved.names()));
    return moved;
}

void DbPageStore::putBack(const MovedPages &moved) const
{
    const QStringList stuck = inTransaction([&] {
        QStringList notBack;
        for (const MovedPages::Move &move : moved.moves()) {
            const QList<PgParam> id{PgParam::integer(move.to.toLongLong())};
            const qint64 back = m_server->exec(
                u"INSERT INTO lauda (processo, documento, numero, imagem) "
                u"SELECT processo, documento, numero, imagem FROM lauda_excluida WHERE id = $1 "
                u"ON CONFLICT (processo, documento, numero) DO NOTHING"_s, id).affectedRows();
            if (back == 1)
                m_server->exec(u"DELETE FROM lauda_excluida WHERE id = $1"_s, id);
            else
                notBack.append(move.name);
        }
        return notBack;
    });
    QStringList back;
    for (const QString &name : moved.names()) {
        if (!stuck.contains(name))
            back.append(name);
    }
    if (!back.isEmpty())
        notify(PageChange::putBack(back));
    if (!stuck.isEmpty())
        throw PageError(PageError::Kind::Io, u"Não foi possível devolver às páginas (o número já está em uso), "
                                             u"ficaram em %1: %2"_s.arg(deletedPlace(), stuck.join(u", "_s)));
}

namespace {

// A session lock on the server: every workstation sees it, and the server drops it when the
// workstation's connection ends, so a program that stopped holds nothing.
class ServerClaim final : public InclusionClaim {
public:
    ServerClaim(db::pg::PgConnection &server, const QObject *lifetime, QString name)
        : m_server(&server), m_lifetime(lifetime), m_guarded(lifetime != nullptr), m_name(std::move(name))
    {
    }
    ~ServerClaim() override
    {
        if (!m_held || (m_guarded && !m_lifetime))
            return; // never held, or the connection closed and the lock with it
        try {
            m_server->exec(u"SELECT pg_advisory_unlock(hashtextextended($1, 0))"_s, {PgParam::text(m_name)});
        } catch (const db::DbError &error) {
            qCWarning(lcDbPages) << "inclusion claim" << m_name << "not released:" << error.message();
        }
    }
    bool take()
    {
        const db::pg::PgResult taken =
            m_server->exec(u"SELECT pg_try_advisory_lock(hashtextextended($1, 0))"_s, {PgParam::text(m_name)});
        m_held = taken.text(0, 0) == u"t";
        return m_held;
    }

private:
    db::pg::PgConnection *m_server;
    QPointer<const QObject> m_lifetime;
    bool m_guarded;
    QString m_name;
    bool m_held = false;
};

} // namespace

std::unique_ptr<InclusionClaim> DbPageStore::claimInclusion(const DocumentKey &key) const
{
    const QString stem = pageName(key, 1).chopped(7);
    auto claim = std::make_unique<ServerClaim>(*m_server, m_lifetime.data(), u"inclusao:"_s + stem);
    try {
        if (!claim->take())
            return nullptr;
    } catch (const db::DbError &error) {
        throw serverError(error);
    }
    return claim;
}

void DbPageStore::moveDocumentPages(const DocumentKey &from, const DocumentKey &to) const
{
    pageName(from, 1);
    pageName(to, 1);
    const qint64 given = inTransaction([&] {
        lockDocument(from);
        lockDocument(to);
        if (!pageNumbers(to).isEmpty())
            throw PageError(PageError::Kind::Io, u"O documento %1 já tem páginas."_s.arg(to.document));
        return m_server->exec(u"UPDATE lauda SET documento = $3 WHERE processo = $1 AND documento = $2"_s,
                              {PgParam::text(from.process), PgParam::text(from.document), PgParam::text(to.document)})
            .affectedRows();
    });
    qCInfo(lcDbPages) << given << "pages of" << from.process << from.document << "given to" << to.document;
    notify(PageChange::given(from, to, int(given)));
}

} // namespace pages
