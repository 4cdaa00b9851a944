#include "db/Description.h"

#include "db/DbError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace db {

namespace {

const QString kProvider = u"SQLite"_s;
const QString kServerProvider = u"PostgreSQL"_s;

// Connection-string pairs "key=value;...". A value may stand between double or single
// quotes, the quote doubled inside. An unquoted value runs to the next ";" that starts
// another pair: files written before values were quoted hold a database path with ";"
// bare, and a piece without "=" can only be the rest of that path.
QHash<QString, QString> parsePairs(QStringView text)
{
    QHash<QString, QString> pairs;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype eq = text.indexOf(u'=', pos);
        if (eq < 0)
            break;
        const QString key = text.mid(pos, eq - pos).trimmed().toString().toLower();
        qsizetype valueStart = eq + 1;
        while (valueStart < text.size() && text[valueStart] == u' ')
            ++valueStart;
        QString value;
        qsizetype next;
        if (valueStart < text.size() && (text[valueStart] == u'"' || text[valueStart] == u'\'')) {
            const QChar quote = text[valueStart];
            qsizetype i = valueStart + 1;
            while (i < text.size()) {
                if (text[i] == quote) {
                    if (i + 1 < text.size() && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    break;
                }
                value += text[i++];
            }
            next = text.indexOf(u';', i);
        } else {
            next = text.indexOf(u';', valueStart);
            while (next >= 0) {
                const qsizetype following = text.indexOf(u';', next + 1);
                const QStringView piece = text.mid(next + 1, (following < 0 ? text.size() : following) - next - 1);
                if (piece.contains(u'=') || piece.trimmed().isEmpty())
                    break;
                next = following;
            }
            value = text.mid(valueStart, (next < 0 ? text.size() : next) - valueStart).trimmed().toString();
        }
        if (!key.isEmpty())
            pairs.insert(key, value);
        if (next < 0)
            break;
        pos = next + 1;
    }
    return pairs;
}

// A value as the connection-string format writes it: bare when it reads back as it is,
// else between double quotes with each double quote doubled.
QString connectionValue(const QString &value)
{
    const bool bare = !value.contains(u';') && !value.startsWith(u'"') && !value.startsWith(u'\'')
        && value.trimmed() == value;
    if (bare)
        return value;
    QString quoted = value;
    quoted.replace(u'"', u"\"\""_s);
    return u'"' + quoted + u'"';
}

QString decode(const QByteArray &bytes)
{
    // Files written by the old platform's service are UTF-16 with a byte-order mark.
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        auto decoder = QStringDecoder(bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                                    : QStringConverter::Utf16BE);
        return decoder(bytes.mid(2));
    }
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

} // namespace

void writeDescriptionFile(const QString &udlPath, const QString &dbPath)
{
    QFile file(udlPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw DbError(u"Não foi possível criar o arquivo de descrição %1: %2"_s.arg(
            udlPath, file.errorString()));
    const QString text = u"[oledb]\n"
                         u"; Everything after this line is an OLE DB initstring\n"
                         u"Provider=%1;Data Source=%2\n"_s.arg(
                             kProvider, connectionValue(QFileInfo(dbPath).absoluteFilePath()));
    const QByteArray bytes = text.toUtf8();
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    const QString error = file.errorString();
    file.close();
    if (!written) {
        file.remove(); // made here a moment ago: never leave half a description behind
        throw DbError(u"Não foi possível gravar o arquivo de descrição %1: %2"_s.arg(udlPath, error));
    }
}

ArchiveDescription readDescription(const QString &udlPath)
{
    QFile file(udlPath);
    if (!file.open(QIODevice::ReadOnly))
        throw DbError(u"Não foi possível ler o arquivo de descrição %1: %2"_s.arg(
            udlPath, file.errorString()));
    const QString text = decode(file.readAll());
    QString connectionString;
    for (const QString &rawLine : text.split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.compare(u"[oledb]"_s, Qt::CaseInsensitive) == 0)
            continue;
        connectionString = line;
        break;
    }
    const QHash<QString, QString> pairs = parsePairs(connectionString);
    if (!pairs.contains(u"provider"_s))
        throw DbError(u"O arquivo de descrição %1 não é válido: falta \"Provider=\"."_s.arg(udlPath));
    const QString provider = pairs.value(u"provider"_s);
    if (provider.compare(kServerProvider, Qt::CaseInsensitive) == 0)
        return {Provider::PostgreSQL, {}, serverAddressFrom(pairs, udlPath)};
    if (provider.compare(kProvider, Qt::CaseInsensitive) != 0)
        throw DbError(u"Provedor desconhecido \"%1\" no arquivo de descrição %2 (use Provider=%3 ou Provider=%4)."_s.arg(
            provider, udlPath, kProvider, kServerProvider));
    const QString source = pairs.value(u"data source"_s);
    if (source.isEmpty())
        throw DbError(u"O arquivo de descrição %1 não é válido: falta \"Data Source=\"."_s.arg(udlPath));
    // A relative name is taken from the description file's folder, never the working one.
    return {Provider::SQLite, QDir(QFileInfo(udlPath).absolutePath()).absoluteFilePath(source), {}};
}

QString databaseFromDescription(const QString &udlPath)
{
    const ArchiveDescription description = readDescription(udlPath);
    if (description.provider != Provider::SQLite)
        throw DbError(u"O arquivo de descrição %1 aponta para o servidor PostgreSQL %2; aqui é "
                      u"preciso um arquivo (Provider=%3)."_s.arg(
                          udlPath, description.server.displayName(), kProvider));
    return description.databasePath;
}

} // namespace db
