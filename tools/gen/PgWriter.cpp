#include "tools/gen/PgWriter.h"

#include "db/DbError.h"
#include "editing/JpegImage.h"
#include "db/PageTextSearchSchema.h"
#include "db/pg/PgSchema.h"

#include <QElapsedTimer>
#include <QImage>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace gen {

namespace {

QString text(const std::string &value)
{
    return QString::fromStdString(value);
}

// A database without the archive gets it; one with it must hold no rows at all.
void prepareArchive(db::pg::PgConnection &server)
{
    const bool present = !server.exec(u"SELECT to_regclass('%1') IS NULL"_s.arg(db::pg::schema::kFormatTable))
                              .text(0, 0)
                              .startsWith(u't');
    if (!present) {
        db::pg::schema::create(server);
        return;
    }
    db::pg::schema::checkIsArchive(server);
    for (const QString &table : {u"orgao"_s, u"tipo_arq"_s, u"processo"_s, u"documento"_s,
                                 db::pg::schema::kPagesTable.toString(), db::pg::schema::kPagesAsideTable.toString()}) {
        if (server.exec(u"SELECT EXISTS (SELECT 1 FROM %1)"_s.arg(table)).text(0, 0) == u"t"_s)
            throw db::DbError(u"%1 already holds rows in %2; cartulo-gen only fills an empty archive"_s.arg(
                server.address().displayName(), table));
    }
}

} // namespace

PgWriter::PgWriter(const db::ServerAddress &address, int jobs) : m_jobs(jobs), m_server(address)
{
    prepareArchive(m_server);
    m_transaction.emplace(m_server);
    // Built once over a million rows instead of row by row; the key and the checks stay.
    const db::pg::PgResult indexes = m_server.exec(
        u"SELECT i.indexname, i.indexdef FROM pg_indexes i "
        u"WHERE i.schemaname = current_schema() AND i.tablename IN ('documento', 'lauda_texto') "
        u"AND NOT EXISTS (SELECT 1 FROM pg_constraint c WHERE c.conname = i.indexname) ORDER BY 1"_s);
    for (int row = 0; row < indexes.rowCount(); ++row) {
        m_documentIndexes << indexes.text(row, 1);
        m_server.exec(u"DROP INDEX %1"_s.arg(indexes.text(row, 0)));
    }
}

PgWriter::~PgWriter()
{
    m_copy.reset(); // aborts an unfinished copy before the transaction rolls back
}

db::pg::PgCopy &PgWriter::copyInto(const QString &table, const QStringList &columns)
{
    if (m_copyTable != table) {
        endCopy();
        m_copy = std::make_unique<db::pg::PgCopy>(m_server, table, columns);
        m_copyTable = table;
    }
    return *m_copy;
}

void PgWriter::endCopy()
{
    if (m_copy)
        m_copy->finish();
    m_copy.reset();
    m_copyTable.clear();
}

void PgWriter::writeAgency(const AgencyRow &row, const QString &logoPath)
{
    db::pg::PgCopy &copy = copyInto(u"orgao"_s, {u"nome"_s, u"cnpj"_s, u"endereco"_s, u"bairro"_s, u"cidade"_s,
                                                 u"uf"_s, u"tel"_s, u"tel1"_s, u"email"_s, u"url"_s, u"resp1"_s,
                                                 u"cargo1"_s, u"resp2"_s, u"cargo2"_s, u"logomarca"_s});
    for (const std::string *value : {&row.nome, &row.cnpj, &row.endereco, &row.bairro, &row.cidade, &row.uf,
                                     &row.tel, &row.tel1, &row.email, &row.url, &row.resp1, &row.cargo1,
                                     &row.resp2, &row.cargo2})
        copy.text(text(*value));
    copy.bytes(logoPath.toUtf8()); // the path as text, as the file archive keeps it
    copy.endRow();
}

void PgWriter::writeType(const TypeRow &row)
{
    db::pg::PgCopy &copy = copyInto(u"tipo_arq"_s, {u"cod"_s, u"descricao"_s});
    copy.text(text(row.cod)).text(text(row.descricao));
    copy.endRow();
}

void PgWriter::writeProcess(const ProcessRow &row)
{
    db::pg::PgCopy &copy =
        copyInto(u"processo"_s, {u"cod"_s, u"descricao"_s, u"numero"_s, u"data"_s, u"num_doc"_s});
    copy.text(text(row.cod)).text(text(row.descricao)).text(text(row.numero)).real(row.data).integer(row.numDoc);
    copy.endRow();
}

