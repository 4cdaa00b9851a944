#pragma once
// The registers' screens inside the real main window (see tests/support/ProgramWindow.h).
#include "app/PictureButton.h"
#include "app/UntFrameCartulo.h"
#include "app/untCartulo.h"
#include "db/QueryModel.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "editing/Guard.h"
#include "editing/Prompt.h"
#include "editing/lib.h"
#include "tests/support/ProgramWindow.h"

#include <QAbstractButton>
#include <QToolButton>
#include <QDir>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <exception>
#include <memory>
#include <optional>

/// Seed statement for one process (number "1").
inline QString processRow(const QString &code, const QString &description,
                          const QString &date = QStringLiteral("NULL"), const QString &count = QStringLiteral("0"))
{
    return QStringLiteral("Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (%1,%2,\"1\",%3,%4)")
        .arg(lib::quoted(code), lib::quoted(description), date, count);
}

class ArchiveWindow : public testsupport::ProgramWindow {
public:
    /// Statements run on the archive before the window is set up.
    explicit ArchiveWindow(const QStringList &seed = {}) : ProgramWindow(Options{.seed = seed}) {}
};
