// Eight workstations at once: separate processes, each with its own connection through the
// archive's description file, doing what a day at the counters does (documents included
// into the same few processes, pages appended to the same few documents, searches) for a
// minute. Afterwards every document and page a workstation reported is there exactly
// once, numbered without a gap; then they are taken out again, leaving the archive as
// generated.

#include "bench/Figures.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Description.h"
#include "db/Query.h"
#include "editing/JpegImage.h"
#include "pages/PageStore.h"
#include "search/FastSearch.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace bench {

namespace {

constexpr int kWorkstations = 8;

// The places every workstation works on at once, so that they meet.
struct SharedWork {
    QStringList processes;          ///< documents are included here
    QList<pages::DocumentKey> pagesTo; ///< pages are appended here
    QStringList terms{u"contrato"_s, u"licitação"_s, u"merenda"_s, u"sambaqui"_s, u"pavimentação"_s, u"obras"_s};
};

QString code5(int value)
{
    return QString::number(value).rightJustified(5, u'0');
}

SharedWork sharedWork(const ArchivePlan &plan)
{
    SharedWork work;
    for (int p = plan.processes - 3; p <= plan.processes; ++p)
        work.processes << code5(p);
    for (int d = 2; d <= 5; ++d)
        work.pagesTo.append({plan.bigProcess, code5(d)});
    return work;
}

QString udlOf(const Context &context)
{
    return QDir(context.archiveDir).filePath(u"cartulo.udl"_s);
}

QString quoted(const QString &text)
{
    return u'"' + QString(text).replace(u'"', u"\"\""_s) + u'"';
}

QString lastCode(db::Connection &connection, const QString &process)
{
    db::Query query(&connection);
    query.setSql(u"select max(cod) from documento where processo=%1"_s.arg(quoted(process)));
    query.open();
    return query.isNull(0) ? QString() : query.asText(0);
}

int documentCount(db::Connection &connection, const QString &process)
{
    db::Query query(&connection);
    query.setSql(u"select count(*) from documento where processo=%1"_s.arg(quoted(process)));
    query.open();
    return query.asText(0).toInt();
}

// A small scanned page: what a workstation adds a hundred times a minute.
QByteArray samplePage(int workstation)
{
    QImage image(620, 877, QImage::Format_RGB888);
    image.fill(QColor(245, 243, 236));
    QPainter painter(&image);
    painter.setPen(QColor(30, 30, 40));
    for (int line = 0; line < 40; ++line)
        painter.drawText(40, 60 + line * 19, u"Estação %1, linha %2 da folha acrescentada"_s.arg(workstation).arg(line));
    painter.end();
    return editing::jpeg::encode(image);
}

struct Included {
    QString process;
    QString document;
};

/// One workstation's loop; prints one line per step on stdout.
void work(const Context &context, int id, int seconds)
{
    const SharedWork shared = sharedWork(context.plan);
    db::Connection connection;
    connection.openDescription(udlOf(context));
    const std::shared_ptr<pages::PageStore> store = pages::openPageStore(context.archiveDir, &connection);
    const QByteArray page = samplePage(id);
    QRandomGenerator rng(quint32(1000 + id));
    db::Command insert(&connection);
    const Stopwatch total;
    int step = 0;
    while (total.elapsedMs() < seconds * 1000.0) {
        const quint32 choice = rng.bounded(100u);
        Stopwatch clock;
        if (choice < 40) {
            // The next free code of the process; another workstation may take it first.
            const QString process = shared.processes[int(rng.bounded(quint32(shared.processes.size())))];
            for (int attempt = 0;; ++attempt) {
                const QString code = code5(lastCode(connection, process).toInt() + 1);
                insert.setText(u"insert into documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,n_laudas) "
                               u"values (%1,%2,\"00001\",%3,%4,\"bancada\",46000,0)"_s.arg(
                                   quoted(code), quoted(process), quoted(u"OFÍCIO Nº %1 - ESTAÇÃO %2"_s.arg(step).arg(id)),
                                   quoted(u"Incluído na estação %1 durante a medida."_s.arg(id))));
                try {
                    insert.execute();
                    std::printf("include %.3f %s %s %d\n", clock.elapsedMs(), qPrintable(process), qPrintable(code), attempt);
                    break;
                } catch (const db::DbError &error) {
                    if (error.kind() != db::ErrorKind::DuplicateKey || attempt == 50)
                        throw;
                }
            }
        } else if (choice < 70) {
            const pages::DocumentKey key = shared.pagesTo[int(rng.bounded(quint32(shared.pagesTo.size())))];
            const int number = store->appendBytes(key, page);
            std::printf("page %.3f %s %s %d\n", clock.elapsedMs(), qPrintable(key.process), qPrintable(key.document), number);
        } else {
            const QString term = shared.terms[int(rng.bounded(quint32(shared.terms.size())))];
            db::Query query(&connection);
            query.setSql(search::statementToRun(connection, {{QString(), term}}, QString(), QString(), true));
            query.open();
            // The grid shows the first hits at once.
            const bool some = query.fetchMore(50) || !query.isEmpty();
            std::printf("search %.3f %d\n", clock.elapsedMs(), some ? query.fetchedCount() : 0);
        }
        std::fflush(stdout);
        ++step;
    }
}

struct Reports {
    Samples include, page, search, all;
    std::vector<Included> included;
    std::map<QString, QList<int>> pagesAdded; ///< process + document -> numbers
    int retries = 0;
};

void readReport(const QByteArray &output, Reports &reports)
{
    for (const QByteArray &line : output.split('\n')) {
        const QList<QByteArray> f = line.trimmed().split(' ');
        if (f.size() < 2)
            continue;
        const double ms = f[1].toDouble();
        if (f[0] == "include" && f.size() == 5) {
            reports.include.add(ms);
            reports.included.push_back({QString::fromLatin1(f[2]), QString::fromLatin1(f[3])});
            reports.retries += f[4].toInt();
        } else if (f[0] == "page" && f.size() == 5) {
            reports.page.add(ms);
            reports.pagesAdded[QString::fromLatin1(f[2] + f[3])] << f[4].toInt();
        } else if (f[0] == "search" && f.size() == 3) {
            reports.search.add(ms);
        } else {
            continue;
        }
        reports.all.add(ms);
    }
}

struct Before {
    std::map<QString, int> documents; ///< per shared process
    std::map<QString, int> pages;     ///< per shared document (stem)
};

// Every reported inclusion and page exactly once, and nothing else added.
QString checkAfter(const Context &context, const Before &before, const Reports &reports, db::Connection &connection,
                   const pages::PageStore &store)
{
    const SharedWork shared = sharedWork(context.plan);
    std::map<QString, QSet<QString>> codes;
    for (const Included &doc : reports.included) {
        if (codes[doc.process].contains(doc.document))
            throw BenchError(u"document %1/%2 was reported twice"_s.arg(doc.process, doc.document));
        codes[doc.process].insert(doc.document);
    }
    for (const QString &process : shared.processes) {
        const int expected = before.documents.at(process) + int(codes[process].size());
        const int found = documentCount(connection, process);
        if (found != expected)
            throw BenchError(u"process %1 holds %2 documents, %3 expected"_s.arg(process).arg(found).arg(expected));
    }
    for (const pages::DocumentKey &key : shared.pagesTo) {
        const QString stem = key.process + key.document;
        QList<int> numbers = reports.pagesAdded.count(stem) ? reports.pagesAdded.at(stem) : QList<int>();
        std::sort(numbers.begin(), numbers.end());
        for (qsizetype i = 0; i < numbers.size(); ++i) {
            if (numbers[i] != before.pages.at(stem) + int(i) + 1)
                throw BenchError(u"pages of %1: number %2 given twice or skipped"_s.arg(stem).arg(numbers[i]));
        }
        const int found = store.pageCount(key);
        const int expected = before.pages.at(stem) + int(numbers.size());
        if (found != expected)
            throw BenchError(u"document %1 holds %2 pages, %3 expected"_s.arg(stem).arg(found).arg(expected));
        if (store.hasPage(pages::PageStore::pageName(key, expected + 1)))
            throw BenchError(u"document %1 holds a page past the %2 reported"_s.arg(stem).arg(expected));
    }
    return u"%1 documents and %2 pages added, each there exactly once, numbered without a gap"_s
        .arg(reports.included.size())
        .arg(reports.page.count());
}

// Leaves the archive as generated, for the next run.
void takeOut(const Context &context, const Before &before, const Reports &reports, db::Connection &connection,
             const pages::PageStore &store)
{
    db::Command remove(&connection);
    for (const Included &doc : reports.included) {
        remove.setText(u"delete from documento where processo=%1 and cod=%2"_s.arg(quoted(doc.process), quoted(doc.document)));
        remove.execute();
    }
    for (const pages::DocumentKey &key : sharedWork(context.plan).pagesTo) {
        const int keep = before.pages.at(key.process + key.document);
        for (int n = store.pageCount(key); n > keep; --n)
            store.removePage(key, n);
    }
}

} // namespace

