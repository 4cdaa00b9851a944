#pragma once
// Runs one of the built tools as a person runs it, and keeps what it said.
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

inline ToolRun runTool(const QString &tool, const QStringList &args, const QByteArray &input = {})
{
    QProcess process;
    process.start(QStringLiteral(CARTULO_BIN_DIR) + u'/' + tool, args);
    if (!process.waitForStarted())
        return {};
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace testsupport
