#include "ocr/PageSupply.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgResult.h"
#include "pages/FolderPageStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QLockFile>
#include <QRegularExpression>

#include <map>
#include <set>

using namespace Qt::StringLiterals;

namespace ocr {

namespace {

QString entryName(const db::PagePlace &place)
{
    return pages::PageStore::pageName({place.process, place.document}, place.page);
}

// Pages as files beside a file archive; texts in the archive file.
class FolderSupply final : public PageSupply {
public:
    explicit FolderSupply(const ArchiveSource &source) : m_store(source.programDir)
    {
        m_connection.openFile(source.databasePath);
        m_texts = db::PageTexts::on(m_connection);
    }

    QString whyNot() override
    {
        return m_texts->available() ? QString() : u"O arquivo não tem a tabela dos textos das páginas."_s;
    }

    Waiting waiting(int limit) override
    {
        std::set<std::tuple<QString, QString, int>> read;
        for (const auto &[place, impressao] : m_texts->fingerprints())
            read.emplace(place.process, place.document, place.page);
        Waiting result;
        for (const auto &[document, numbers] : pagesInFolder()) {
            // Only the listed pages, 1..k without a gap, are the document's.
            for (int page = 1; numbers.contains(page); ++page) {
                if (read.contains({document.first, document.second, page}))
                    continue;
                ++result.total;
                if (int(result.places.size()) < limit)
                    result.places.push_back({document.first, document.second, page});
            }
        }
        return result;
    }

    std::optional<QByteArray> bytes(const db::PagePlace &place) override { return m_store.pageBytes(entryName(place)); }

    std::unique_ptr<PageClaim> claim(const db::PagePlace &place) override
    {
        const QString folder = m_store.folder() + u"reconhecimento/"_s;
        if (!QDir().mkpath(folder))
            throw db::DbError(u"Não foi possível criar a pasta %1"_s.arg(QDir::toNativeSeparators(folder)));
        auto claim = std::make_unique<FileClaim>(folder + entryName(place) + u".lock"_s);
        return claim->take() ? std::move(claim) : nullptr;
    }

    bool hasText(const db::PagePlace &place) override { return m_texts->find(place).has_value(); }

    bool storeIfCurrent(const db::PagePlace &place, const db::PageText &text) override
    {
        bool stored = false;
        // Under the folder's lock no page is renumbered or exchanged, and those that were
        // have had their texts moved: the page seen now is the one the text is stored for.
        m_store.whileLocked([&] {
            const std::optional<QByteArray> now = bytes(place);
            if (!now || fingerprint(*now) != text.impressao)
                return;
            m_texts->store(place, text);
            stored = true;
        });
        return stored;
    }

private:
    class FileClaim final : public PageClaim {
    public:
        explicit FileClaim(const QString &path) : m_lock(path) { m_lock.setStaleLockTime(0); }
        bool take() { return m_lock.tryLock(0); }

    private:
        QLockFile m_lock;
    };

    // Every page file's number, by document; one pass over the folder.
    std::map<std::pair<QString, QString>, std::set<int>> pagesInFolder() const
    {
        static const QRegularExpression pageName(u"^(\\d{5})(\\d{5})(\\d{3})\\.jpg$"_s);
        std::map<std::pair<QString, QString>, std::set<int>> found;
        QDirIterator files(m_store.folder(), {u"*.jpg"_s}, QDir::Files);
        while (files.hasNext()) {
            files.next();
            const QRegularExpressionMatch match = pageName.match(files.fileName());
            if (match.hasMatch())
                found[{match.captured(1), match.captured(2)}].insert(match.captured(3).toInt());
        }
        return found;
    }

    db::Connection m_connection;
    pages::FolderPageStore m_store;
    std::unique_ptr<db::PageTexts> m_texts;
};

// Pages and texts on the archive's server, which several workstations may be reading.
class ServerSupply final : public PageSupply {
public:
    explicit ServerSupply(const db::ServerAddress &address) : m_server(address), m_texts(m_server) {}

    QString whyNot() override
    {
        if (!m_texts.available())
            return u"O servidor não tem a tabela dos textos das páginas; o dono do banco de dados pode "
                   u"criá-la com cartulo-mkdb --atualizar."_s;
        if (!m_texts.mayWrite())
            return u"Este usuário do servidor não pode gravar os textos das páginas."_s;
        return {};
    }

    Waiting waiting(int limit) override
    {
        Waiting result;
        result.total = m_texts.waitingCount();
        for (const db::PagePlace &place : m_texts.waiting(limit))
            result.places.push_back(place);
        return result;
    }

    std::optional<QByteArray> bytes(const db::PagePlace &place) override
    {
        const db::pg::PgResult rows = m_server.exec(
            u"SELECT imagem FROM lauda WHERE processo = $1 AND documento = $2 AND numero = $3"_s,
            {db::pg::PgParam::text(place.process), db::pg::PgParam::text(place.document),
             db::pg::PgParam::integer(place.page)},
            db::pg::ResultFormat::Binary);
        if (rows.rowCount() == 0)
            return std::nullopt;
        return rows.bytes(0, 0).toByteArray();
    }

    std::unique_ptr<PageClaim> claim(const db::PagePlace &place) override
    {
        auto claim = std::make_unique<ServerClaim>(m_server, u"texto:"_s + entryName(place));
        return claim->take() ? std::move(claim) : nullptr;
    }

    bool hasText(const db::PagePlace &place) override { return m_texts.find(place).has_value(); }

    bool storeIfCurrent(const db::PagePlace &place, const db::PageText &text) override
    {
        return m_texts.storeIfCurrent(place, text);
    }

private:
    // A session lock every workstation sees; the server drops it if this one stops.
    class ServerClaim final : public PageClaim {
    public:
        ServerClaim(db::pg::PgConnection &server, QString name) : m_server(&server), m_name(std::move(name)) {}
        ~ServerClaim() override
        {
            if (!m_held)
                return;
            try {
                m_server->exec(u"SELECT pg_advisory_unlock(hashtextextended($1, 0))"_s, {db::pg::PgParam::text(m_name)});
            } catch (const db::DbError &) {
                // the connection is gone, and the lock with it
            }
        }
        bool take()
        {
            m_held = m_server->exec(u"SELECT pg_try_advisory_lock(hashtextextended($1, 0))"_s,
                                    {db::pg::PgParam::text(m_name)}).text(0, 0) == u"t"_s;
            return m_held;
        }

    private:
        db::pg::PgConnection *m_server;
        QString m_name;
        bool m_held = false;
    };

    db::pg::PgConnection m_server;
    db::ServerPageTexts m_texts;
};

} // namespace

ArchiveSource ArchiveSource::of(const QString &programDir, const db::Connection &connection)
{
    ArchiveSource source;
    source.programDir = programDir;
    if (connection.server())
        source.server = connection.server()->address();
    else
        source.databasePath = connection.databasePath();
    return source;
}

std::unique_ptr<PageSupply> PageSupply::open(const ArchiveSource &source)
{
    if (source.server)
        return std::make_unique<ServerSupply>(*source.server);
    return std::make_unique<FolderSupply>(source);
}

QString fingerprint(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace ocr
