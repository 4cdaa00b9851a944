#pragma once
#include <QString>
#include <optional>

namespace db {

/// Where an archive file lies, as far as SQLite's journal cares: the write-ahead log
/// keeps its index in shared memory, which only works among processes of one machine.
enum class FileSystemKind { Local, Network };

/// The kind of a file system by its type number (statfs f_type): NFS, SMB/CIFS, 9p, FUSE
/// mounts, cluster and distributed file systems count as network file systems.
FileSystemKind fileSystemKind(qint64 typeNumber);

/// The type number of the file system holding path (or, for a file not made yet, its
/// folder); nullopt when it cannot be read.
std::optional<qint64> fileSystemType(const QString &path);

/// fileSystemKind of the file system holding path; Local when it cannot be read.
FileSystemKind fileSystemKindOf(const QString &path);

/// The journal mode an archive is opened in: the write-ahead log on a local disk (readers
/// and one writer of any process at once), the rollback journal on a network file system
/// (its file locks are the ones a file server keeps).
const char *journalModeFor(FileSystemKind kind);

} // namespace db