db::ServerAddress serverOf(const Context &context)
{
    const db::ArchiveDescription description = db::readDescription(udlOf(context));
    if (description.provider != db::Provider::PostgreSQL)
        throw BenchError(udlOf(context) + u" names no server archive"_s);
    return description.server;
}

int runWorkstation(const Context &context, int id, int seconds)
{
    try {
        work(context, id, seconds);
        return 0;
    } catch (const std::exception &e) {
        const auto *dbError = dynamic_cast<const db::DbError *>(&e);
        const auto *pageError = dynamic_cast<const pages::PageError *>(&e);
        std::printf("error %s\n", qPrintable(dbError ? dbError->message() : pageError ? pageError->message()
                                                                                     : QString::fromLocal8Bit(e.what())));
        return 1;
    }
}

QList<Row> workstationFigures(const Context &context, int seconds)
{
    db::Connection connection;
    connection.openDescription(udlOf(context));
    const std::shared_ptr<pages::PageStore> store = pages::openPageStore(context.archiveDir, &connection);
    const SharedWork shared = sharedWork(context.plan);
    Before before;
    for (const QString &process : shared.processes)
        before.documents[process] = documentCount(connection, process);
    for (const pages::DocumentKey &key : shared.pagesTo)
        before.pages[key.process + key.document] = store->pageCount(key);

    std::vector<std::unique_ptr<QProcess>> stations;
    for (int id = 1; id <= kWorkstations; ++id) {
        auto station = std::make_unique<QProcess>();
        station->setProgram(QCoreApplication::applicationFilePath());
        station->setArguments(context.childArguments
                              + QStringList{u"--workstation"_s, QString::number(id), u"--seconds"_s,
                                            QString::number(seconds)});
        station->setProcessChannelMode(QProcess::SeparateChannels);
        station->start();
        stations.push_back(std::move(station));
    }
    Reports reports;
    QStringList failures;
    const Stopwatch wall;
    for (const auto &station : stations) {
        if (!station->waitForFinished((seconds + 300) * 1000)) {
            station->kill();
            station->waitForFinished();
        }
        const QByteArray output = station->readAllStandardOutput();
        readReport(output, reports);
        if (station->exitStatus() != QProcess::NormalExit || station->exitCode() != 0) {
            const qsizetype error = output.indexOf("error ");
            failures << (error >= 0 ? QString::fromUtf8(output.mid(error + 6)).trimmed()
                                    : QString::fromLocal8Bit(station->readAllStandardError()).trimmed().left(300));
        }
    }
    const double elapsedS = wall.elapsedMs() / 1000.0;

    QString check;
    QString checkFailure;
    try {
        check = checkAfter(context, before, reports, connection, *store);
    } catch (const BenchError &e) {
        checkFailure = e.message();
    }
    takeOut(context, before, reports, connection, *store);
    if (!failures.isEmpty())
        throw BenchError(u"%1 of %2 workstations failed: %3"_s.arg(failures.size()).arg(kWorkstations).arg(failures.first()));
    if (!checkFailure.isEmpty())
        throw BenchError(checkFailure);

    const QString prefix = u"%1 workstations for %2 s: "_s.arg(kWorkstations).arg(seconds);
    auto stepRow = [&](const QString &step, const Samples &samples, double targetMs, const QString &note) {
        Row row;
        row.figure = prefix + step;
        row.samples = samples;
        row.target = u"< %1 ms"_s.arg(targetMs);
        if (samples.isEmpty())
            throw BenchError(u"no %1 was done"_s.arg(step));
        row.met = samples.p95() < targetMs;
        row.note = u"%1 done (%2 per second); %3"_s.arg(samples.count()).arg(samples.count() / elapsedS, 0, 'f', 1).arg(note);
        return row;
    };
    QList<Row> rows;
    rows << stepRow(u"inclusion"_s, reports.include, 200,
                    u"%1 times the next free code was taken meanwhile and the next one used"_s.arg(reports.retries));
    rows << stepRow(u"page addition"_s, reports.page, 200, u"numbered under the document's lock"_s);
    rows << stepRow(u"search (first hits)"_s, reports.search, 500, u"one term among six"_s);
    Row all;
    all.figure = prefix + u"every step"_s;
    all.samples = reports.all;
    all.target = u"nothing lost or doubled"_s;
    all.met = true;
    all.note = u"throughput %1 steps per second; %2"_s.arg(reports.all.count() / elapsedS, 0, 'f', 1).arg(check);
    rows << all;
    return rows;
}

} // namespace bench
