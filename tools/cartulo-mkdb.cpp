// cartulo-mkdb PATH.db | DESCRIPTION.udl: creates an empty archive (the four tables) in a new
// file, or where a description file says (a file, or a database on a PostgreSQL server);
// never overwrites a file nor touches a database that already holds the tables.
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Description.h"
#include "db/PageTextSchema.h"
#include "db/PageTextSearchSchema.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgRoles.h"
#include "db/pg/PgSchema.h"
#include "tools/ToolInfo.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

const char kUsage[] =
    "usage: cartulo-mkdb PATH | DESCRIPTION.udl | --atualizar DESCRIPTION.udl\n"
    "Creates an empty Cartulo archive database at PATH, or the archive that the\n"
    "description file names (a file, or a database on a PostgreSQL server created\n"
    "with LOCALE 'C.UTF-8'). An existing file is never replaced, and a database\n"
    "that already holds the archive's tables is refused. --atualizar brings an\n"
    "existing archive up to date (page texts and their indexes, history, group\n"
    "roles and their rights).\n";

void printError(const QString &message)
{
    std::fprintf(stderr, "cartulo-mkdb: %s\n", message.toUtf8().constData());
}

void createDescribedArchive(const QString &udlPath)
{
    const db::ArchiveDescription description = db::readDescription(udlPath);
    switch (description.provider) {
    case db::Provider::SQLite:
        db::Connection::createArchive(description.databasePath);
        return;
    case db::Provider::PostgreSQL: {
        db::pg::PgConnection server(description.server);
        db::pg::schema::create(server);
        return;
    }
    }
}

// An archive made before the history and the group roles gets them; run by its owner.
int updateDescribedArchive(const QString &udlPath)
{
    const db::ArchiveDescription description = db::readDescription(udlPath);
    if (description.provider != db::Provider::PostgreSQL) {
        db::Connection connection; // opening a file archive brings it up to date
        connection.openFile(description.databasePath);
        return 0;
    }
    db::pg::PgConnection server(description.server);
    db::pg::schema::checkIsArchive(server);
    db::pagetext::ensure(server);
    QStringList notes{db::pagetextsearch::ensure(server), db::pg::roles::bringUpToDate(server)};
    notes.removeAll(QString());
    for (const QString &note : notes)
        printError(note);
    return notes.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (const auto status = toolinfo::answer(args, kUsage))
        return *status;
    if (args.size() == 3 && args[1] == u"--atualizar"_s) {
        try {
            return updateDescribedArchive(args[2]);
        } catch (const db::DbError &error) {
            printError(error.message());
            return 1;
        }
    }
    if (args.size() != 2 || args[1].startsWith(u'-')) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        if (args[1].endsWith(u".udl"_s, Qt::CaseInsensitive))
            createDescribedArchive(args[1]);
        else
            db::Connection::createArchive(args[1]);
    } catch (const db::DbError &error) {
        printError(error.message());
        return 1;
    }
    return 0;
}
