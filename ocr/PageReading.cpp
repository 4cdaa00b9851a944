#include "ocr/PageReading.h"

#include "db/DbError.h"
#include "editing/JpegImage.h"
#include "pages/PageStore.h"

#include <QLoggingCategory>

using namespace Qt::StringLiterals;

namespace ocr {

namespace {

Q_LOGGING_CATEGORY(lcOcr, "cartulo.ocr")

} // namespace

PageReading::PageReading(const ArchiveSource &source) : m_supply(PageSupply::open(source)) {}

PageReading::~PageReading() = default;

QString PageReading::whyNot()
{
    return m_supply->whyNot();
}

int PageReading::lookAgain(int limit)
{
    Waiting found = m_supply->waiting(limit);
    m_round = std::move(found.places);
    m_next = 0;
    m_total = found.total;
    return m_total;
}

bool PageReading::readNext()
{
    while (m_next < m_round.size()) {
        const db::PagePlace place = m_round[m_next++];
        const bool done = read(place);
        if (m_total > 0)
            --m_total; // read here, read elsewhere or gone: no longer waiting for this pass
        if (done)
            return true;
    }
    return false;
}

db::PageText PageReading::recognise(const QByteArray &bytes)
{
    if (!m_recognizer)
        m_recognizer = std::make_unique<Recognizer>(); // no Portuguese data: OcrError stops the work
    db::PageText text;
    text.impressao = fingerprint(bytes);
    try {
        const Recognition read = m_recognizer->read(editing::jpeg::decode(bytes), jpegDpi(bytes));
        text.texto = read.text;
        text.palavras = read.words.encode();
    } catch (const editing::jpeg::JpegError &error) {
        text.nota = u"A imagem da página não pôde ser lida: %1"_s.arg(error.message());
    } catch (const OcrError &error) {
        text.nota = error.message();
    }
    return text;
}

bool PageReading::read(const db::PagePlace &place)
{
    if (m_unreadable.contains({place.process, place.document, place.page}))
        return false;
    const std::unique_ptr<PageClaim> claim = m_supply->claim(place);
    if (!claim || m_supply->hasText(place))
        return false; // another workstation reads it, or has just done so
    std::optional<QByteArray> bytes;
    try {
        bytes = m_supply->bytes(place);
    } catch (const pages::PageError &error) {
        // A file that cannot be read now is left for this session, not tried over and over.
        qCWarning(lcOcr) << "page" << place.process << place.document << place.page << "unreadable:" << error.message();
        m_unreadable.insert({place.process, place.document, place.page});
        return false;
    }
    if (!bytes)
        return false; // gone since the pages were counted
    const db::PageText text = recognise(*bytes);
    if (text.nota)
        qCInfo(lcOcr) << "page" << place.process << place.document << place.page << "not read:" << *text.nota;
    if (!m_supply->storeIfCurrent(place, text)) {
        qCDebug(lcOcr) << "page" << place.process << place.document << place.page << "changed while read";
        return false;
    }
    return true;
}

} // namespace ocr
