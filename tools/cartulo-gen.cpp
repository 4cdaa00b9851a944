// cartulo-gen: builds a synthetic archive (rows, pages, description file) of any size, the
// same one for the same seed on every provider, so that speed can be measured on decades
// of work. The plan, the texts, the pages and one writer per provider live in tools/gen/.

#include "db/DbError.h"
#include "editing/JpegImage.h"
#include "tools/gen/Generator.h"
#include "tools/ToolInfo.h"
#include "tools/gen/Options.h"

#include <QGuiApplication>

#include <cstdio>
#include <exception>

int main(int argc, char **argv)
{
    // Pages are drawn off screen: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    if (toolinfo::asks(QCoreApplication::arguments(), "--version"))
        return toolinfo::printVersion(QCoreApplication::arguments());
    std::optional<gen::Options> options;
    try {
        options = gen::parseOptions(QCoreApplication::arguments());
        if (!options)
            return 0; // --help
    } catch (const gen::UsageError &e) {
        std::fprintf(stderr, "cartulo-gen: %s\n\n", qPrintable(e.message));
        gen::printUsage(stderr);
        return 2;
    }
    try {
        gen::generate(*options);
    } catch (const gen::UsageError &e) {
        std::fprintf(stderr, "cartulo-gen: %s\n", qPrintable(e.message));
        return 2;
    } catch (const db::DbError &e) {
        std::fprintf(stderr, "cartulo-gen: %s\n", qPrintable(e.message()));
        return 1;
    } catch (const editing::jpeg::JpegError &e) {
        std::fprintf(stderr, "cartulo-gen: %s\n", qPrintable(e.message()));
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "cartulo-gen: %s\n", e.what());
        return 1;
    }
    return 0;
}
