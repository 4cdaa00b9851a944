#include "tools/copy/PageFolder.h"

#include "db/DbError.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace copying {

namespace {

constexpr int kStrangersShown = 5;

struct CloseDir {
    void operator()(DIR *dir) const noexcept { ::closedir(dir); }
};

const QRegularExpression &pageNamePattern(Shelf shelf)
{
    static const QRegularExpression pages(u"^(\\d{5})(\\d{5})(\\d{3})\\.jpg$"_s);
    static const QRegularExpression aside(u"^(\\d{5})(\\d{5})(\\d{3})(?:_([2-9]|[1-9]\\d{1,8}))?\\.jpg$"_s);
    return shelf == Shelf::Pages ? pages : aside;
}

} // namespace

PageFolderListing::PageFolderListing(const QString &folder, Shelf shelf) : m_folder(folder)
{
    const std::unique_ptr<DIR, CloseDir> dir(::opendir(QFile::encodeName(folder).constData()));
    if (!dir) {
        if (errno == ENOENT)
            return;
        throw db::DbError(u"Não foi possível ler a pasta %1: %2"_s.arg(folder, QString::fromLocal8Bit(std::strerror(errno))));
    }
    const QRegularExpression &pattern = pageNamePattern(shelf);
    errno = 0;
    while (const dirent *entry = ::readdir(dir.get())) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name == u"."_s || name == u".."_s)
            continue;
        // The moved-aside pages' folder inside the pages' one is no stranger.
        if (shelf == Shelf::Pages && name == u"excluidas"_s && entry->d_type == DT_DIR)
            continue;
        const QRegularExpressionMatch match = pattern.match(name);
        const int page = match.hasMatch() ? match.capturedView(3).toInt() : 0;
        if (page < 1) {
            if (m_strangerCount++ < kStrangersShown)
                m_strangers << name;
            continue;
        }
        const int suffix = match.capturedView(4).isEmpty() ? 1 : match.capturedView(4).toInt();
        m_files.push_back({PageId::of(match.capturedView(1).toInt(), match.capturedView(2).toInt(), page).key, suffix});
    }
    if (errno != 0)
        throw db::DbError(u"Não foi possível ler a pasta %1: %2"_s.arg(folder, QString::fromLocal8Bit(std::strerror(errno))));
    std::sort(m_files.begin(), m_files.end());
    m_copies.resize(m_files.size());
    for (size_t i = 0; i < m_files.size(); ++i)
        m_copies[i] = (i > 0 && m_files[i - 1].key == m_files[i].key) ? m_copies[i - 1] + 1 : 1;
}

PageId PageFolderListing::id(qint64 i) const
{
    return {m_files[size_t(i)].key, m_copies[size_t(i)]};
}

QString PageFolderListing::path(qint64 i) const
{
    const File &file = m_files[size_t(i)];
    return m_folder + fileName({file.key, file.suffix}, Shelf::Aside);
}

QString PageFolderListing::fileName(const PageId &id, Shelf shelf)
{
    if (shelf == Shelf::Pages || id.copy == 1)
        return id.stem() + u".jpg"_s;
    return id.stem() + u'_' + QString::number(id.copy) + u".jpg"_s;
}

} // namespace copying
