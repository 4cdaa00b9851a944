#include "editing/RegisterLayout.h"

#include "db/Query.h"
#include "editing/Edits.h"
#include "editing/lib.h"

#include <QHBoxLayout>
#include <QStatusBar>
#include <QVBoxLayout>

namespace editing {

void arrangeScreen(QWidget *screen, QWidget *fields, QWidget *panel, QStatusBar *statusBar)
{
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(fields, 1);
    row->addWidget(panel);
    auto *column = new QVBoxLayout(screen);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(row, 1);
    column->addWidget(statusBar);
}

void arrangeRegisterScreen(TScreen *screen, QWidget *fields, QWidget *panel, QStatusBar *statusBar)
{
    arrangeScreen(screen, fields, panel, statusBar);
    lib::EnableEdits(screen, false);
}

db::Query *screenQuery(QObject *owner, const QString &name, const QStringList &lines)
{
    auto *query = new db::Query(owner);
    query->setObjectName(name);
    for (const QString &line : lines)
        query->addSql(line);
    return query;
}

} // namespace editing
