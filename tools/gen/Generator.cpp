#include "tools/gen/Generator.h"

#include "db/DbError.h"
#include "db/Description.h"
#include "editing/JpegImage.h"
#include "tools/gen/ArchivePlan.h"
#include "tools/gen/ArchiveWriter.h"
#include "tools/gen/PgWriter.h"
#include "tools/gen/SqliteWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace gen {

namespace {

constexpr int kTextsPerDocument = 3;

class Progress {
public:
    explicit Progress(const char *what, long long total) : m_what(what), m_total(total) { m_clock.start(); }
    void update(long long done, bool force = false)
    {
        if (!force && m_clock.elapsed() - m_last < 1000)
            return;
        m_last = m_clock.elapsed();
        std::fprintf(stderr, "%s: %lld/%lld (%d%%), %.1f s\n", m_what, done, m_total,
                     m_total ? int(done * 100 / m_total) : 100, double(m_clock.elapsed()) / 1000.0);
    }

private:
    const char *m_what;
    long long m_total;
    QElapsedTimer m_clock;
    qint64 m_last = -1000000;
};

QString outputDatabase(const Options &options)
{
    return QDir(programDir(options)).absoluteFilePath(u"dados/cartulo.db"_s);
}

void makeFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        throw std::runtime_error(QString(u"cannot create "_s + path).toStdString());
}

QString writeLogo(const ArchivePlan &plan, const AgencyRow &agency, const QString &dir)
{
    const QString path = QDir(dir).absoluteFilePath(u"dados/logo.jpg"_s);
    const QByteArray bytes = editing::jpeg::encode(plan.logo(agency), editing::jpeg::kPageQuality);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error(QString(u"cannot write "_s + path).toStdString());
    return path;
}

} // namespace

std::unique_ptr<ArchiveWriter> openWriter(const Options &options)
{
    const QString dir = programDir(options);
    const QString pageFolder = QDir(dir).absoluteFilePath(u"dados/laudas"_s) + u'/';
    if (options.target.isEmpty()) {
        const QString dbPath = outputDatabase(options);
        if (QFileInfo::exists(dbPath))
            throw db::DbError(dbPath + u" already exists; cartulo-gen never writes into an existing archive"_s);
        makeFolder(pageFolder);
        return std::make_unique<SqliteWriter>(dbPath, pageFolder, options.jobs);
    }
    const db::ArchiveDescription description = db::readDescription(options.target);
    if (description.provider == db::Provider::PostgreSQL) {
        makeFolder(QDir(dir).absoluteFilePath(u"dados"_s));
        return std::make_unique<PgWriter>(description.server, options.jobs);
    }
    makeFolder(pageFolder);
    makeFolder(QFileInfo(description.databasePath).absolutePath());
    return std::make_unique<SqliteWriter>(description.databasePath, pageFolder, options.jobs);
}

void generate(const Options &options)
{
    QElapsedTimer clock;
    clock.start();
    const ArchivePlan plan(options);
    const std::unique_ptr<ArchiveWriter> writer = openWriter(options);

    const AgencyRow agency = plan.agency();
    writer->writeAgency(agency, writeLogo(plan, agency, programDir(options)));
    for (const TypeRow &type : plan.types())
        writer->writeType(type);
    for (int p = 1; p <= plan.processCount(); ++p)
        writer->writeProcess(plan.process(p));
    Progress progress("documents", plan.documentCount());
    long long index = 0;
    // Documents spread over the archive, three page texts each.
    const long long textDocuments = (options.pageTexts + kTextsPerDocument - 1) / kTextsPerDocument;
    const long long stride = textDocuments > 0 ? std::max<long long>(1, plan.documentCount() / textDocuments) : 0;
    std::vector<std::pair<string, string>> withTexts;
    plan.forEachDocument([&](const DocumentRow &row, std::vector<PageJob> &&pages) {
        if (stride > 0 && index % stride == 0 && (long long)withTexts.size() < textDocuments)
            withTexts.emplace_back(row.processo, row.cod);
        writer->writeDocument(row);
        if (!pages.empty())
            writer->addPages(std::move(pages));
        if ((++index & 1023) == 0)
            progress.update(index);
    });
    progress.update(index, true);
    if (!withTexts.empty() && !writer->keepsPageTexts()) {
        std::fprintf(stderr, "page texts: none written, this archive has no page-text table (lauda_texto)\n");
        withTexts.clear();
    }
    Progress texts("page texts", options.pageTexts);
    long long written = 0;
    for (const auto &[processo, documento] : withTexts) {
        for (int page = 1; page <= kTextsPerDocument && written < options.pageTexts; ++page, ++written) {
            writer->writePageText(plan.pageText(processo, documento, page));
            if ((written & 1023) == 0)
                texts.update(written);
        }
    }
    if (written > 0)
        texts.update(written, true);
    writer->finish();

    if (options.target.isEmpty()) {
        const QString udl = QDir(programDir(options)).absoluteFilePath(u"cartulo.udl"_s);
        if (!QFileInfo::exists(udl))
            db::writeDescriptionFile(udl, outputDatabase(options));
    }
    std::fprintf(stderr, "done: %d processes, %d documents, %d types (%d type codes missing), "
                         "%lld pages (%.1f MB) in %.1f s\n",
                 options.processes, options.documents, options.types, options.missingTypes, writer->pagesWritten(),
                 double(writer->pageBytes()) / 1e6, double(clock.elapsed()) / 1000.0);
}

} // namespace gen
