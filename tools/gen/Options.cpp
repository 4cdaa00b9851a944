#include "tools/gen/Options.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace gen {

void printUsage(FILE *to)
{
    std::fputs(
        "usage: cartulo-gen OUTDIR [options]\n"
        "       cartulo-gen --target FILE.udl [options]\n"
        "\n"
        "Creates a synthetic Cartulo archive in OUTDIR: dados/cartulo.db, dados/laudas/,\n"
        "dados/logo.jpg and cartulo.udl. The same options and seed give the same archive.\n"
        "OUTDIR must not hold a database yet.\n"
        "\n"
        "With --target, fills the archive the description file names instead: a file\n"
        "archive (made when missing) or a database on a PostgreSQL server (the archive's\n"
        "tables made when it has none); an archive that already holds rows is refused.\n"
        "Pages go to dados/laudas/ beside the description file, or to the server's page\n"
        "table. Both kinds get the same rows and pages for the same options.\n"
        "\n"
        "  --target FILE.udl        the archive to fill (instead of OUTDIR)\n"
        "  --processes N            processes (default 20000)\n"
        "  --documents N            documents, spread over the processes (default 1000000)\n"
        "  --types N                document types in tipo_arq (default 10000)\n"
        "  --missing-types N        type codes used by documents but absent from tipo_arq\n"
        "                           (default types/50, at least 1)\n"
        "  --pages-docs N           documents, spread over the archive, that get 1 to 30\n"
        "                           JPEG pages each (default 300)\n"
        "  --page-texts N           recognised page texts (lauda_texto), made without images:\n"
        "                           pages 1 to 3 of documents spread over the archive\n"
        "                           (default 0)\n"
        "  --page-dpi DPI           draw those pages at DPI on A4 (default: one document in\n"
        "                           four at 300 dpi, the others at 150 dpi)\n"
        "  --process-docs P:N       process P holds exactly N documents (repeatable)\n"
        "  --pages-for P:D:N[@DPI]  document D of process P gets exactly N pages (at most\n"
        "                           999), drawn at DPI dots per inch on A4 (repeatable)\n"
        "  --seed S                 seed of every choice (default 1)\n"
        "  --until YYYY-MM-DD       latest date written (default today); dates start in 1970\n"
        "  --jobs N                 threads drawing pages (default: one per core)\n"
        "  --help                   this text\n",
        to);
}

namespace {

int parseInt(const QString &text, const QString &what, int min, int max)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < min || value > max)
        throw UsageError{u"%1: expected a whole number from %2 to %3, got \"%4\""_s.arg(what).arg(min).arg(max).arg(text)};
    return int(value);
}

// A page's name has three digits for its number: the page store refuses the 1000th.
constexpr int kMaxPagesPerDocument = 999;

PagesFor parsePagesFor(const QString &text)
{
    // P:D:N or P:D:N@DPI
    QString option = text;
    PagesFor result;
    const qsizetype at = option.indexOf(u'@');
    if (at >= 0) {
        result.dpi = parseInt(option.mid(at + 1), u"--pages-for DPI"_s, 20, 600);
        option.truncate(at);
    }
    const QStringList parts = option.split(u':');
    if (parts.size() != 3)
        throw UsageError{u"--pages-for: expected PROCESS:DOCUMENT:PAGES[@DPI], got \"%1\""_s.arg(text)};
    result.process = parseInt(parts[0], u"--pages-for process"_s, 1, kMaxCode);
    result.document = parseInt(parts[1], u"--pages-for document"_s, 1, kMaxCode);
    result.pages = parseInt(parts[2], u"--pages-for pages"_s, 1, std::numeric_limits<int>::max());
    if (result.pages > kMaxPagesPerDocument)
        throw UsageError{u"--pages-for: a document holds at most %1 pages (page numbers have three digits), got %2"_s
                             .arg(kMaxPagesPerDocument)
                             .arg(result.pages)};
    return result;
}

} // namespace