void PgWriter::writeDocument(const DocumentRow &row)
{
    db::pg::PgCopy &copy = copyInto(u"documento"_s, {u"cod"_s, u"processo"_s, u"tp_doc"_s, u"descricao"_s,
                                                     u"ementa"_s, u"palavras_chave"_s, u"data"_s,
                                                     u"data_arquivamento"_s, u"n_laudas"_s, u"localidade"_s,
                                                     u"parteleira"_s, u"gaveta"_s, u"pasta"_s});
    copy.text(text(row.cod)).text(text(row.processo)).text(text(row.tpDoc)).text(text(row.descricao));
    copy.text(text(row.ementa)).text(text(row.palavrasChave));
    row.data ? copy.real(*row.data) : copy.null();
    row.dataArquivamento ? copy.real(*row.dataArquivamento) : copy.null();
    copy.integer(row.nLaudas);
    copy.text(text(row.localidade)).text(text(row.parteleira)).text(text(row.gaveta)).text(text(row.pasta));
    copy.endRow();
}

bool PgWriter::keepsPageTexts()
{
    endCopy(); // the question goes through the connection a copy holds
    return m_server.exec(u"SELECT to_regclass('lauda_texto') IS NOT NULL"_s).text(0, 0) == u"t"_s;
}

void PgWriter::writePageText(const PageTextRow &row)
{
    if (!m_stagingTexts) {
        endCopy();
        // Each text belongs to a page row on a server; the pages are stored last.
        m_server.exec(u"CREATE TEMPORARY TABLE texto_gerado (processo text, documento text, numero smallint, "
                      u"impressao text, texto text) ON COMMIT DROP"_s);
        m_stagingTexts = true;
    }
    db::pg::PgCopy &copy = copyInto(u"texto_gerado"_s, {u"processo"_s, u"documento"_s, u"numero"_s, u"impressao"_s,
                                                        u"texto"_s});
    copy.text(text(row.processo)).text(text(row.documento)).integer(row.numero).text(text(row.impressao));
    copy.text(text(row.texto));
    copy.endRow();
}

void PgWriter::addPages(std::vector<PageJob> &&pages)
{
    // Drawn after the rows: the pages go through this connection, which the rows' copy holds.
    for (PageJob &job : pages)
        m_pageJobs.push_back(std::move(job));
}

void PgWriter::finish()
{
    endCopy();
    std::fprintf(stderr, "pages: %zu to draw and store\n", m_pageJobs.size());
    db::pg::PgCopy &copy = copyInto(db::pg::schema::kPagesTable.toString(),
                                    {u"processo"_s, u"documento"_s, u"numero"_s, u"imagem"_s});
    encodeInOrder(m_pageJobs, m_jobs, [&](const PageJob &job, const QByteArray &bytes) {
        copy.text(job.process).text(job.document).integer(job.page).bytes(bytes);
        copy.endRow();
        ++m_pagesWritten;
        m_pageBytes += bytes.size();
    });
    endCopy();
    if (m_stagingTexts) {
        // A text's page that was not drawn gets a small blank one, as the texts come without images.
        QImage blank(8, 8, QImage::Format_RGB32);
        blank.fill(Qt::white);
        m_server.exec(u"INSERT INTO lauda (processo, documento, numero, imagem) SELECT t.processo, t.documento, "
                      u"t.numero, $1 FROM texto_gerado t WHERE NOT EXISTS (SELECT 1 FROM lauda l WHERE "
                      u"l.processo = t.processo AND l.documento = t.documento AND l.numero = t.numero)"_s,
                      {db::pg::PgParam::bytes(editing::jpeg::encode(blank))});
        m_server.exec(u"INSERT INTO lauda_texto (processo, documento, numero, impressao, texto) "
                      u"SELECT processo, documento, numero, impressao, texto FROM texto_gerado"_s);
    }
    // Built once over all the rows instead of row by row.
    QElapsedTimer clock;
    clock.start();
    std::fprintf(stderr, "document and page text indexes: building\n");
    for (const QString &definition : std::as_const(m_documentIndexes))
        m_server.exec(definition);
    std::fprintf(stderr, "document and page text indexes: built in %.1f s\n", double(clock.elapsed()) / 1000.0);
    m_transaction->commit();
    m_transaction.reset();
    // The page texts' search indexes, as the program's first opening would make them.
    const QString missing = db::pagetextsearch::ensure(m_server);
    if (!missing.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(missing));
    // Plans over fresh tables need their statistics.
    m_server.exec(u"ANALYZE"_s);
}

} // namespace gen
