#pragma once
// The sqlite3 shell, as an administrator runs it on an archive.
#include <QProcess>
#include <QString>

namespace testsupport {

struct ShellRun {
    int exitCode = -1;
    QString errors;
};

/// Runs statements through `sqlite3 path`.
inline ShellRun sqliteShell(const QString &path, const QString &sql)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), {path});
    if (!shell.waitForStarted())
        return {-1, QStringLiteral("sqlite3 did not start (is the sqlite3 package installed?)")};
    shell.write(sql.toUtf8());
    shell.closeWriteChannel();
    if (!shell.waitForFinished(120000))
        return {-1, QStringLiteral("sqlite3 did not finish")};
    return {shell.exitStatus() == QProcess::NormalExit ? shell.exitCode() : -1,
            QString::fromUtf8(shell.readAllStandardError())};
}

/// `sqlite3 from .dump | sqlite3 to`: a backup restored the way the shell's manual shows.
inline bool dumpAndRestore(const QString &from, const QString &to)
{
    QProcess dump, restore;
    dump.setStandardOutputProcess(&restore);
    restore.start(QStringLiteral("sqlite3"), {to});
    dump.start(QStringLiteral("sqlite3"), {from, QStringLiteral(".dump")});
    const bool finished = dump.waitForFinished(120000) && restore.waitForFinished(120000);
    return finished && dump.exitCode() == 0 && restore.exitCode() == 0 && restore.readAllStandardError().isEmpty();
}

} // namespace testsupport
