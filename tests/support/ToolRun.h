#pragma once
// Runs one of the built tools as a person runs it, and keeps what it said.
#include "tests/support/TestPaths.h"
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace testsupport {

struct ToolRun {
    int exitCode = -1; ///< -1 when it did not start or crashed
    QString out;
    QString err;
};

/// A tool still running after `timeoutMs` is killed and counts as crashed.
inline ToolRun runTool(const QString &tool, const QStringList &args, const QByteArray &input = {},
                       int timeoutMs = 60000)
{
    QProcess process;
    process.start(testsupport::binDir() + u'/' + tool, args);
    if (!process.waitForStarted())
        return {};
    process.write(input);
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    return {finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError()) + (finished ? QString() : tool + QStringLiteral(" did not finish"))};
}

} // namespace testsupport
