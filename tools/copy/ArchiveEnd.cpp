#include "tools/copy/ArchiveEnd.h"

#include "db/DbError.h"
#include "db/Description.h"
#include "pages/PageStore.h"
#include "tools/copy/FileArchive.h"
#include "tools/copy/ServerArchive.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace copying {

PageId PageId::of(int process, int document, int page, int copy)
{
    return {qint64(process) * 100'000'000 + qint64(document) * 1000 + page, copy};
}

QString PageId::stem() const
{
    const auto code = [](int value) { return QString::number(value).rightJustified(5, u'0'); };
    return pages::PageStore::pageName({code(process()), code(document())}, page()).chopped(4); // ".jpg"
}

QStringList columnNames(const db::schema::TableSpec &table)
{
    QStringList names;
    for (const auto &column : table.columns)
        names << column.name;
    return names;
}

void refuseUnlessEmptyArchive(const QString &name, const Holdings &holdings)
{
    QStringList held;
    for (const auto &[table, rows] : holdings.rows) {
        if (rows > 0)
            held << u"%1 registro(s) em %2"_s.arg(QString::number(rows), table);
    }
    if (holdings.pages > 0)
        held << u"%1 lauda(s)"_s.arg(holdings.pages);
    if (holdings.pagesAside > 0)
        held << u"%1 lauda(s) excluída(s)"_s.arg(holdings.pagesAside);
    if (!held.isEmpty())
        throw db::DbError(u"O destino %1 não está vazio (%2); nada foi copiado. A cópia só vai para um "
                          u"arquivo novo ou vazio."_s.arg(name, held.join(u", "_s)));
}

std::unique_ptr<ArchiveEnd> openArchiveEnd(const QString &udlPath, Role role)
{
    const db::ArchiveDescription description = db::readDescription(udlPath);
    if (description.provider == db::Provider::PostgreSQL)
        return std::make_unique<ServerArchive>(description.server, role);
    // The pages live beside the description file, whatever folder the database is in.
    return std::make_unique<FileArchive>(QFileInfo(udlPath).absolutePath(), description.databasePath, role);
}

} // namespace copying
