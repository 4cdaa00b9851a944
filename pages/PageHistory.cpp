#include "pages/PageHistory.h"

#include "db/Connection.h"
#include "db/DbError.h"

#include <QLoggingCategory>

using namespace Qt::StringLiterals;

namespace pages {

namespace {

Q_LOGGING_CATEGORY(lcPageHistory, "cartulo.pages.history")

using db::history::WrittenRow;

// The names a server's triggers give its page rows' changes.
constexpr QStringView kPages = u"lauda";
constexpr QStringView kPagesAside = u"lauda_excluida";
constexpr QStringView kIncluded = u"página incluída";
constexpr QStringView kRemoved = u"página removida";
constexpr QStringView kPictureChanged = u"imagem da página alterada";
constexpr QStringView kRenumbered = u"página renumerada";
constexpr QStringView kMovedAside = u"página posta de lado";
constexpr QStringView kPutBack = u"página devolvida";

struct PageAt {
    QString process;
    QString document;
    int number = 0;

    QString record() const { return process + document; }
    QString key() const { return record() + QString::number(number).rightJustified(3, u'0'); }
};

std::optional<PageAt> pageNamed(const QString &name)
{
    const std::optional<PageStore::NamedPage> named = PageStore::pageOfName(name);
    if (!named)
        return std::nullopt;
    return PageAt{named->key.process, named->key.document, named->page};
}

enum class Hash { Kept, Left }; // a server keeps no SHA-256 of the pages put aside

// What the server's rows hold of a page: its codes and number, and its picture's print
// where the change concerns the picture. Codes are five digits: nothing to escape.
QString pageJson(const PageAt &page, const std::optional<PagePrint> &print = std::nullopt, Hash hash = Hash::Kept)
{
    QString json = uR"({"processo":"%1","documento":"%2","numero":%3)"_s.arg(page.process, page.document)
                       .arg(page.number);
    if (print) {
        json += uR"(,"bytes":%1)"_s.arg(print->bytes);
        if (hash == Hash::Kept && !print->sha256.isEmpty())
            json += uR"(,"sha256":"%1")"_s.arg(print->sha256);
    }
    return json + u'}';
}

WrittenRow row(QStringView operation, QStringView table, const PageAt &page, const QString &before,
               const QString &after)
{
    return {operation.toString(), table.toString(), page.key(), page.record(), before, after};
}

// A picture that is known not to have changed is no change (the server writes none either).
bool samePicture(const std::optional<PagePrint> &before, const std::optional<PagePrint> &after)
{
    return before && after && *before == *after;
}

std::optional<PagePrint> printAt(const PageChange &change, qsizetype index)
{
    return index < change.prints.size() ? change.prints[index] : std::nullopt;
}

void addPictureChange(std::vector<WrittenRow> &rows, const PageAt &page, const std::optional<PagePrint> &before,
                      const std::optional<PagePrint> &after)
{
    if (!samePicture(before, after))
        rows.push_back(row(kPictureChanged, kPages, page, pageJson(page, before), pageJson(page, after)));
}

void addRemoval(std::vector<WrittenRow> &rows, const PageChange &change)
{
    const DocumentKey &key = change.document;
    const PageAt removed{key.process, key.document, change.page};
    rows.push_back(row(kRemoved, kPages, removed, pageJson(removed, change.oldPrint), {}));
    // Each following page down by one, named by the number it has now.
    for (int number = change.page + 1; number <= change.lastPage; ++number) {
        const PageAt was{key.process, key.document, number};
        const PageAt now{key.process, key.document, number - 1};
        rows.push_back(row(kRenumbered, kPages, now, pageJson(was), pageJson(now)));
    }
}

void addMovedAside(std::vector<WrittenRow> &rows, const PageChange &change)
{
    std::vector<WrittenRow> aside;
    for (qsizetype i = 0; i < change.names.size(); ++i) {
        const std::optional<PageAt> page = pageNamed(change.names[i]);
        if (!page)
            continue;
        const std::optional<PagePrint> print = printAt(change, i);
        rows.push_back(row(kRemoved, kPages, *page, pageJson(*page, print), {}));
        aside.push_back(row(kMovedAside, kPagesAside, *page, {}, pageJson(*page, print, Hash::Left)));
    }
    rows.insert(rows.end(), aside.begin(), aside.end());
}

void addPutBack(std::vector<WrittenRow> &rows, const PageChange &change)
{
    for (qsizetype i = 0; i < change.names.size(); ++i) {
        const std::optional<PageAt> page = pageNamed(change.names[i]);
        if (!page)
            continue;
        const std::optional<PagePrint> print = printAt(change, i);
        rows.push_back(row(kIncluded, kPages, *page, {}, pageJson(*page, print)));
        rows.push_back(row(kPutBack, kPagesAside, *page, pageJson(*page, print, Hash::Left), {}));
    }
}

void addGift(std::vector<WrittenRow> &rows, const PageChange &change)
{
    for (int number = 1; number <= change.lastPage; ++number) {
        const PageAt was{change.document.process, change.document.document, number};
        const PageAt now{change.to.process, change.to.document, number};
        rows.push_back(row(kRenumbered, kPages, now, pageJson(was), pageJson(now)));
    }
}

} // namespace

PageHistory::PageHistory(const db::Connection &connection) : m_connection(&connection) {}

std::vector<WrittenRow> PageHistory::rowsOf(const PageChange &change)
{
    std::vector<WrittenRow> rows;
    const DocumentKey &key = change.document;
    const PageAt page{key.process, key.document, change.page};
    switch (change.kind) {
    case PageChange::Kind::Stored:
        if (change.replaced)
            addPictureChange(rows, page, change.oldPrint, change.newPrint);
        else
            rows.push_back(row(kIncluded, kPages, page, {}, pageJson(page, change.newPrint)));
        break;
    case PageChange::Kind::Turned:
        addPictureChange(rows, page, change.oldPrint, change.newPrint);
        break;
    case PageChange::Kind::Exchanged:
        // The pictures traded places; each number now holds the other's.
        addPictureChange(rows, page, change.oldPrint, change.newPrint);
        addPictureChange(rows, {key.process, key.document, change.page + 1}, change.newPrint, change.oldPrint);
        break;
    case PageChange::Kind::Removed:
        addRemoval(rows, change);
        break;
    case PageChange::Kind::MovedAside:
        addMovedAside(rows, change);
        break;
    case PageChange::Kind::PutBack:
        addPutBack(rows, change);
        break;
    case PageChange::Kind::DocumentGiven:
        addGift(rows, change);
        break;
    }
    return rows;
}

void PageHistory::operator()(const PageChange &change) const
{
    if (!m_connection || !m_connection->isOpen() || m_connection->server())
        return; // a server's triggers record its page rows themselves
    const std::vector<WrittenRow> rows = rowsOf(change);
    try {
        db::history::append(m_connection->handle(), rows);
    } catch (const db::DbError &error) {
        // The pages did change: the history lacks these rows, and the log says so.
        QStringList keys;
        for (const WrittenRow &written : rows)
            keys << written.operacao + u' ' + written.chave;
        qCWarning(lcPageHistory) << "page change not recorded in the history:" << error.message() << keys;
    }
}

} // namespace pages
