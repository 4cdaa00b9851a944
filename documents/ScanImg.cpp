#include "documents/ScanImg.h"

#include "documents/ImagePreview.h"

#include <QScopeGuard>

namespace documents {

TScanImage::TScanImage(QObject *owner) : QObject(owner), m_scanner(this) {}

void TScanImage::setScanedImage(ImagePreview *image)
{
    disconnect(m_watch);
    m_scanedImage = image;
    if (image)
        m_watch = connect(image, &QObject::destroyed, this, [this] { Notification(); });
}

// The removal notification: only the current target's destruction is connected, and by
// now it is no ImagePreview any more, so nothing of it is touched.
void TScanImage::Notification()
{
    m_scanedImage.clear();
    disconnect(m_watch);
}

int TScanImage::SelectSource(QWidget *window)
{
    return m_scanner.selectSource(window);
}

int TScanImage::Acquire(QWidget *window)
{
    if (!m_scanedImage)
        return 0;
    if (m_scanner.load() <= 0)
        return 0;
    const auto unload = qScopeGuard([this] { m_scanner.unload(); });
    if (m_scanner.acquire(window) <= 0)
        return 0;
    const QImage page = m_scanner.takeImage();
    if (!m_scanedImage) // the preview went away while the page was read
        return 0;
    m_scanedImage->showBitmap(page);
    return 1;
}

} // namespace documents
