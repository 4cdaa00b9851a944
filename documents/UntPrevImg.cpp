#include "documents/UntPrevImg.h"

#include "editing/JpegImage.h"
#include "editing/Prompt.h"

#include <QAction>
#include <QActionGroup>
#include <QBuffer>
#include <QDialogButtonBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace documents {

namespace {

Q_LOGGING_CATEGORY(lcReport, "cartulo.report")

// The picture travels in the PDF's XMP metadata, which PDF readers keep and ignore.
constexpr QByteArrayView kPictureOpen = "<cartulo:picture>";
constexpr QByteArrayView kPictureClose = "</cartulo:picture>";
constexpr QByteArrayView kEmptyPicture = "<cartulo:picture/>";

QByteArray pictureBytes(const QImage &picture)
{
    if (picture.hasAlphaChannel()) { // the icon: PNG keeps its transparency
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
        return buffer.data();
    }
    return editing::jpeg::encode(picture, 95);
}

QByteArray xmpPacket(const QImage &picture)
{
    QByteArray packet =
        "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
        " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
        "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\""
        " xmlns:cartulo=\"urn:cartulo:report:1\">\n"
        "   <dc:format>application/pdf</dc:format>\n   ";
    if (picture.isNull())
        packet += kEmptyPicture.toByteArray();
    else
        packet += kPictureOpen.toByteArray() + pictureBytes(picture).toBase64() + kPictureClose.toByteArray();
    packet += "\n  </rdf:Description>\n </rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>";
    return packet;
}

void applyPreviewZoom100(QPrintPreviewWidget *view)
{
    view->setZoomMode(QPrintPreviewWidget::CustomZoom);
    view->setZoomFactor(1.0);
}

} // namespace

// ---------------------------------------------------------------- the report page

QPageLayout report::pageLayout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Millimeter);
}

void report::configurePrinter(QPrinter &printer)
{
    printer.setPageLayout(pageLayout());
    printer.setCopyCount(1);
    printer.setDuplex(QPrinter::DuplexNone);
    printer.setPrintRange(QPrinter::AllPages);
    printer.setPaperSource(QPrinter::Auto);
    printer.setFullPage(false);
}

void report::paintPage(QPainter &painter, const QRect &paintRect, const QImage &picture)
{
    if (picture.isNull())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(paintRect), picture); // the whole picture over the whole area
}

