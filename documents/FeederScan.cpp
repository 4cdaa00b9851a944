#include "documents/FeederScan.h"

#include "documents/Scanner.h"
#include "editing/Prompt.h"

using namespace Qt::StringLiterals;
using pages::PageStore;

namespace documents {

FeederScan::FeederScan(Scanner &scanner, const pages::PageStore &store) : m_scanner(scanner), m_store(store) {}

namespace {

QString lastStoredText(const pages::DocumentKey &key, int lastPage, int stored)
{
    if (stored == 0)
        return u"Nenhuma página foi guardada."_s;
    return u"A última página guardada é a %1 (%2)."_s.arg(lastPage).arg(PageStore::pageName(key, lastPage));
}

} // namespace

int FeederScan::run(QWidget *window, const Target &target, const PageStored &pageStored)
{
    const int room = PageStore::kMaxPages - target.listedPages;
    int lastPage = target.listedPages;
    const FeederBatch batch = m_scanner.acquireBatch(window, room, [&](const ScannedPage &page) {
        // The store numbers the page: it is the next one of the document.
        lastPage = m_store.appendBytes(target.key, page.jpeg);
        pageStored(PageStore::pageName(target.key, lastPage), page.image);
    });
    switch (batch.end) {
    case FeederBatch::End::FeederEmpty:
    case FeederBatch::End::Cancelled:
        break;
    case FeederBatch::End::EmptyAtStart:
        editing::prompt().message(batch.error);
        break;
    case FeederBatch::End::Full:
        editing::prompt().message(u"O documento chegou ao limite de %1 páginas: as folhas que restam no alimentador "
                                  u"não foram lidas. %2"_s.arg(PageStore::kMaxPages).arg(lastStoredText(target.key, lastPage, batch.stored)));
        break;
    case FeederBatch::End::Failed:
        editing::prompt().message(u"A digitalização pelo alimentador parou. %1%2 %3"_s.arg(
            batch.error, batch.error.endsWith(u'.') ? QString() : u"."_s, lastStoredText(target.key, lastPage, batch.stored)));
        break;
    }
    if (batch.stored > 0 && target.announcedPages > 0 && lastPage > target.announcedPages)
        editing::prompt().message(u"Número de laudas informado excedido"_s);
    return batch.stored;
}

} // namespace documents
