#include "editing/UntFramePesq.h"

#include "editing/FramePesquisa.h"

#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TFrmFramePesq::TFrmFramePesq(db::Connection *connection, QWidget *parent) : QDialog(parent)
{
    setObjectName(u"FrmFramePesq"_s);
    setWindowTitle(u"FrmFramePesq"_s);
    resize(340, 360);
    move(420, 163);

    FPesq = new TFramePesquisa(this);
    FPesq->setObjectName(u"FPesq"_s);
    FPesq->setConnection(connection);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FPesq);
}

void TFrmFramePesq::reject()
{
    done(mrCancel);
}
