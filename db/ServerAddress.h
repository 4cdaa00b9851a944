#pragma once
#include <QHash>
#include <QString>
#include <optional>

namespace db {

/// Where an archive on a database server lives, as a description file names it with OLE DB's
/// key names: `Data Source=<host>[:<port>]`, `Initial Catalog=<database>`, `User ID=<role>`,
/// and an optional `Password=` (libpq's password file and environment are the better place).
struct ServerAddress {
    QString host;                   ///< name, address, or a socket folder (starts with '/')
    std::optional<int> port;        ///< the server's default when absent
    QString database;
    QString role;
    std::optional<QString> password; ///< absent when not given or empty

    /// "role@host:port/database", for messages; never shows the password.
    QString displayName() const;
    bool operator==(const ServerAddress &) const = default;
};

/// The server fields of a description file's pairs (keys in lower case, as read). Throws
/// DbError naming the description file and the missing or malformed key.
ServerAddress serverAddressFrom(const QHash<QString, QString> &pairs, const QString &udlPath);

} // namespace db
