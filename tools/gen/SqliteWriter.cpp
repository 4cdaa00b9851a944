#include "tools/gen/SqliteWriter.h"

#include "db/DbError.h"
#include "db/SearchIndex.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cstring>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace gen {

namespace {

constexpr long long kRowsPerTransaction = 200000;

} // namespace

class Statement {
public:
    Statement(sqlite3 *db, const char *sql) : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
            fail();
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    void text(int index, string_view value)
    {
        check(sqlite3_bind_text(m_stmt, index, value.data(), int(value.size()), SQLITE_TRANSIENT));
    }
    void integer(int index, long long value) { check(sqlite3_bind_int64(m_stmt, index, value)); }
    void day(int index, int dayNumber) { check(sqlite3_bind_double(m_stmt, index, double(dayNumber))); }
    void null(int index) { check(sqlite3_bind_null(m_stmt, index)); }
    void run()
    {
        if (sqlite3_step(m_stmt) != SQLITE_DONE)
            fail();
        sqlite3_reset(m_stmt);
    }
    QString singleText()
    {
        QString result;
        if (sqlite3_step(m_stmt) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, 0)));
        sqlite3_reset(m_stmt);
        return result;
    }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            fail();
    }
    [[noreturn]] void fail() { throw db::DbError(QString::fromUtf8(sqlite3_errmsg(m_db))); }

    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

void exec(sqlite3 *db, const QString &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(db));
        sqlite3_free(error);
        throw db::DbError(message + u" ("_s + sql + u')');
    }
}

QString pragma(sqlite3 *db, const char *name)
{
    Statement s(db, (string("PRAGMA ") + name).c_str());
    return s.singleText();
}

// Relaxes durability while the rows are written and puts it back however the run ends.
class RelaxedJournal {
public:
    explicit RelaxedJournal(sqlite3 *db)
        : m_db(db), m_journal(pragma(db, "journal_mode")), m_synchronous(pragma(db, "synchronous"))
    {
        exec(db, u"PRAGMA journal_mode=OFF"_s);
        exec(db, u"PRAGMA synchronous=OFF"_s);
        exec(db, u"PRAGMA cache_size=-262144"_s);
    }
    ~RelaxedJournal()
    {
        sqlite3_exec(m_db, "PRAGMA cache_size=-2000", nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, ("PRAGMA synchronous=" + m_synchronous.toStdString()).c_str(), nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, ("PRAGMA journal_mode=" + m_journal.toStdString()).c_str(), nullptr, nullptr, nullptr);
    }
    RelaxedJournal(const RelaxedJournal &) = delete;
    RelaxedJournal &operator=(const RelaxedJournal &) = delete;

private:
    sqlite3 *m_db;
    QString m_journal;
    QString m_synchronous;
};

SqliteWriter::SqliteWriter(const QString &dbPath, const QString &pageFolder, int jobs)
    : m_pageFolder(pageFolder),
      m_pages(jobs, [folder = pageFolder](const PageJob &job, const QByteArray &bytes) {
          QFile file(folder + job.fileName());
          if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
              throw std::runtime_error(QString(u"cannot write "_s + file.fileName() + u": "_s + file.errorString()).toStdString());
      })
{
    const bool existed = QFileInfo::exists(dbPath);
    if (!existed)
        db::Connection::createArchive(dbPath);
    m_connection.openFile(dbPath);
    sqlite3 *handle = m_connection.handle();
    if (existed) {
        for (const char *table : {"orgao", "tipo_arq", "processo", "documento"}) {
            Statement count(handle, (string("SELECT count(*) FROM ") + table).c_str());
            if (count.singleText() != u"0"_s)
                throw db::DbError(dbPath + u" already holds rows in "_s + QLatin1StringView(table)
                                  + u"; cartulo-gen only fills an empty archive"_s);
        }
    }
    // A million documents go in faster without the index's triggers; it is filled
    // in one go afterwards.
    db::searchindex::drop(handle);
    m_relaxed = std::make_unique<RelaxedJournal>(handle);
}

SqliteWriter::~SqliteWriter()
{
    m_insert.reset();
    if (m_table)
        sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    m_relaxed.reset();
}

Statement &SqliteWriter::statementFor(const char *table, const char *sql)
{
    if (m_table != table) {
        commit();
        m_insert = std::make_unique<Statement>(m_connection.handle(), sql);
        m_table = table;
        exec(m_connection.handle(), u"BEGIN"_s);
    } else if (m_rowsInTransaction == kRowsPerTransaction) {
        exec(m_connection.handle(), u"COMMIT"_s);
        exec(m_connection.handle(), u"BEGIN"_s);
        m_rowsInTransaction = 0;
    }
    ++m_rowsInTransaction;
    return *m_insert;
}

