#include "documents/ScanProgressDialog.h"

#include "scan/SaneSession.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace documents {

ScanProgressDialog::ScanProgressDialog(QWidget *parent, scan::ScanControl &control, Kind kind)
    : QDialog(parent), m_control(control), m_kind(kind)
{
    setObjectName(u"DlgScanProgress"_s);
    setWindowTitle(u"Adquirir"_s);
    setModal(true);
    auto *layout = new QVBoxLayout(this);
    m_label = new QLabel(u"Lendo a página do scanner..."_s, this);
    m_label->setObjectName(u"LblScanStatus"_s);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(u"PrgScan"_s);
    m_bar->setRange(0, 100);
    m_bar->setAccessibleName(u"Progresso da leitura"_s);
    m_cancel = new QPushButton(u"Cancelar"_s, this);
    m_cancel->setObjectName(u"BtnCancelar"_s);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    connect(m_cancel, &QPushButton::clicked, this, [this] { requestCancel(); });
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { showProgress(); });
    timer->start(100);
    showProgress();
    resize(380, sizeHint().height());
}

void ScanProgressDialog::setStored(int stored)
{
    m_stored = stored;
    showProgress();
}

void ScanProgressDialog::reject()
{
    requestCancel();
}

void ScanProgressDialog::requestCancel()
{
    if (m_control.isCancelled())
        return;
    if (m_kind == Kind::Feeder && !m_stopping) {
        m_stopping = true;
        m_control.stopAfterPage();
        m_cancel->setText(u"Interromper"_s);
        m_cancel->setAccessibleDescription(u"Descarta também a página em leitura"_s);
        showProgress();
        return;
    }
    m_control.cancelNow();
    m_cancel->setEnabled(false);
    m_label->setText(u"Cancelando..."_s);
}

void ScanProgressDialog::showProgress()
{
    if (m_kind == Kind::Feeder && !m_control.isCancelled()) {
        const QString stored = m_stored == 1 ? u"1 página guardada"_s : u"%1 páginas guardadas"_s.arg(m_stored);
        const QString reading = u"Lendo a página %1 do alimentador (%2)."_s.arg(std::max(1, m_control.sheet.load())).arg(stored);
        m_label->setText(m_stopping ? reading + u"\nCancelando: a digitalização para depois desta página."_s : reading);
    }
    const qint64 expected = m_control.bytesExpected;
    if (expected <= 0) {
        m_bar->setRange(0, 0); // unknown length: a busy bar
        return;
    }
    m_bar->setRange(0, 100);
    m_bar->setValue(int(std::min<qint64>(100, m_control.bytesRead * 100 / expected)));
}

} // namespace documents
