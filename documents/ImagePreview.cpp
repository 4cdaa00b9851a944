#include "documents/ImagePreview.h"

#include "pages/PageStore.h"
#include "editing/AppIcon.h"
#include "editing/JpegImage.h"

#include <QMouseEvent>
#include <QPainter>

namespace documents {

using pages::PageError;
using namespace Qt::StringLiterals;

ImagePreview::ImagePreview(QWidget *parent) : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
}

QImage ImagePreview::applicationIcon()
{
    return editing::applicationIcon().toImage();
}

void ImagePreview::setPicture(Content content, QImage picture, bool stretch)
{
    m_content = content;
    m_picture = std::move(picture);
    m_stretch = stretch;
    if (content != Content::JpegPage) {
        m_pagePath.clear();
        m_store.reset();
        m_entryName.clear();
    }
    update();
}

void ImagePreview::showJpegPage(const QString &path)
{
    QImage decoded;
    try {
        decoded = editing::jpeg::decodeFileToCover(path, size().expandedTo(QSize(1, 1)));
    } catch (const editing::jpeg::JpegError &error) {
        throw PageError(PageError::Kind::Io, error.message());
    }
    m_pagePath = path;
    m_store.reset();
    m_entryName.clear();
    setPicture(Content::JpegPage, std::move(decoded), true);
}

void ImagePreview::showStoredPage(std::shared_ptr<const pages::PageStore> store, const QString &entryName)
{
    QImage decoded = store->previewImage(entryName, size().expandedTo(QSize(1, 1)));
    if (decoded.isNull())
        throw PageError(PageError::Kind::Io, u"A página %1 não existe mais"_s.arg(entryName));
    m_pagePath = store->pageLocation(entryName);
    m_entryName = entryName;
    m_store = std::move(store);
    setPicture(Content::JpegPage, std::move(decoded), true);
}

void ImagePreview::showBitmap(const QImage &image)
{
    setPicture(image.isNull() ? Content::Empty : Content::Bitmap, image, m_stretch);
}

void ImagePreview::showIcon()
{
    setPicture(Content::Icon, applicationIcon(), false);
}

void ImagePreview::clear()
{
    setPicture(Content::Empty, QImage(), m_stretch);
}

void ImagePreview::setStretch(bool on)
{
    m_stretch = on;
    update();
}

QImage ImagePreview::printablePicture() const
{
    switch (m_content) {
    case Content::JpegPage:
        if (m_store)
            return m_store->fullImage(m_entryName);
        try {
            return editing::jpeg::decodeFile(m_pagePath); // printing wants every pixel
        } catch (const editing::jpeg::JpegError &error) {
            throw PageError(PageError::Kind::Io, error.message());
        }
    case Content::Bitmap:
    case Content::Icon:
        return m_picture;
    case Content::Empty:
        break;
    }
    return {};
}

QImage ImagePreview::takeBitmapOrClear()
{
    if (m_content == Content::Bitmap)
        return m_picture;
    clear();
    return {};
}

void ImagePreview::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_stretch)
        painter.drawImage(rect(), m_picture);
    else
        painter.drawImage(QPoint(0, 0), m_picture);
}

void ImagePreview::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // A page decoded for a smaller box would look soft once stretched further.
    if (m_content == Content::JpegPage
        && (m_picture.width() < width() || m_picture.height() < height())) {
        try {
            m_picture = editing::jpeg::decodeFileToCover(m_pagePath, size());
        } catch (const editing::jpeg::JpegError &) {
            // keeps the smaller picture; the next showJpegPage reports the fault
        }
    }
}

void ImagePreview::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QWidget::mouseReleaseEvent(event);
}

void ImagePreview::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace documents