std::optional<Options> parseOptions(const QStringList &args)
{
    Options o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                throw UsageError{arg + u" needs a value"_s};
            return args[++i];
        };
        if (arg == u"--help"_s || arg == u"-h"_s) {
            printUsage(stdout);
            return std::nullopt;
        } else if (arg == u"--processes"_s) {
            o.processes = parseInt(value(), arg, 1, kMaxCode);
        } else if (arg == u"--documents"_s) {
            o.documents = parseInt(value(), arg, 0, 50'000'000);
        } else if (arg == u"--types"_s) {
            o.types = parseInt(value(), arg, 1, kMaxCode);
        } else if (arg == u"--missing-types"_s) {
            o.missingTypes = parseInt(value(), arg, 0, kMaxCode);
        } else if (arg == u"--page-texts"_s) {
            o.pageTexts = parseInt(value(), arg, 0, 100'000'000);
        } else if (arg == u"--pages-docs"_s) {
            o.pagesDocs = parseInt(value(), arg, 0, 10'000'000);
        } else if (arg == u"--page-dpi"_s) {
            o.pageDpi = parseInt(value(), arg, 20, 600);
        } else if (arg == u"--process-docs"_s) {
            const QString option = value();
            const QStringList parts = option.split(u':');
            if (parts.size() != 2)
                throw UsageError{u"--process-docs: expected PROCESS:DOCUMENTS, got \"%1\""_s.arg(option)};
            o.processDocs[parseInt(parts[0], u"--process-docs process"_s, 1, kMaxCode)] =
                parseInt(parts[1], u"--process-docs documents"_s, 0, kMaxCode);
        } else if (arg == u"--pages-for"_s) {
            o.pagesFor.push_back(parsePagesFor(value()));
        } else if (arg == u"--seed"_s) {
            bool ok = false;
            const QString text = value();
            o.seed = text.toULongLong(&ok);
            if (!ok)
                throw UsageError{u"--seed: expected a whole number, got \"%1\""_s.arg(text)};
        } else if (arg == u"--until"_s) {
            const QString text = value();
            o.until = QDate::fromString(text, Qt::ISODate);
            if (!o.until.isValid() || o.until.year() < 1971)
                throw UsageError{u"--until: expected a date YYYY-MM-DD after 1970, got \"%1\""_s.arg(text)};
        } else if (arg == u"--target"_s) {
            if (!o.target.isEmpty())
                throw UsageError{u"only one --target may be given"_s};
            o.target = value();
        } else if (arg == u"--jobs"_s) {
            o.jobs = parseInt(value(), arg, 1, 64);
        } else if (arg.startsWith(u'-')) {
            throw UsageError{u"unknown option "_s + arg};
        } else if (o.outDir.isEmpty()) {
            o.outDir = arg;
        } else {
            throw UsageError{u"only one output folder may be given (also got \"%1\")"_s.arg(arg)};
        }
    }
    if (o.outDir.isEmpty() == o.target.isEmpty())
        throw UsageError{o.target.isEmpty() ? u"no output folder given"_s
                                            : u"give either an output folder or --target, not both"_s};
    if (o.missingTypes < 0)
        o.missingTypes = std::max(1, o.types / 50);
    if (o.types + o.missingTypes > kMaxCode)
        throw UsageError{u"--types plus --missing-types must stay within five-digit codes"_s};
    for (const auto &[process, count] : o.processDocs) {
        if (process > o.processes)
            throw UsageError{u"--process-docs: there are only %1 processes"_s.arg(o.processes)};
    }
    for (const PagesFor &p : o.pagesFor) {
        if (p.process > o.processes)
            throw UsageError{u"--pages-for: there are only %1 processes"_s.arg(o.processes)};
    }
    if (o.jobs == 0)
        o.jobs = std::max(1, QThread::idealThreadCount());
    return o;
}

QString programDir(const Options &options)
{
    return options.target.isEmpty() ? QDir(options.outDir).absolutePath()
                                    : QFileInfo(options.target).absoluteDir().absolutePath();
}

} // namespace gen
