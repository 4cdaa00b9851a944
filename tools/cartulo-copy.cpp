// cartulo-copy FROM.udl TO.udl: copies a whole archive (rows, pages and the pages moved
// aside) from the archive one description file names to the one the other names, a file
// or a server database either way, and verifies the copy before saying it is done.
#include "db/DbError.h"
#include "tools/ToolInfo.h"
#include "tools/copy/Copier.h"

#include <QCoreApplication>
#include <QStringList>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>

using namespace Qt::StringLiterals;

namespace {

const char kUsage[] =
    "usage: cartulo-copy FROM.udl TO.udl\n"
    "Copies the whole Cartulo archive that FROM.udl names (records, pages and the\n"
    "pages moved aside) to the archive that TO.udl names: a file or a PostgreSQL\n"
    "database either way. The target must be new or empty (a new file, a database\n"
    "without the archive's tables, or an archive that cartulo-mkdb just made). The\n"
    "copy is verified (rows of every table counted, every page's SHA-256 compared)\n"
    "before it becomes the target's archive; on failure the target is left as it was.\n";

// Set by Ctrl+C or a termination request: the copy stops at its next row or page and
// removes what it wrote, rather than leaving half a target behind.
std::atomic<bool> interrupted{false};

void interrupt(int)
{
    interrupted = true;
}

void stopOnInterrupt()
{
    struct sigaction action = {};
    action.sa_handler = interrupt;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

void printLine(FILE *stream, const QString &line)
{
    std::fprintf(stream, "%s\n", line.toUtf8().constData());
    std::fflush(stream);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (const auto status = toolinfo::answer(args, kUsage))
        return *status;
    if (args.size() != 3 || args[1].startsWith(u'-') || args[2].startsWith(u'-')) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const auto say = [](const QString &line) { printLine(stderr, u"cartulo-copy: "_s + line); };
    static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
    stopOnInterrupt();
    try {
        const copying::CopySummary summary = copying::copyArchive(args[1], args[2], say, &interrupted);
        printLine(stdout, u"Cópia verificada: "_s + copying::describe(summary));
        return 0;
    } catch (const db::DbError &error) {
        say(error.message());
    } catch (const std::exception &error) {
        say(QString::fromLocal8Bit(error.what()));
    }
    say(u"A cópia falhou; nada foi copiado."_s);
    return 1;
}
