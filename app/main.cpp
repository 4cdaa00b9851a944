#include "app/QtTranslations.h"
#include "app/Startup.h"

#include <QApplication>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // Members of a shared archive's group must be able to change what another member
    // wrote (pages, folders, lock files): keep the group's write permission.
    ::umask(::umask(0) & ~mode_t(S_IWGRP));
    QApplication application(argc, argv);
    QApplication::setApplicationName(u"Cartulo"_s);
    QApplication::setApplicationDisplayName(u"Cartulo"_s);
    startup::installQtTranslations(application);
    return startup::run(application);
}
