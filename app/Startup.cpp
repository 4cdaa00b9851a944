#include "app/Startup.h"

#include "app/untCartulo.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Description.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcStartup, "cartulo.startup", QtInfoMsg)

namespace startup {

namespace {

// A termination request (SIGTERM from a session logout or kill, SIGINT from a terminal)
// ends the event loop like closing the window, so the archive is closed cleanly. A signal
// handler may only write to a descriptor; the notifier picks it up in the event loop.
int terminationPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(terminationPipe[1], &byte, 1);
}

std::unique_ptr<QSocketNotifier> watchTerminationRequests(QPointer<TfrmCartulo> window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, terminationPipe) != 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(terminationPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [window] {
        char byte;
        [[maybe_unused]] const ssize_t read = ::read(terminationPipe[0], &byte, 1);
        qCDebug(lcStartup) << "termination requested";
        if (window)
            window->close();
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    return notifier;
}

int reportFatal(const QString &message)
{
    std::fprintf(stderr, "%s\n", message.toUtf8().constData());
    std::fflush(stderr);
    // Where no person can see a window, standard error alone carries the message.
    if (QGuiApplication::platformName() != u"offscreen"_s) {
        QMessageBox box(QMessageBox::Critical, u"Application Error"_s, message, QMessageBox::Ok);
        box.exec();
    }
    return 1;
}

} // namespace

Paths pathsFor(const QString &programDir)
{
    const QDir dir(QFileInfo(programDir).absoluteFilePath());
    return {dir.absolutePath(), dir.filePath(u"cartulo.udl"_s), dir.filePath(u"dados/cartulo.db"_s)};
}

int run(QApplication &application)
{
    const Paths paths = pathsFor(QCoreApplication::applicationDirPath());
    auto window = std::make_unique<TfrmCartulo>(paths.programDir);
    const auto terminationNotifier = watchTerminationRequests(window.get());
    try {
        // Create-new: an existing description file is never rewritten, whatever it names.
        if (!QFileInfo::exists(paths.descriptionFile))
            db::writeDescriptionFile(paths.descriptionFile, paths.databaseFile);
        // A server that cannot be reached, or refuses the role or the database, ends the
        // start-up here with the server's own message.
        window->ConnArq->openDescription(paths.descriptionFile);
        window->FormCreate();
    } catch (const std::exception &error) {
        window.reset();
        const auto *dbError = dynamic_cast<const db::DbError *>(&error);
        return reportFatal(dbError ? dbError->message() : QString::fromLocal8Bit(error.what()));
    }
    window->show();
    QTimer::singleShot(0, window.get(), [] { qCDebug(lcStartup) << "running"; });
    const int status = application.exec();
    return status;
}

} // namespace startup