void report::print(QPrinter &printer, const QImage &picture)
{
    QPainter painter;
    if (!painter.begin(&printer))
        throw ReportError(u"Não foi possível iniciar a impressão."_s);
    const QRect area(QPoint(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size());
    paintPage(painter, area, picture);
    painter.end();
}

namespace {

void paintPages(QPagedPaintDevice &device, int resolution, const ReportPages &pages, QSize box)
{
    QPainter painter;
    if (!painter.begin(&device))
        throw ReportError(u"Não foi possível iniciar a impressão."_s);
    const QRect area(QPoint(0, 0), device.pageLayout().paintRectPixels(resolution).size());
    for (int index = 0; index < pages.count; ++index) {
        if (index > 0 && !device.newPage())
            throw ReportError(u"Não foi possível passar à página %1 da impressão."_s.arg(index + 1));
        // One picture at a time: a long document never lies in memory whole.
        report::paintPage(painter, area, pages.picture(index, box));
    }
    painter.end();
}

} // namespace

void report::print(QPrinter &printer, const ReportPages &pages, QSize box)
{
    paintPages(printer, printer.resolution(), pages, box);
}

void report::savePdf(const QString &path, const ReportPages &pages)
{
    {
        QPdfWriter writer(path);
        writer.setPageLayout(pageLayout());
        writer.setResolution(300);
        writer.setCreator(u"Cartulo"_s);
        writer.setTitle(u"Relatório"_s);
        paintPages(writer, writer.resolution(), pages, {});
    }
    if (!QFile::exists(path))
        throw ReportError(u"Não foi possível gravar o relatório em %1."_s.arg(path));
}

void report::savePdf(const QString &path, const QImage &picture)
{
    {
        QPdfWriter writer(path);
        writer.setPageLayout(pageLayout());
        writer.setResolution(300);
        writer.setCreator(u"Cartulo"_s);
        writer.setTitle(u"Relatório"_s);
        writer.setDocumentXmpMetadata(xmpPacket(picture));
        QPainter painter;
        if (!painter.begin(&writer))
            throw ReportError(u"Não foi possível gravar o relatório em %1."_s.arg(path));
        const QRect area(QPoint(0, 0), writer.pageLayout().paintRectPixels(writer.resolution()).size());
        paintPage(painter, area, picture);
        painter.end();
    }
    if (!QFile::exists(path))
        throw ReportError(u"Não foi possível gravar o relatório em %1."_s.arg(path));
}

QImage report::loadPdf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ReportError(u"Não foi possível abrir o relatório %1: %2"_s.arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    const QString notReport = u"O arquivo %1 não é um relatório gravado pelo Cartulo."_s.arg(path);
    if (!bytes.startsWith("%PDF-"))
        throw ReportError(notReport);
    if (bytes.contains(kEmptyPicture))
        return {};
    const qsizetype open = bytes.indexOf(kPictureOpen);
    const qsizetype close = open < 0 ? -1 : bytes.indexOf(kPictureClose, open);
    if (close < 0)
        throw ReportError(notReport);
    const qsizetype start = open + kPictureOpen.size();
    const auto decoded = QByteArray::fromBase64Encoding(bytes.mid(start, close - start),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    QImage picture;
    if (decoded)
        picture.loadFromData(*decoded);
    if (picture.isNull())
        throw ReportError(notReport);
    return picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

// ---------------------------------------------------------------- TFrmPrevImg

TFrmPrevImg::TFrmPrevImg(QObject *parent) : QObject(parent) {}

TFrmPrevImg::~TFrmPrevImg() = default;

void TFrmPrevImg::setPicture(const QImage &picture)
{
    m_picture = picture;
    m_pages.reset();
}

void TFrmPrevImg::setPages(ReportPages pages)
{
    m_picture = QImage();
    m_pages = std::move(pages);
}

void TFrmPrevImg::saveTo(const QString &path) const
{
    if (m_pages)
        report::savePdf(path, *m_pages);
    else
        report::savePdf(path, m_picture);
}

void TFrmPrevImg::printTo(QPrinter &printer, bool preview) const
{
    if (!m_pages) {
        report::print(printer, m_picture);
        return;
    }
    // The preview shows a page about as large as the screen shows A4 at 100%.
    const QSize previewBox = report::pageLayout().paintRectPixels(96).size();
    report::print(printer, *m_pages, preview ? previewBox : QSize());
}

std::unique_ptr<PrintPreviewWindow> TFrmPrevImg::createPreviewWindow(QWidget *parent)
{
    return std::make_unique<PrintPreviewWindow>(*this, parent);
}

void TFrmPrevImg::Preview(QWidget *parent)
{
    const auto window = createPreviewWindow(parent);
    window->setModal(true);
    window->exec();
}

// ---------------------------------------------------------------- the preview window

PrintPreviewWindow::PrintPreviewWindow(TFrmPrevImg &form, QWidget *parent)
    : QDialog(parent), m_form(form), m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    setObjectName(u"DlgPrintPreview"_s);
    setWindowTitle(u"Print Preview"_s);
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    report::configurePrinter(*m_printer);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(u"TbPreview"_s);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    layout->addWidget(m_toolBar);

    m_view = new QPrintPreviewWidget(m_printer.get(), this);
    m_view->setObjectName(u"PrevPage"_s);
    m_view->setAccessibleName(u"Página do relatório"_s);
    layout->addWidget(m_view, 1);

    auto *status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    m_zoomLabel = new QLabel(u"0%"_s, status);
    m_zoomLabel->setObjectName(u"LblZoom"_s);
    m_zoomLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_zoomLabel->setMinimumWidth(60);
    m_pageLabel = new QLabel(u"Page"_s, status);
    m_pageLabel->setObjectName(u"LblPage"_s);
    status->addWidget(m_zoomLabel);
    status->addWidget(m_pageLabel, 1);
    layout->addWidget(status);

    auto *zoomGroup = new QActionGroup(this);
    zoomGroup->setExclusive(true);
    QAction *fit = addAction(u"ActZoomFit"_s, u"Zoom to fit"_s, true);
    QAction *hundred = addAction(u"ActZoom100"_s, u"100%"_s, true);
    QAction *width = addAction(u"ActZoomWidth"_s, u"Zoom to width"_s, true);
    for (QAction *zoom : {fit, hundred, width})
        zoomGroup->addAction(zoom);
    hundred->setChecked(true);
    m_toolBar->addSeparator();
    QAction *first = addAction(u"ActFirstPage"_s, u"First page"_s);
    QAction *previous = addAction(u"ActPrevPage"_s, u"Previous page"_s);
    QAction *next = addAction(u"ActNextPage"_s, u"Next page"_s);
    QAction *last = addAction(u"ActLastPage"_s, u"Last page"_s);
    m_toolBar->addSeparator();
    m_printerSetup = addAction(u"ActPrinterSetup"_s, u"Printer setup"_s);
    m_print = addAction(u"ActPrint"_s, u"Print"_s);
    m_printerSetup->setEnabled(false); // until the page has been built
    m_print->setEnabled(false);
    m_toolBar->addSeparator();
    QAction *save = addAction(u"ActSaveReport"_s, u"Save Report"_s);
    QAction *load = addAction(u"ActLoadReport"_s, u"Load Report"_s);
    m_toolBar->addSeparator();
    QAction *closeAction = addAction(u"ActClose"_s, u"&Close"_s);

    connect(fit, &QAction::triggered, m_view, &QPrintPreviewWidget::fitInView);
    connect(hundred, &QAction::triggered, this, [this] { applyPreviewZoom100(m_view); });
    connect(width, &QAction::triggered, m_view, &QPrintPreviewWidget::fitToWidth);
    connect(first, &QAction::triggered, this, [this] { showPage(1); });
    connect(previous, &QAction::triggered, this, [this] { showPage(m_view->currentPage() - 1); });
    connect(next, &QAction::triggered, this, [this] { showPage(m_view->currentPage() + 1); });
    connect(last, &QAction::triggered, this, [this] { showPage(m_view->pageCount()); });
    // Scrolling through the pages moves the current page as well.
    for (QScrollBar *bar : m_view->findChildren<QScrollBar *>())
        connect(bar, &QScrollBar::valueChanged, this, [this] { updateStatus(); });
    connect(m_printerSetup, &QAction::triggered, this, [this] { printerSetup(); });
    connect(m_print, &QAction::triggered, this, [this] { printWithDialog(); });
    connect(save, &QAction::triggered, this, [this] { saveReport(); });
    connect(load, &QAction::triggered, this, [this] { loadReport(); });
    connect(closeAction, &QAction::triggered, this, &QDialog::accept);

    connect(m_view, &QPrintPreviewWidget::paintRequested, this, [this](QPrinter *printer) {
        try {
            m_form.printTo(*printer, true);
        } catch (const ReportError &error) {
            qCWarning(lcReport) << error.message();
        }
    });
    connect(m_view, &QPrintPreviewWidget::previewChanged, this, [this] {
        m_printerSetup->setEnabled(true);
        m_print->setEnabled(true);
        updateStatus();
    });
    applyPreviewZoom100(m_view);

    // Centred on the screen, as the old preview opened.
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        resize(available.size() * 0.8);
        move(available.center() - rect().center());
    }
}

PrintPreviewWindow::~PrintPreviewWindow() = default;

QAction *PrintPreviewWindow::addAction(const QString &objectName, const QString &hint, bool checkable)
{
    auto *action = new QAction(hint, this);
    action->setObjectName(objectName);
    action->setToolTip(QString(hint).remove(u'&'));
    action->setStatusTip(action->toolTip());
    action->setCheckable(checkable);
    m_toolBar->addAction(action);
    return action;
}

QString PrintPreviewWindow::zoomText() const
{
    return m_zoomLabel->text();
}

QString PrintPreviewWindow::pageText() const
{
    return m_pageLabel->text();
}

void PrintPreviewWindow::showPage(int page)
{
    m_view->setCurrentPage(std::clamp(page, 1, std::max(1, m_view->pageCount())));
    updateStatus();
}

void PrintPreviewWindow::updateStatus()
{
    m_zoomLabel->setText(u"%1%"_s.arg(qRound(m_view->zoomFactor() * 100)));
    m_pageLabel->setText(u"Page %1 of %2"_s.arg(m_view->currentPage()).arg(m_view->pageCount()));
}

void PrintPreviewWindow::printerSetup()
{
    QPrintDialog dialog(m_printer.get(), this);
    dialog.setObjectName(u"DlgPrinterSetup"_s);
    dialog.setWindowTitle(u"Printer setup"_s);
    // The dialog only chooses the printer and its settings for "Print": its button must
    // not promise to print.
    if (auto *buttons = dialog.findChild<QDialogButtonBox *>())
        if (QPushButton *confirm = buttons->button(QDialogButtonBox::Ok))
            confirm->setText(u"OK"_s);
    if (dialog.exec() == QDialog::Accepted) {
        report::configurePrinter(*m_printer); // the report keeps its A4 page and margins
        m_view->updatePreview();
    }
}

void PrintPreviewWindow::printWithDialog()
{
    QPrintDialog dialog(m_printer.get(), this);
    dialog.setObjectName(u"DlgPrint"_s);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const int copies = m_printer->copyCount();
    report::configurePrinter(*m_printer);
    m_printer->setCopyCount(copies);
    try {
        m_form.printTo(*m_printer);
    } catch (const ReportError &error) {
        editing::prompt().message(error.message());
    }
}

void PrintPreviewWindow::saveReport()
{
    const auto path = editing::prompt().saveFileName(u"Save Report"_s, u"Relatório PDF (*.pdf)"_s);
    if (!path)
        return;
    QString target = *path;
    if (!target.endsWith(u".pdf"_s, Qt::CaseInsensitive))
        target += u".pdf"_s;
    try {
        m_form.saveTo(target);
    } catch (const ReportError &error) {
        editing::prompt().message(error.message());
    }
}

void PrintPreviewWindow::loadReport()
{
    const auto path = editing::prompt().openFileName(u"Load Report"_s, u"Relatório PDF (*.pdf)"_s);
    if (!path)
        return;
    try {
        m_form.setPicture(report::loadPdf(*path));
        m_view->updatePreview();
    } catch (const ReportError &error) {
        editing::prompt().message(error.message());
    }
}

} // namespace documents
