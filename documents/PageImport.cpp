#include "documents/PageImport.h"

#include "editing/JpegImage.h"
#include "editing/Prompt.h"
#include "pdf/PdfError.h"
#include "pdf/PdfImport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProgressDialog>
#include <QPushButton>
#include <QWidget>

#include <algorithm>
#include <memory>
#include <numeric>
#include <vector>

using namespace Qt::StringLiterals;
using pages::DocumentKey;
using pages::PageError;
using pages::PageStore;

namespace documents {

namespace {

Q_LOGGING_CATEGORY(lcImport, "cartulo.documents.import")

const QString kNothingAdded = u"Nenhuma página foi incluída."_s;

// A file that cannot be taken in; the message names it.
struct Refused {
    QString message;
};

QString shownName(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

bool looksLikePdf(const QString &path)
{
    if (QFileInfo(path).suffix().compare(u"pdf"_s, Qt::CaseInsensitive) == 0)
        return true;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(5) == "%PDF-";
}

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Refused{u"Não foi possível ler o arquivo %1: %2"_s.arg(shownName(path), file.errorString())};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Refused{u"Não foi possível ler o arquivo %1: %2"_s.arg(shownName(path), file.errorString())};
    return bytes;
}

} // namespace

// One chosen file, checked: a JPEG picture (one page) or a PDF that opened.
class PageImport::Source {
public:
    explicit Source(const QString &path) : m_path(path)
    {
        if (!QFileInfo::exists(path))
            throw Refused{u"Arquivo nao encontrado"_s};
        if (looksLikePdf(path)) {
            try {
                m_pdf = std::make_unique<pdf::PdfImport>(path);
            } catch (const pdf::PdfError &error) {
                throw Refused{error.message()};
            }
            return;
        }
        if (!editing::jpeg::isJpegData(readWhole(path)))
            throw Refused{u"O arquivo %1 não é uma imagem JPEG nem um documento PDF."_s.arg(shownName(path))};
    }

    QString fileName() const { return QFileInfo(m_path).fileName(); }
    int pageCount() const { return m_pdf ? m_pdf->pageCount() : 1; }

    /// Page `index` as the JPEG to store. Throws Refused when it cannot be read.
    QByteArray page(int index) const
    {
        if (!m_pdf)
            return readWhole(m_path); // read again: the check's copy is not kept in memory
        try {
            return m_pdf->readPage(index).jpeg;
        } catch (const pdf::PdfError &error) {
            throw Refused{error.message()};
        }
    }

private:
    QString m_path;
    std::unique_ptr<pdf::PdfImport> m_pdf;
};

PageImport::PageImport(QWidget *parent) : QObject(parent), m_parent(parent)
{
    setObjectName(u"PageImport"_s);
}

PageImport::~PageImport() = default;

QString PageImport::dialogFilters()
{
    return u"Imagens JPEG e documentos PDF (*.jpg *.pdf);;Arquivos de Imagem JPEG (*.jpg);;Documentos PDF (*.pdf)"_s;
}

namespace {

// Names compared as a file dialog lists them: runs of digits by their value ("p2" before
// "p10"), everything else without regard to case. QCollator's numeric mode is missing
// under the C locale, so the order is settled here whatever the locale.
int compareNames(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            const qsizetype startA = i, startB = j;
            while (i < a.size() && a.at(i).isDigit())
                ++i;
            while (j < b.size() && b.at(j).isDigit())
                ++j;
            // Leading zeros dropped, the longer run of digits is the larger number.
            QStringView digitsA = QStringView(a).mid(startA, i - startA);
            QStringView digitsB = QStringView(b).mid(startB, j - startB);
            while (digitsA.size() > 1 && digitsA.front() == u'0')
                digitsA = digitsA.mid(1);
            while (digitsB.size() > 1 && digitsB.front() == u'0')
                digitsB = digitsB.mid(1);
            if (digitsA.size() != digitsB.size())
                return digitsA.size() < digitsB.size() ? -1 : 1;
            if (const int byDigits = digitsA.compare(digitsB); byDigits != 0)
                return byDigits;
            continue;
        }
        const QChar x = a.at(i).toCaseFolded(), y = b.at(j).toCaseFolded();
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    return (a.size() - i) < (b.size() - j) ? -1 : (a.size() - i) > (b.size() - j) ? 1 : 0;
}

} // namespace

