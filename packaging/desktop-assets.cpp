// cartulo-desktop-assets OUTDIR PICTURE-FOLDER: what the desktop shows of Cartulo, made by
// the build from the program itself: the menu icon at the usual hicolor sizes (the icon the
// window carries) and a screenshot of the real main window on an empty archive, painted
// off screen, for the software centre's metadata. PICTURE-FOLDER holds img/ctlo.rcc.
#include "app/untCartulo.h"
#include "db/Connection.h"
#include "editing/AppIcon.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QTemporaryDir>
#include <cstdio>
#include <exception>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

bool writeIcons(const QDir &out)
{
    for (const int size : kIconSizes) {
        const QString folder = u"icons/hicolor/%1x%1/apps"_s.arg(size);
        if (!out.mkpath(folder) || !editing::applicationIcon(size).save(out.filePath(folder + u"/cartulo.png"_s), "PNG"))
            return false;
    }
    return true;
}

// The window's outline is a polygon mask: outside it the picture is transparent, as on a
// desktop.
QImage windowPicture(QWidget &window)
{
    QImage picture = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QRegion outline = window.mask();
    if (outline.isEmpty())
        return picture;
    QImage shaped(picture.size(), QImage::Format_ARGB32);
    shaped.fill(Qt::transparent);
    QPainter painter(&shaped);
    painter.setClipRegion(outline);
    painter.drawImage(0, 0, picture);
    return shaped;
}

bool writeScreenshot(const QDir &out)
{
    QTemporaryDir programDir;
    if (!programDir.isValid() || !QDir(programDir.path()).mkpath(u"dados/laudas"_s))
        return false;
    const QString database = QDir(programDir.path()).filePath(u"dados/cartulo.db"_s);
    db::Connection::createArchive(database);
    auto window = std::make_unique<TfrmCartulo>(programDir.path());
    window->ConnArq->openFile(database);
    window->FormCreate();
    window->show();
    // The first show dresses the bars with the picture library's images.
    for (int round = 0; round < 10; ++round)
        QApplication::processEvents();
    return windowPicture(*window).save(out.filePath(u"screenshot.png"_s), "PNG");
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(u"Cartulo"_s);
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        std::fputs("usage: cartulo-desktop-assets OUTDIR PICTURE-FOLDER\n", stderr);
        return 2;
    }
    const QDir out(QDir(args[1]).absolutePath());
    if (!out.mkpath(u"."_s) || !QDir::setCurrent(args[2])) {
        std::fputs("cartulo-desktop-assets: cannot use the folders given\n", stderr);
        return 1;
    }
    try {
        if (!writeIcons(out) || !writeScreenshot(out)) {
            std::fprintf(stderr, "cartulo-desktop-assets: cannot write into %s\n", qPrintable(out.path()));
            return 1;
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "cartulo-desktop-assets: %s\n", error.what());
        return 1;
    }
    return 0;
}
