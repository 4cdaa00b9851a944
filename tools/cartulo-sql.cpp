// cartulo-sql DESCRIPTION-FILE [STATEMENT]: runs statements of the program's dialect on
// the archive a description file names, through the same engine layer as the program.
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "db/ResultText.h"
#include "db/pg/PgConnection.h"
#include "tools/ToolInfo.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <iostream>
#include <string>

using namespace Qt::StringLiterals;

namespace {

const char kUsage[] =
    "usage: cartulo-sql DESCRIPTION-FILE [STATEMENT]\n"
    "Runs STATEMENT, or one statement per line of standard input, on the archive\n"
    "named by DESCRIPTION-FILE (cartulo.udl). Rows are printed as a header of\n"
    "result names and one line per row, fields separated by tabs.\n";

void printLine(std::FILE *stream, const QString &line)
{
    const QByteArray utf8 = line.toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stream);
    std::fputc('\n', stream);
}

// A report run by another login says whose rights were lacking.
QString refusal(const db::Connection &connection, const db::DbError &error)
{
    if (error.kind() != db::ErrorKind::NoPrivilege || !connection.server())
        return error.message();
    return u"O servidor recusou a instrução do usuário %1; nada foi alterado. %2"_s.arg(
        connection.server()->address().role, error.message());
}

// Prints the rows of a statement that returns them; false when the statement failed.
bool run(db::Connection &connection, const QString &statement)
{
    try {
        db::Query query(&connection);
        query.setSql(statement);
        query.open();
        if (query.fieldCount() > 0) {
            for (const QString &line : db::resultLines(query))
                printLine(stdout, line);
        }
        std::fflush(stdout);
        return true;
    } catch (const db::DbError &error) {
        std::fflush(stdout);
        printLine(stderr, refusal(connection, error));
        return false;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (const auto status = toolinfo::answer(args, kUsage))
        return *status;
    if (args.size() < 2 || args.size() > 3 || args[1].startsWith(u'-')) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    db::Connection connection;
    try {
        connection.openDescription(args[1]);
    } catch (const db::DbError &error) {
        printLine(stderr, error.message());
        return 1;
    }
    if (args.size() == 3)
        return run(connection, args[2]) ? 0 : 1;

    bool allSucceeded = true;
    std::string line;
    while (std::getline(std::cin, line)) {
        QString statement = QString::fromStdString(line);
        if (statement.endsWith(u'\r'))
            statement.chop(1);
        if (statement.trimmed().isEmpty())
            continue;
        allSucceeded = run(connection, statement) && allSucceeded;
    }
    return allSucceeded ? 0 : 1;
}
