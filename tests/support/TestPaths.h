#pragma once
// Folders a test needs, found at run time rather than compiled in: a build in another folder
// (a fresh clone) then reuses the compiler cache for every test.
#include <QByteArray>
#include <QCoreApplication>
#include <QString>

namespace testsupport {

/// The build's program folder: the tests are built into it beside the programs.
inline QString binDir()
{
    return QCoreApplication::applicationDirPath();
}

/// A folder CTest names in the test's environment.
inline QString folderFromEnvironment(const char *variable)
{
    const QString folder = qEnvironmentVariable(variable);
    if (folder.isEmpty())
        qFatal("%s is not set: run the test through ctest", variable);
    return folder;
}

/// The source tree.
inline QString sourceDir()
{
    return folderFromEnvironment("CARTULO_SOURCE_DIR");
}

/// The SANE backend folder that holds the test's fake scanner.
inline QByteArray fakeSaneDir()
{
    return folderFromEnvironment("CARTULO_FAKE_SANE_DIR").toLocal8Bit();
}

} // namespace testsupport
