#include "pages/FolderExchange.h"

#include "editing/JpegImage.h"
#include "pages/PageStore.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace pages {

namespace {

Q_LOGGING_CATEGORY(lcExchange, "cartulo.pages")

bool exists(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), F_OK) == 0;
}

PageError exchangeError(const QString &what)
{
    return PageError(PageError::Kind::Io, u"Não foi possível trocar as páginas de lugar: "_s + what);
}

// Under the folder lock the target is known to be free, so a plain rename replaces nothing.
void renameFree(const QString &from, const QString &to)
{
    if (exists(to))
        throw exchangeError(u"o nome %1 já está em uso"_s.arg(QDir::toNativeSeparators(to)));
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw exchangeError(u"%1 para %2: %3"_s.arg(QDir::toNativeSeparators(from), QDir::toNativeSeparators(to),
                                                   QString::fromLocal8Bit(std::strerror(errno))));
}

// A journal names two page files of the folder, nothing else: a damaged one must not
// send a file anywhere.
bool isPageFileName(const QString &name)
{
    static const QRegularExpression pattern(u"^\\d{10}\\d{3,}\\.jpg$"_s);
    return pattern.match(name).hasMatch();
}

} // namespace

FolderExchange::FolderExchange(QString folder, QString first, QString second)
    : m_folder(std::move(folder)), m_first(std::move(first)), m_second(std::move(second))
{
}

QString FolderExchange::journalName()
{
    return u".troca"_s;
}

QString FolderExchange::parkingName()
{
    return u".troca-pagina"_s;
}

void FolderExchange::run() const
{
    for (int step = 0; step < kSteps; ++step)
        runStep(step);
}

void FolderExchange::runStep(int step) const
{
    const QString parked = m_folder + parkingName();
    switch (step) {
    case 0:
        try {
            editing::jpeg::writeFileAtomically(m_folder + journalName(), (m_first + u'\n' + m_second + u'\n').toUtf8());
        } catch (const editing::jpeg::JpegError &error) {
            throw exchangeError(error.message());
        }
        return;
    case 1: renameFree(m_folder + m_first, parked); return;
    case 2: renameFree(m_folder + m_second, m_folder + m_first); return;
    case 3: renameFree(parked, m_folder + m_second); return;
    case 4:
        if (!QFile::remove(m_folder + journalName()))
            throw exchangeError(u"o registro %1 não pôde ser removido"_s.arg(journalName()));
        return;
    default: throw std::out_of_range("an exchange has steps 0 to 4");
    }
}

bool FolderExchange::isPending(const QString &folder)
{
    return exists(folder + journalName());
}

void FolderExchange::recover(const QString &folder)
{
    const QString journalPath = folder + journalName();
    if (!exists(journalPath))
        return;
    const QString parked = folder + parkingName();
    if (exists(parked)) {
        QByteArray journal;
        try {
            journal = editing::jpeg::readFile(journalPath);
        } catch (const editing::jpeg::JpegError &error) {
            throw exchangeError(error.message());
        }
        const QStringList names = QString::fromUtf8(journal).split(u'\n', Qt::SkipEmptyParts);
        if (names.size() != 2 || !isPageFileName(names[0]) || !isPageFileName(names[1]))
            throw exchangeError(u"o registro %1 está danificado; a página %2 ficou à parte"_s.arg(
                journalName(), QDir::toNativeSeparators(parked)));
        // Parked before the second moved: undone. After: finished. One name is free either way.
        const QString first = folder + names[0];
        const QString second = folder + names[1];
        const QString to = !exists(first) ? first : second;
        renameFree(parked, to);
        qCWarning(lcExchange) << "an interrupted exchange of" << names[0] << "and" << names[1]
                              << (to == first ? "was undone" : "was finished");
    }
    // Without a parked file nothing or everything had moved: both pages are whole.
    if (!QFile::remove(journalPath))
        throw exchangeError(u"o registro %1 não pôde ser removido"_s.arg(journalName()));
}

} // namespace pages
