#include "db/ServerAddress.h"

#include "db/DbError.h"

using namespace Qt::StringLiterals;

namespace db {

namespace {

struct HostAndPort {
    QString host;
    QString port; // empty when not given
};

// "host", "host:port", "[v6 address]:port", a bare v6 address, "/socket/folder:port".
HostAndPort splitHostAndPort(const QString &source)
{
    if (source.startsWith(u'[')) {
        const qsizetype close = source.indexOf(u']');
        if (close < 0)
            return {source, {}};
        const QString rest = source.mid(close + 1);
        return {source.mid(1, close - 1), rest.startsWith(u':') ? rest.mid(1) : rest};
    }
    if (source.count(u':') != 1) // none, or an IPv6 address without brackets
        return {source, {}};
    const qsizetype colon = source.indexOf(u':');
    return {source.left(colon).trimmed(), source.mid(colon + 1).trimmed()};
}

QString required(const QHash<QString, QString> &pairs, const QString &key, const QString &label,
                 const QString &udlPath)
{
    const QString value = pairs.value(key.toLower()).trimmed();
    if (value.isEmpty())
        throw DbError(u"O arquivo de descrição %1 não é válido: falta \"%2=\" (%3)."_s.arg(
            udlPath, key, label));
    return value;
}

} // namespace

QString ServerAddress::displayName() const
{
    QString where = host.contains(u':') ? u'[' + host + u']' : host;
    if (port)
        where += u':' + QString::number(*port);
    return u"%1@%2/%3"_s.arg(role, where, database);
}

ServerAddress serverAddressFrom(const QHash<QString, QString> &pairs, const QString &udlPath)
{
    ServerAddress address;
    const HostAndPort source = splitHostAndPort(
        required(pairs, u"Data Source"_s, u"o servidor"_s, udlPath));
    if (source.host.isEmpty())
        throw DbError(u"O arquivo de descrição %1 não é válido: \"Data Source=\" não diz o servidor."_s
                          .arg(udlPath));
    address.host = source.host;
    if (!source.port.isEmpty()) {
        bool ok = false;
        const int port = source.port.toInt(&ok);
        const bool digitsOnly = std::all_of(source.port.cbegin(), source.port.cend(),
                                            [](QChar c) { return c.isDigit(); });
        if (!ok || !digitsOnly || port < 1 || port > 65535)
            throw DbError(u"O arquivo de descrição %1 não é válido: porta \"%2\" em \"Data Source=\" "
                          u"(use um número de 1 a 65535)."_s.arg(udlPath, source.port));
        address.port = port;
    }
    address.database = required(pairs, u"Initial Catalog"_s, u"o banco de dados"_s, udlPath);
    address.role = required(pairs, u"User ID"_s, u"o usuário do banco"_s, udlPath);
    // Not trimmed: a password may begin or end with a space.
    const QString password = pairs.value(u"password"_s);
    if (!password.isEmpty())
        address.password = password;
    return address;
}

} // namespace db
