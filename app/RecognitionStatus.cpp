#include "app/RecognitionStatus.h"

#include "ocr/RecognitionWorker.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

using namespace Qt::StringLiterals;

RecognitionStatus::RecognitionStatus(QWidget *parent)
    : QWidget(parent), m_label(new QLabel(this)), m_pause(new QPushButton(u"Pausar reconhecimento"_s, this))
{
    setObjectName(u"RecognitionStatus"_s);
    m_label->setObjectName(u"LblReconhecimento"_s);
    m_label->setAccessibleName(u"Reconhecimento de texto"_s);
    m_pause->setObjectName(u"BtnPausarReconhecimento"_s);
    m_pause->setAccessibleName(u"Pausar reconhecimento"_s);
    m_pause->setFocusPolicy(Qt::TabFocus);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch();
    layout->addWidget(m_label);
    layout->addWidget(m_pause);
    connect(m_pause, &QPushButton::clicked, this, &RecognitionStatus::togglePause);
    hide();
}

RecognitionStatus::~RecognitionStatus() = default;

QString RecognitionStatus::waitingText(int pages)
{
    const QString count = QLocale(QLocale::Portuguese, QLocale::Brazil).toString(pages);
    return pages == 1 ? u"Reconhecendo texto: 1 página"_s : u"Reconhecendo texto: %1 páginas"_s.arg(count);
}

void RecognitionStatus::start(const ocr::ArchiveSource &source)
{
    m_worker = std::make_unique<ocr::RecognitionWorker>(source);
    // Queued: the worker tells from its own thread.
    connect(m_worker.get(), &ocr::RecognitionWorker::waitingChanged, this, &RecognitionStatus::showWaiting,
            Qt::QueuedConnection);
    connect(m_worker.get(), &ocr::RecognitionWorker::unavailable, this, [this](const QString &why) {
        m_label->setToolTip(why);
        hide();
    }, Qt::QueuedConnection);
    m_worker->start();
}

void RecognitionStatus::wake()
{
    if (m_worker)
        m_worker->wake();
}

void RecognitionStatus::showWaiting(int pages)
{
    m_label->setText(waitingText(pages));
    m_label->setAccessibleDescription(m_label->text());
    setVisible(pages > 0);
}

void RecognitionStatus::togglePause()
{
    if (!m_worker)
        return;
    const bool pause = !m_worker->isPaused();
    m_worker->setPaused(pause);
    const QString caption = pause ? u"Retomar reconhecimento"_s : u"Pausar reconhecimento"_s;
    m_pause->setText(caption);
    m_pause->setAccessibleName(caption);
}
