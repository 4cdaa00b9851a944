// The history: opening the "Histórico" of a document with a thousand changes, and what
// recording a change in the history adds to the change.

#include "bench/Figures.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Exec.h"
#include "db/HistoryRead.h"
#include "db/Query.h"
#include "db/pg/PgConnection.h"
#include "editing/HistoryDialog.h"

#include <QApplication>
#include <QDir>
#include <QScopeGuard>
#include <QStandardItemModel>

using namespace Qt::StringLiterals;

namespace bench {

namespace {

constexpr int kChanges = 1000;

struct Document {
    DocumentRef ref;
    QString localidade; ///< the field the changes vary, given back at the end
};

QString udlOf(const Context &context)
{
    return QDir(context.archiveDir).filePath(u"cartulo.udl"_s);
}

QString firstValue(db::Connection &connection, const QString &sql)
{
    db::Query query(&connection);
    query.setSql(sql);
    query.open();
    if (query.isEmpty())
        throw BenchError(u"no row for: "_s + sql);
    return query.asText(0);
}

// The last document of the big process: one the screens' figures do not change.
Document chosenDocument(const Context &context, db::Connection &connection)
{
    db::Query query(&connection);
    query.setSql(u"select cod, localidade from documento where processo = \"%1\" order by cod desc"_s.arg(
        context.plan.bigProcess));
    query.open();
    if (query.isEmpty())
        throw BenchError(u"process %1 has no documents"_s.arg(context.plan.bigProcess));
    return {{context.plan.bigProcess, query.asText(0)}, query.asText(1)};
}

int historyRows(db::Connection &connection, const DocumentRef &document)
{
    return firstValue(connection, u"select count(*) from historico_registro where registro = '%1'"_s.arg(document.stem()))
        .toInt();
}

QString moveTo(const DocumentRef &document, const QString &localidade)
{
    return u"UPDATE documento SET localidade=\"%1\" Where processo=\"%2\" and cod=\"%3\""_s.arg(
        localidade, document.process, document.document);
}

// The document gets its thousand changes once, through the program's connection, each a
// change of its own; the history keeps them (it is append-only), the row is given back
// its place.
int makeChanges(db::Connection &connection, const Document &document)
{
    const int present = historyRows(connection, document.ref);
    for (int i = present; i < kChanges; ++i)
        connection.execute(moveTo(document.ref, u"Sala %1"_s.arg(i)));
    if (present < kChanges)
        connection.execute(moveTo(document.ref, document.localidade));
    return historyRows(connection, document.ref);
}

Row openingFigure(const Context &context, db::Connection &connection, const Document &document, int rows)
{
    Row row;
    row.figure = u"opening the history of a document with 1,000 changes"_s;
    row.target = u"< 100 ms"_s;
    const QString title = u"Histórico do documento %1 do processo %2"_s.arg(document.ref.document, document.ref.process);
    qsizetype shown = 0;
    Samples reading;
    resetPeakMemory();
    // As the button does: the entries read, the dialog made and shown.
    const auto open = [&] {
        const Stopwatch clock;
        const std::vector<db::history::Entry> entries =
            db::history::ofDocument(connection, document.ref.process, document.ref.document);
        reading.add(clock.elapsedMs());
        editing::HistoryDialog dialog(title, entries);
        dialog.show();
        QApplication::processEvents();
        shown = dialog.model()->rowCount();
    };
    // The program has shown its windows before: the first dialog of the process, which
    // loads fonts and styles, is not counted.
    open();
    reading = {};
    row.samples = measure(context.runs, {}, open);
    row.peakMb = peakMemoryMb();
    row.met = row.samples.p95() < 100;
    row.note = u"document %1, %2 history rows, %3 listed; reading them: median %4, p95 %5"_s.arg(document.ref.stem())
                   .arg(rows)
                   .arg(shown)
                   .arg(formatMs(reading.median()), formatMs(reading.p95()));
    return row;
}

// Changes of one row through the program's connection, timed one by one; each moves the
// document to another place.
Samples timedChanges(const Context &context, db::Connection &connection, const DocumentRef &document,
                     const QString &tag)
{
    int i = 0;
    return measure(context.runs * 5, {}, [&] { connection.execute(moveTo(document, u"%1 %2"_s.arg(tag).arg(i++))); });
}

// With and without the history's trigger, inside one transaction undone at the end: the
// archive and its history are left as they were. The commit is not timed (the same for both).
std::pair<Samples, Samples> changeCosts(const Context &context, db::Connection &connection, const DocumentRef &document)
{
    const std::function<void(const QString &)> run = [&connection](const QString &sql) {
        if (db::pg::PgConnection *server = connection.server())
            server->exec(sql);
        else
            db::exec(connection.handle(), sql);
    };
    run(u"BEGIN"_s);
    const auto undo = qScopeGuard([&run] {
        try {
            run(u"ROLLBACK"_s);
        } catch (const db::DbError &) {
            // a connection that broke has undone the transaction itself
        }
    });
    const Samples with = timedChanges(context, connection, document, u"Com"_s);
    run(connection.server() ? u"ALTER TABLE documento DISABLE TRIGGER historico"_s
                            : u"DROP TRIGGER historico_documento_alteracao"_s);
    const Samples without = timedChanges(context, connection, document, u"Sem"_s);
    return {with, without};
}

Row recordingFigure(const Context &context, db::Connection &connection, const DocumentRef &document)
{
    Row row;
    row.figure = u"changing a document, its history row included"_s;
    row.target = u"history adds <= 3 ms (p95)"_s;
    auto [with, without] = changeCosts(context, connection, document);
    row.samples = with;
    Ratio ratio;
    ratio.baseline = u"the same change without its history row"_s;
    ratio.baselineSamples = without;
    ratio.value = with.median() - without.median();
    ratio.text = u"+%1 over no history"_s.arg(formatMs(ratio.value));
    row.ratio = ratio;
    const double addedP95 = with.p95() - without.p95();
    row.met = addedP95 <= 3;
    row.note = u"one UPDATE of documento as the screen sends it; without history: median %1, p95 %2 "
               u"(inside one transaction, undone)"_s
                   .arg(formatMs(without.median()), formatMs(without.p95()));
    return row;
}

} // namespace

QList<Row> historyFigures(const Context &context)
{
    db::Connection connection;
    connection.openDescription(udlOf(context));
    const Document document = chosenDocument(context, connection);
    const int rows = makeChanges(connection, document);
    return {openingFigure(context, connection, document, rows), recordingFigure(context, connection, document.ref)};
}

} // namespace bench
