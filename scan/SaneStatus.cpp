#include "scan/SaneStatus.h"

using namespace Qt::StringLiterals;

namespace scan {

QString statusText(SANE_Status status)
{
    switch (status) {
    case SANE_STATUS_UNSUPPORTED: return u"operação não suportada pelo scanner"_s;
    case SANE_STATUS_CANCELLED: return u"operação cancelada"_s;
    case SANE_STATUS_DEVICE_BUSY: return u"o scanner está ocupado"_s;
    case SANE_STATUS_INVAL: return u"o scanner recusou um valor"_s;
    case SANE_STATUS_EOF: return u"fim dos dados"_s;
    case SANE_STATUS_JAMMED: return u"papel preso no alimentador"_s;
    case SANE_STATUS_NO_DOCS: return u"o alimentador está vazio"_s;
    case SANE_STATUS_COVER_OPEN: return u"a tampa do scanner está aberta"_s;
    case SANE_STATUS_IO_ERROR: return u"erro de comunicação com o scanner"_s;
    case SANE_STATUS_NO_MEM: return u"falta memória"_s;
    case SANE_STATUS_ACCESS_DENIED: return u"acesso negado ao scanner"_s;
    default: return QString::fromLocal8Bit(sane_strstatus(status));
    }
}

} // namespace scan
