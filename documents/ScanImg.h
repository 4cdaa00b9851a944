#pragma once
#include "documents/Scanner.h"

#include <QObject>
#include <QPointer>

class QWidget;

namespace documents {

class ImagePreview;

/// `TScanImage` (module ScanImg): the document screen's scanner component, owned by the
/// screen (instance `ex`). Its `ScanedImage` is the preview that receives an acquired
/// page; when that preview is destroyed the reference clears itself.
class TScanImage : public QObject {
    Q_OBJECT
    Q_PROPERTY(documents::ImagePreview *ScanedImage READ ScanedImage WRITE setScanedImage)
public:
    explicit TScanImage(QObject *owner = nullptr);

    ImagePreview *ScanedImage() const { return m_scanedImage; }
    void setScanedImage(ImagePreview *image);

    /// Lets the user choose the scanner (the remembered choice is preselected).
    /// 1 when a source was chosen, 0 when cancelled or none was found.
    int SelectSource(QWidget *window);
    /// Loads SANE, reads one page into the picture of `ScanedImage` as a bitmap, unloads.
    /// Returns 1 when a page arrived, 0 otherwise (no `ScanedImage`, SANE not ready,
    /// cancelled or failed); the preview is left as it was then.
    int Acquire(QWidget *window);

    /// The library underneath (remembered choice, last error).
    Scanner &scanner() { return m_scanner; }

private:
    void Notification();

    Scanner m_scanner;
    QPointer<ImagePreview> m_scanedImage;
    QMetaObject::Connection m_watch;
};

} // namespace documents
