#include "app/Startup.h"

#include <QApplication>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(u"Cartulo"_s);
    QApplication::setApplicationDisplayName(u"Cartulo"_s);
    return startup::run(application);
}
