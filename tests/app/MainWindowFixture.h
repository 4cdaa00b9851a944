#pragma once
// A main window on a fresh archive in a temporary program folder, set up as the start-up
// does it (connection open, then FormCreate).
#include "app/untCartulo.h"
#include "db/Connection.h"
#include "editing/Prompt.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

struct MainWindowFixture {
    // Boxes are answered by script: a test never waits on one.
    editing::ScopedPrompt<editing::ScriptedPrompt> prompt;
    QTemporaryDir programDir;
    std::unique_ptr<TfrmCartulo> window;

    MainWindowFixture()
    {
        QDir(programDir.path()).mkpath(u"dados/laudas"_s);
        const QString database = programDir.filePath(u"dados/cartulo.db"_s);
        db::Connection::createArchive(database);
        window = std::make_unique<TfrmCartulo>(programDir.path());
        window->ConnArq->openFile(database);
        window->FormCreate();
    }

    TfrmCartulo *operator->() const { return window.get(); }

    /// Shows the window and waits until it is the active window (F2 is a window shortcut).
    bool showActive() const
    {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }
};
