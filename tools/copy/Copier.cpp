#include "tools/copy/Copier.h"

#include "db/ArchiveTables.h"
#include "db/DbError.h"
#include "db/Description.h"
#include "tools/copy/ArchiveEnd.h"

#include <QFileInfo>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace copying {

namespace {

using db::schema::TableSpec;

/// A line when a stage starts and at every tenth of it.
class Progress {
public:
    Progress(const Say &say, const std::atomic<bool> *cancel, const QString &what, qint64 total)
        : m_say(say), m_cancel(cancel), m_what(what), m_total(total)
    {
        m_say(total > 0 ? u"%1: %2"_s.arg(what, QString::number(total)) : u"%1: nenhum"_s.arg(what));
    }

    void step()
    {
        if (m_cancel && *m_cancel)
            throw db::DbError(u"A cópia foi interrompida."_s);
        ++m_done;
        if (m_total <= 0)
            return;
        const qint64 tenth = std::min<qint64>(10, m_done * 10 / m_total);
        if (tenth > m_shownTenth) {
            m_shownTenth = tenth;
            m_say(u"%1: %2% (%3 de %4)"_s.arg(m_what, QString::number(tenth * 10), QString::number(m_done),
                                             QString::number(m_total)));
        }
    }
    qint64 done() const { return m_done; }

private:
    const Say &m_say;
    const std::atomic<bool> *m_cancel;
    QString m_what;
    qint64 m_total;
    qint64 m_done = 0;
    qint64 m_shownTenth = 0;
};

/// What every stage reports to.
struct Context {
    const Say &say;
    const std::atomic<bool> *cancel;
};

QString shelfName(Shelf shelf)
{
    return shelf == Shelf::Pages ? u"laudas"_s : u"laudas excluídas"_s;
}

QString pageName(const PageId &id, Shelf shelf)
{
    return shelf == Shelf::Pages ? id.stem() + u".jpg"_s
                                 : u"%1.jpg (excluída, %2ª com esse nome)"_s.arg(id.stem(), QString::number(id.copy));
}

// Table order keeps every document after its process, as the server's reference wants.
QList<TableSpec> tablesInOrder()
{
    QList<TableSpec> tables = db::schema::archiveTables();
    std::stable_sort(tables.begin(), tables.end(), [](const TableSpec &a, const TableSpec &b) {
        return a.name != u"documento"_s && b.name == u"documento"_s;
    });
    return tables;
}

bool sameArchive(const db::ArchiveDescription &a, const db::ArchiveDescription &b)
{
    if (a.provider != b.provider)
        return false;
    if (a.provider == db::Provider::PostgreSQL)
        return a.server.host == b.server.host && a.server.port == b.server.port && a.server.database == b.server.database;
    const auto canonical = [](const QString &path) {
        const QFileInfo info(path);
        return info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    };
    return canonical(a.databasePath) == canonical(b.databasePath);
}

qint64 copyRows(ArchiveEnd &source, ArchiveEnd &target, const TableSpec &table, const Context &context)
{
    Progress progress(context.say, context.cancel, u"Copiando %1 (registros)"_s.arg(table.name), source.rowCount(table));
    const auto reader = source.readRows(table);
    const auto writer = target.writeRows(table);
    while (const std::optional<Row> row = reader->next()) {
        writer->write(*row);
        progress.step();
    }
    writer->finish();
    return progress.done();
}

void copyPages(ArchiveEnd &source, ArchiveEnd &target, Shelf shelf, const Context &context)
{
    Progress progress(context.say, context.cancel, u"Copiando %1"_s.arg(shelfName(shelf)), source.pageCount(shelf));
    const auto reader = source.readPages(shelf);
    while (const std::optional<Page> page = reader->next()) {
        target.writePage(shelf, *page);
        progress.step();
    }
}

void verifyRows(ArchiveEnd &source, ArchiveEnd &target, const TableSpec &table, qint64 copied)
{
    const qint64 inSource = source.rowCount(table);
    const qint64 inTarget = target.rowCount(table);
    if (inSource != copied || inTarget != copied)
        throw db::DbError(u"A verificação falhou: a tabela %1 tem %2 registro(s) na origem e %3 no destino."_s.arg(
            table.name, QString::number(inSource), QString::number(inTarget)));
}

qint64 verifyPages(ArchiveEnd &source, ArchiveEnd &target, Shelf shelf, const Context &context)
{
    Progress progress(context.say, context.cancel, u"Verificando %1"_s.arg(shelfName(shelf)), target.pageCount(shelf));
    const auto inSource = source.readDigests(shelf);
    const auto inTarget = target.readDigests(shelf);
    for (;;) {
        const std::optional<PageDigest> a = inSource->next();
        const std::optional<PageDigest> b = inTarget->next();
        if (!a && !b)
            return progress.done();
        if (!b || (a && a->id < b->id))
            throw db::DbError(u"A verificação falhou: a lauda %1 falta no destino."_s.arg(pageName(a->id, shelf)));
        if (!a || b->id < a->id)
            throw db::DbError(u"A verificação falhou: a lauda %1 do destino não está na origem."_s.arg(
                pageName(b->id, shelf)));
        if (a->sha256 != b->sha256)
            throw db::DbError(u"A verificação falhou: a lauda %1 difere entre a origem e o destino."_s.arg(
                pageName(a->id, shelf)));
        progress.step();
    }
}

// Checked before the target is opened, so that a refused copy creates nothing there.
void refuseDocumentsWithoutProcess(ArchiveEnd &source, const QString &targetName)
{
    constexpr int kShown = 5;
    const DocumentsWithoutProcess orphans = source.documentsWithoutProcess(kShown);
    if (orphans.count == 0)
        return;
    throw db::DbError(u"A origem tem %1 documento(s) cujo processo não existe (processo/documento: %2%3); o servidor "
                      u"%4 recusa documentos sem processo. Nada foi copiado. Cadastre os processos que faltam ou "
                      u"exclua esses documentos na origem e copie de novo."_s
                          .arg(QString::number(orphans.count), orphans.first.join(u", "_s),
                               orphans.count > orphans.first.size() ? u", ..."_s : QString(), targetName));
}

CopySummary copyAndVerify(ArchiveEnd &source, ArchiveEnd &target, const Context &context)
{
    CopySummary summary;
    target.beginWriting();
    for (const TableSpec &table : tablesInOrder())
        summary.rows.append({table.name, copyRows(source, target, table, context)});
    for (const Shelf shelf : {Shelf::Pages, Shelf::Aside})
        copyPages(source, target, shelf, context);
    context.say(u"Gravando o destino"_s);
    target.finishWriting();

    context.say(u"Verificando os registros"_s);
    for (const auto &[name, copied] : summary.rows) {
        for (const TableSpec &table : db::schema::archiveTables()) {
            if (table.name == name)
                verifyRows(source, target, table, copied);
        }
    }
    summary.pages = verifyPages(source, target, Shelf::Pages, context);
    summary.pagesAside = verifyPages(source, target, Shelf::Aside, context);
    target.commit();
    return summary;
}

} // namespace

