#include "documents/DocumentExport.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/PageTexts.h"
#include "db/PageWords.h"
#include "db/Query.h"
#include "editing/Prompt.h"
#include "editing/lib.h"
#include "pdf/PdfError.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QWidget>

using namespace Qt::StringLiterals;
using pages::DocumentKey;
using pages::PageStore;

namespace documents {

namespace {

// Read when the file is written, one page at a time, from whichever store holds it.
pdf::ExportPage storedPage(const std::shared_ptr<const PageStore> &store, const QString &name)
{
    return {pdf::PageSource::reader(name, [store, name] {
        std::optional<QByteArray> bytes = store->pageBytes(name);
        if (!bytes)
            throw pdf::PdfError(u"A página %1 não existe mais."_s.arg(name));
        return *bytes;
    })};
}

// The words recognised on the page, for the PDF's invisible text; none when not yet read.
void addWords(pdf::ExportPage &page, db::PageTexts *texts, const DocumentKey &key, int number)
{
    if (!texts)
        return;
    const std::optional<db::PageText> text = texts->find({key.process, key.document, number});
    if (!text || !text->texto)
        return;
    const std::optional<db::PageWords> words = db::PageWords::decode(text->palavras);
    if (!words)
        return;
    page.wordsPicture = words->imageSize;
    for (const db::PageWord &word : words->words)
        page.words.append({word.text, word.box});
}

QList<pdf::ExportPage> storedPages(const std::shared_ptr<const PageStore> &store, const DocumentKey &key,
                                   db::PageTexts *texts)
{
    QList<pdf::ExportPage> result;
    for (const QString &name : store->listPages(key)) {
        result.append(storedPage(store, name));
        addWords(result.last(), texts, key, int(result.size()));
    }
    return result;
}

// The archive's page texts, when it has them.
std::unique_ptr<db::PageTexts> pageTexts(db::Connection &connection)
{
    std::unique_ptr<db::PageTexts> texts = db::PageTexts::on(connection);
    return texts && texts->available() ? std::move(texts) : nullptr;
}

QString withPdfSuffix(const QString &path)
{
    return path.endsWith(u".pdf"_s, Qt::CaseInsensitive) ? path : path + u".pdf"_s;
}

} // namespace

DocumentExport::DocumentExport(QWidget *parent) : QObject(parent), m_parent(parent)
{
    setObjectName(u"DocumentExport"_s);
}

QStringList DocumentExport::dialogFilters()
{
    return {u"Documento em PDF (*.pdf)"_s, u"Processo inteiro em PDF (*.pdf)"_s};
}

ExportContent DocumentExport::documentContent(db::Connection &connection, std::shared_ptr<const PageStore> store,
                                              const DocumentKey &key)
{
    db::Query query(&connection);
    query.addSql(u"Select descricao,ementa,palavras_chave From documento Where processo="_s + lib::quoted(key.process)
                 + u" and cod="_s + lib::quoted(key.document));
    query.open();
    ExportContent content;
    if (!query.isEmpty())
        content.metadata = {query.asText(0), query.asText(1), query.asText(2)};
    content.documents.append({QString(), storedPages(store, key, pageTexts(connection).get())});
    return content;
}

ExportContent DocumentExport::processContent(db::Connection &connection, std::shared_ptr<const PageStore> store,
                                             const QString &process)
{
    ExportContent content;
    content.metadata.title = lib::LookupValue(connection, process, u"cod"_s, u"descricao"_s, u"processo"_s);
    content.metadata.subject = u"Processo %1"_s.arg(process);
    db::Query query(&connection);
    query.addSql(u"Select cod,descricao From documento Where processo="_s + lib::quoted(process) + u" Order By cod"_s);
    query.open();
    const std::unique_ptr<db::PageTexts> texts = pageTexts(connection);
    for (; !query.isEmpty() && !query.eof(); query.next()) {
        const QString code = query.asText(0);
        if (!PageStore::canName({process, code}))
            continue; // a code that names no page has none
        QList<pdf::ExportPage> pages = storedPages(store, {process, code}, texts.get());
        if (!pages.isEmpty())
            content.documents.append({code + u" - "_s + query.asText(1), std::move(pages)});
    }
    return content;
}

void DocumentExport::run(db::Connection &connection, std::shared_ptr<const PageStore> store, const DocumentKey &key)
{
    const std::optional<editing::Prompt::SaveChoice> choice =
        editing::prompt().saveFileChoice(u"Exportar PDF"_s, dialogFilters());
    if (!choice)
        return;
    const QString target = withPdfSuffix(choice->path);
    const bool wholeProcess = choice->filter == 1;
    ExportContent content;
    try {
        content = wholeProcess ? processContent(connection, store, key.process) : documentContent(connection, store, key);
    } catch (const db::DbError &error) {
        editing::prompt().message(u"O PDF não foi gravado: %1"_s.arg(error.message()));
        return;
    } catch (const pages::PageError &error) {
        editing::prompt().message(u"O PDF não foi gravado: %1"_s.arg(error.message()));
        return;
    }

    QProgressDialog progress(m_parent);
    progress.setObjectName(u"DlgExportarPdf"_s);
    progress.setWindowTitle(u"Exportar PDF"_s);
    progress.setLabelText(wholeProcess ? u"Gravando o processo %1 em PDF..."_s.arg(key.process)
                                       : u"Gravando o documento %1 em PDF..."_s.arg(key.document));
    auto *cancel = new QPushButton(u"Cancelar"_s, &progress);
    cancel->setObjectName(u"BtnCancelar"_s);
    progress.setCancelButton(cancel);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500); // a short document is done before it would show
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    try {
        pdf::exportPdf(target, content.metadata, content.documents, [&](int done, int total) {
            progress.setMaximum(total);
            progress.setValue(done);
            emit progressed(done, total);
            return !progress.wasCanceled();
        });
    } catch (const pdf::PdfError &error) {
        editing::prompt().message(u"O PDF não foi gravado: %1"_s.arg(error.message()));
    }
}

} // namespace documents
