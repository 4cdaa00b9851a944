#pragma once
#include <QDialog>
#include <QImage>
#include <QObject>
#include <QPageLayout>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

class QAction;
class QToolBar;
class QLabel;
class QPrinter;
class QPrintPreviewWidget;

namespace documents {

/// A report file that cannot be written or read back; message() is for the user.
class ReportError : public std::runtime_error {
public:
    explicit ReportError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};

/// The pages of a report of several pages (a whole document): how many, and the picture
/// of page `index` (from 0). With a valid `box` a picture reduced to cover it is enough (the
/// preview); with an empty one the picture is wanted whole (printing). A null picture
/// leaves its sheet empty.
struct ReportPages {
    int count = 0;
    std::function<QImage(int index, QSize box)> picture;
};

/// The one-page report: A4 portrait, 10 mm margins, the picture stretched over the whole
/// 190 x 277 mm inside them without keeping its proportions.
namespace report {
QPageLayout pageLayout();
/// A4 portrait with the margins, one copy, no duplex, all pages, the printer's paper bin.
void configurePrinter(QPrinter &printer);
/// Paints the page on a device already set to pageLayout() (its origin at the margins).
/// A null picture leaves the sheet empty.
void paintPage(QPainter &painter, const QRect &paintRect, const QImage &picture);
/// Builds the page on a printer (PDF, a real printer or a preview).
void print(QPrinter &printer, const QImage &picture);
/// Builds one page per picture, in order, each laid out as the one-page report. `box`
/// is handed to the pictures (see ReportPages).
void print(QPrinter &printer, const ReportPages &pages, QSize box = {});
/// "Save Report": the page as a PDF file that any reader opens and prints; the picture
/// also travels inside the file, so "Load Report" can show the report again.
void savePdf(const QString &path, const QImage &picture);
/// A report of several pages as a PDF file, one sheet per page. "Load Report" does not
/// read it back: it is meant for reading and printing elsewhere.
void savePdf(const QString &path, const ReportPages &pages);
/// "Load Report": the picture of a report saved by savePdf (null for an empty sheet).
/// Throws ReportError for a file that is not such a report.
QImage loadPdf(const QString &path);
} // namespace report

class PrintPreviewWindow;

/// `TFrmPrevImg` (module UntPrevImg): the page print form, created once at start-up. It
/// holds the report's image element `ImgPrev` (a copy of the last picture handed to it)
/// and shows `QuickRep1` in the modal preview window.
class TFrmPrevImg : public QObject {
    Q_OBJECT
public:
    explicit TFrmPrevImg(QObject *parent = nullptr);
    ~TFrmPrevImg() override;

    /// Copies the picture of a clicked preview into the image element (null: empty sheet).
    /// The report has one page again.
    void setPicture(const QImage &picture);
    QImage picture() const { return m_picture; }
    /// A report of several pages, one sheet per page (a whole document).
    void setPages(ReportPages pages);
    /// The number of sheets the report prints.
    int pageCount() const { return m_pages ? m_pages->count : 1; }

    /// `QuickRep1.Preview`: builds the page and shows it in the modal window titled
    /// "Print Preview"; returns when the user closes it. Printing happens from inside.
    void Preview(QWidget *parent = nullptr);
    /// The same window, built but not shown: for callers that show it themselves.
    std::unique_ptr<PrintPreviewWindow> createPreviewWindow(QWidget *parent = nullptr);

    /// Prints the report on a printer as it stands (no dialog). A preview asks only for
    /// pictures reduced to the size it shows them at.
    void printTo(QPrinter &printer, bool preview = false) const;
    /// "Save Report": the report as it stands as a PDF file.
    void saveTo(const QString &path) const;

private:
    QImage m_picture;
    std::optional<ReportPages> m_pages;
};

/// The report's preview window: the toolbar of the old report engine, the page view and
/// the status bar with the zoom and the page. objectName "DlgPrintPreview"; the actions
/// are ActZoomFit, ActZoom100, ActZoomWidth, ActFirstPage, ActPrevPage, ActNextPage,
/// ActLastPage, ActPrinterSetup, ActPrint, ActSaveReport, ActLoadReport, ActClose.
class PrintPreviewWindow : public QDialog {
    Q_OBJECT
public:
    PrintPreviewWindow(TFrmPrevImg &form, QWidget *parent = nullptr);
    ~PrintPreviewWindow() override;

    QPrintPreviewWidget *view() const { return m_view; }
    QPrinter &printer() { return *m_printer; }
    QString zoomText() const;
    QString pageText() const;

    /// The toolbar commands, also reached through the actions.
    void printWithDialog();
    void printerSetup();
    void saveReport();
    void loadReport();

private:
    QAction *addAction(const QString &objectName, const QString &hint, bool checkable = false);
    void updateStatus();
    /// The page buttons: page `page` (kept within the report) in view, and in the status.
    void showPage(int page);

    TFrmPrevImg &m_form;
    std::unique_ptr<QPrinter> m_printer;
    QPrintPreviewWidget *m_view = nullptr;
    QLabel *m_zoomLabel = nullptr;
    QLabel *m_pageLabel = nullptr;
    QAction *m_printerSetup = nullptr;
    QAction *m_print = nullptr;
    QToolBar *m_toolBar = nullptr;
};

} // namespace documents