QStringList PageImport::inNameOrder(QStringList paths)
{
    std::stable_sort(paths.begin(), paths.end(), [](const QString &a, const QString &b) {
        const int byName = compareNames(QFileInfo(a).fileName(), QFileInfo(b).fileName());
        return byName != 0 ? byName < 0 : a < b;
    });
    return paths;
}

namespace {

// Takes out the pages one file stored, last first, so that no page is renumbered.
// Returns what could not be undone, for the message.
QString takeOut(const PageStore &store, const DocumentKey &key, const std::vector<int> &stored)
{
    try {
        for (auto page = stored.rbegin(); page != stored.rend(); ++page)
            store.removePage(key, *page);
        return {};
    } catch (const PageError &error) {
        qCWarning(lcImport) << "pages of an unfinished file stay:" << error.message();
        return u"\nAs páginas já incluídas deste arquivo não puderam ser retiradas: "_s + error.message();
    }
}

} // namespace

PageImport::Outcome PageImport::addFiles(const PageStore &store, const DocumentKey &key, const QStringList &paths)
{
    Outcome outcome;
    const QStringList ordered = inNameOrder(paths);

    // Every file is checked before the first page is written.
    std::vector<std::unique_ptr<Source>> sources;
    QStringList refusals;
    for (const QString &path : ordered) {
        try {
            sources.push_back(std::make_unique<Source>(path));
        } catch (const Refused &refused) {
            refusals << (ordered.size() == 1 ? refused.message : shownName(path) + u": "_s + refused.message);
        }
    }
    if (!refusals.isEmpty()) {
        editing::prompt().message(ordered.size() == 1 ? refusals.first()
                                                      : refusals.join(u'\n') + u"\n"_s + kNothingAdded);
        return outcome;
    }
    const int total = std::accumulate(sources.begin(), sources.end(), 0,
                                      [](int sum, const auto &source) { return sum + source->pageCount(); });
    const int existing = store.pageCount(key);
    if (existing + total > PageStore::kMaxPages) {
        editing::prompt().message(
            u"O documento tem %1 páginas e os arquivos escolhidos têm %2: juntos passariam de %3 páginas, "
            u"o máximo que um documento pode ter. "_s.arg(existing).arg(total).arg(PageStore::kMaxPages)
            + kNothingAdded);
        return outcome;
    }

    QProgressDialog progress(m_parent);
    progress.setObjectName(u"DlgIncluirPaginas"_s);
    progress.setWindowTitle(u"Adicionar páginas"_s);
    auto *cancel = new QPushButton(u"Cancelar"_s, &progress);
    cancel->setObjectName(u"BtnCancelar"_s);
    progress.setCancelButton(cancel);
    progress.setRange(0, total);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500); // a JPEG file or two are in before it would show
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setValue(0);

    int done = 0;
    for (const auto &source : sources) {
        std::vector<int> stored;
        try {
            for (int index = 0; index < source->pageCount(); ++index) {
                if (progress.wasCanceled()) {
                    takeOut(store, key, stored);
                    outcome.cancelled = true;
                    return outcome;
                }
                progress.setLabelText(u"Incluindo %1: página %2 de %3"_s.arg(source->fileName())
                                          .arg(index + 1)
                                          .arg(source->pageCount()));
                const int page = store.appendBytes(key, source->page(index));
                stored.push_back(page);
                progress.setValue(++done);
                emit pageStored(PageStore::pageName(key, page));
            }
        } catch (const Refused &refused) {
            const QString leftover = takeOut(store, key, stored);
            editing::prompt().message(refused.message + u"\nO arquivo %1 não foi incluído."_s.arg(source->fileName())
                                      + leftover);
            return outcome;
        } catch (const PageError &error) {
            const QString leftover = takeOut(store, key, stored);
            if (error.kind() == PageError::Kind::Io)
                throw;
            editing::prompt().message(error.message() + u"\nO arquivo %1 não foi incluído."_s.arg(source->fileName())
                                      + leftover);
            return outcome;
        }
        ++outcome.filesAdded;
        outcome.pagesAdded += int(stored.size());
    }
    return outcome;
}

} // namespace documents
