#pragma once
// --help and --version, answered alike by every tool: on standard output, exit status 0,
// so that package managers, scripts and man-page checkers can ask any of them.
#include <QFileInfo>
#include <QStringList>
#include <cstdio>
#include <optional>

#ifndef CARTULO_VERSION
#error "CARTULO_VERSION comes from the build (tools/CMakeLists.txt)"
#endif

namespace toolinfo {

inline bool asks(const QStringList &args, const char *option)
{
    return args.size() == 2 && args[1] == QLatin1StringView(option);
}

/// "cartulo-sql (Cartulo) 1.0" on standard output; the exit status.
inline int printVersion(const QStringList &args)
{
    const QByteArray name = QFileInfo(args.value(0)).fileName().toUtf8();
    std::printf("%s (Cartulo) %s\n", name.constData(), CARTULO_VERSION);
    return 0;
}

/// When the only argument is --help or --version, prints the usage text or the version
/// and gives the exit status (0); otherwise nullopt, and the tool goes on.
inline std::optional<int> answer(const QStringList &args, const char *usage)
{
    if (asks(args, "--help")) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (asks(args, "--version"))
        return printVersion(args);
    return std::nullopt;
}

} // namespace toolinfo