CopySummary copyArchive(const QString &fromUdl, const QString &toUdl, const Say &say,
                        const std::atomic<bool> *cancel)
{
    const db::ArchiveDescription targetDescription = db::readDescription(toUdl);
    if (sameArchive(db::readDescription(fromUdl), targetDescription))
        throw db::DbError(u"A origem e o destino são o mesmo arquivo; nada foi copiado."_s);
    say(u"Origem: %1"_s.arg(fromUdl));
    const std::unique_ptr<ArchiveEnd> source = openArchiveEnd(fromUdl, Role::Source);
    // Another file keeps such documents as they are; only the server's reference refuses them.
    if (targetDescription.provider == db::Provider::PostgreSQL)
        refuseDocumentsWithoutProcess(*source, targetDescription.server.displayName());
    say(u"Destino: %1"_s.arg(toUdl));
    const std::unique_ptr<ArchiveEnd> target = openArchiveEnd(toUdl, Role::Target);
    try {
        CopySummary summary = copyAndVerify(*source, *target, Context{say, cancel});
        for (const QString &note : source->notes())
            say(u"Aviso: "_s + note);
        return summary;
    } catch (const db::DbError &error) {
        const QString left = target->abandon();
        throw db::DbError(left.isEmpty() ? error.message() : error.message() + u'\n' + left);
    } catch (...) {
        target->abandon();
        throw;
    }
}

QString describe(const CopySummary &summary)
{
    QStringList parts;
    for (const auto &[table, rows] : summary.rows)
        parts << u"%1: %2"_s.arg(table, QString::number(rows));
    parts << u"laudas: %1"_s.arg(summary.pages) << u"laudas excluídas: %1"_s.arg(summary.pagesAside);
    return parts.join(u", "_s);
}

} // namespace copying
