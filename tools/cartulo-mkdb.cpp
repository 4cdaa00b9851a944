// cartulo-mkdb PATH: creates an empty archive (the four tables); never overwrites.
#include "db/Connection.h"
#include "db/DbError.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void printError(const QString &message)
{
    std::fprintf(stderr, "cartulo-mkdb: %s\n", message.toUtf8().constData());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2 || args[1].startsWith(u'-')) {
        std::fputs("usage: cartulo-mkdb PATH\n"
                   "Creates an empty Cartulo archive database at PATH; an existing file is never replaced.\n",
                   stderr);
        return 2;
    }
    try {
        db::Connection::createArchive(args[1]);
    } catch (const db::DbError &error) {
        printError(error.message());
        return 1;
    }
    return 0;
}
