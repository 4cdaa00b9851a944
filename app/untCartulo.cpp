#include "app/untCartulo.h"

#include "db/Connection.h"

using namespace Qt::StringLiterals;

TfrmCartulo::TfrmCartulo(const QString &programDir, QWidget *parent)
    : QWidget(parent), ConnArq(new db::Connection(this)), m_programDir(programDir)
{
    setObjectName(u"frmCartulo"_s);
    ConnArq->setObjectName(u"ConnArq"_s);
}

TfrmCartulo::~TfrmCartulo() = default;

QString TfrmCartulo::programDir() const
{
    return m_programDir;
}

void TfrmCartulo::FormCreate()
{
    setWindowTitle(u"Cartulo"_s);
}
