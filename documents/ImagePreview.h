#pragma once
#include <QImage>
#include <QString>
#include <QWidget>

#include <memory>

namespace pages {
class PageStore;
}

namespace documents {

/// The picture box of a page preview (`ImgPrev` of the document screen and of the
/// advanced search). It remembers what it shows, because that decides what printing and
/// scanning do with it: a page file, a scanned bitmap, the application's icon, or nothing.
class ImagePreview : public QWidget {
    Q_OBJECT
public:
    enum class Content { Empty, JpegPage, Bitmap, Icon };

    explicit ImagePreview(QWidget *parent = nullptr);

    /// Shows a page file, decoded at the smallest scale that covers the box, stretched.
    /// Throws PageError when the file cannot be decoded (the box keeps what it showed).
    void showJpegPage(const QString &path);
    /// Shows a page of the store the same way; printing asks the store for every pixel.
    void showStoredPage(std::shared_ptr<const pages::PageStore> store, const QString &entryName);
    /// Shows a scanned image (kept whole for printing and storing).
    void showBitmap(const QImage &image);
    /// Shows the application's icon at its own size, not stretched.
    void showIcon();
    /// Blank box.
    void clear();

    /// Picture scaled to the whole box without keeping proportions (on), or drawn at its
    /// own size in the top left corner (off).
    void setStretch(bool on);
    bool stretch() const { return m_stretch; }

    Content content() const { return m_content; }
    /// Where the page shown is (its file, or its place in the store), for JpegPage; empty
    /// otherwise.
    QString pagePath() const { return m_pagePath; }
    /// What is drawn in the box (for a page: the reduced decode).
    QImage picture() const { return m_picture; }
    /// What printing this preview prints: a page file at full resolution, the scanned
    /// bitmap, the icon, or a null image for a blank box. Throws PageError for a page
    /// file that can no longer be decoded.
    QImage printablePicture() const;
    /// The picture "as a bitmap": a scanned image is handed out; anything else (a page
    /// file, the icon) is discarded and the box goes blank, and a null image is returned.
    QImage takeBitmapOrClear();

    /// The application's icon as an image, the one showIcon() shows.
    static QImage applicationIcon();

    QSize sizeHint() const override { return {209, 243}; }

signals:
    void clicked();
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void setPicture(Content content, QImage picture, bool stretch);

    Content m_content = Content::Empty;
    QImage m_picture;
    QString m_pagePath;
    std::shared_ptr<const pages::PageStore> m_store; ///< of a stored page
    QString m_entryName;
    bool m_stretch = true;
};

} // namespace documents