void SqliteWriter::commit()
{
    if (!m_table)
        return;
    m_insert.reset();
    exec(m_connection.handle(), u"COMMIT"_s);
    m_table = nullptr;
    m_rowsInTransaction = 0;
}

void SqliteWriter::writeAgency(const AgencyRow &row, const QString &logoPath)
{
    Statement &insert = statementFor("orgao",
                                     "INSERT INTO orgao (nome,cnpj,endereco,bairro,cidade,uf,tel,tel1,email,url,"
                                     "resp1,cargo1,resp2,cargo2,logomarca) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    int column = 0;
    for (const string *value : {&row.nome, &row.cnpj, &row.endereco, &row.bairro, &row.cidade, &row.uf, &row.tel,
                                &row.tel1, &row.email, &row.url, &row.resp1, &row.cargo1, &row.resp2, &row.cargo2})
        insert.text(++column, *value);
    insert.text(++column, logoPath.toStdString()); // the program keeps the path as text
    insert.run();
}

void SqliteWriter::writeType(const TypeRow &row)
{
    Statement &insert = statementFor("tipo_arq", "INSERT INTO tipo_arq (cod,descricao) VALUES (?,?)");
    insert.text(1, row.cod);
    insert.text(2, row.descricao);
    insert.run();
}

void SqliteWriter::writeProcess(const ProcessRow &row)
{
    Statement &insert = statementFor("processo",
                                     "INSERT INTO processo (cod,descricao,numero,data,num_doc) VALUES (?,?,?,?,?)");
    insert.text(1, row.cod);
    insert.text(2, row.descricao);
    insert.text(3, row.numero);
    insert.day(4, row.data);
    insert.integer(5, row.numDoc);
    insert.run();
}

void SqliteWriter::writeDocument(const DocumentRow &row)
{
    Statement &insert = statementFor("documento",
                                     "INSERT INTO documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,"
                                     "data_arquivamento,n_laudas,localidade,parteleira,gaveta,pasta) "
                                     "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)");
    insert.text(1, row.cod);
    insert.text(2, row.processo);
    insert.text(3, row.tpDoc);
    insert.text(4, row.descricao);
    insert.text(5, row.ementa);
    insert.text(6, row.palavrasChave);
    row.data ? insert.day(7, *row.data) : insert.null(7);
    row.dataArquivamento ? insert.day(8, *row.dataArquivamento) : insert.null(8);
    insert.integer(9, row.nLaudas);
    insert.text(10, row.localidade);
    insert.text(11, row.parteleira);
    insert.text(12, row.gaveta);
    insert.text(13, row.pasta);
    insert.run();
}

bool SqliteWriter::keepsPageTexts()
{
    Statement count(m_connection.handle(), "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = 'lauda_texto'");
    return count.singleText() == u"1"_s;
}

void SqliteWriter::writePageText(const PageTextRow &row)
{
    Statement &insert = statementFor("lauda_texto", "INSERT INTO lauda_texto (processo,documento,numero,impressao,texto) "
                                                    "VALUES (?,?,?,?,?)");
    insert.text(1, row.processo);
    insert.text(2, row.documento);
    insert.integer(3, row.numero);
    insert.text(4, row.impressao);
    insert.text(5, row.texto);
    insert.run();
}

void SqliteWriter::addPages(std::vector<PageJob> &&pages)
{
    for (PageJob &job : pages)
        m_pages.add(std::move(job));
    m_pages.throttle(64);
}

void SqliteWriter::finish()
{
    commit();
    // As an archive in use has it after its first search.
    std::fprintf(stderr, "search index: building\n");
    QElapsedTimer clock;
    clock.start();
    db::searchindex::UpdateOptions atOnce;
    atOnce.documentsPerTransaction = 0;
    db::searchindex::update(m_connection.handle(), atOnce);
    std::fprintf(stderr, "search index: built in %.1f s\n", double(clock.elapsed()) / 1000.0);
    m_relaxed.reset();
    m_connection.close();
    std::fprintf(stderr, "pages: waiting for %lld pages to be written\n", m_pages.queued() - m_pages.done());
    m_pages.wait();
    if (!m_pages.error().isEmpty())
        throw std::runtime_error(m_pages.error().toStdString());
}

} // namespace gen
