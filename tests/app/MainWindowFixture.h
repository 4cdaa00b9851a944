#pragma once
// A main window on a fresh archive in a temporary program folder, set up as the start-up
// does it (connection open, then FormCreate), not yet shown, with the window's own error
// hook in charge.
#include "app/untCartulo.h"
#include "db/Connection.h"
#include "editing/Prompt.h"
#include "tests/support/ProgramWindow.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

struct MainWindowFixture : testsupport::ProgramWindow {
    MainWindowFixture() : ProgramWindow(Options{.seed = {}, .show = Options::Show::No, .recordErrors = false}) {}
};
