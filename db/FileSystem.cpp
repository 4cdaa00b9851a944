#include "db/FileSystem.h"

#include <QFile>
#include <QFileInfo>
#include <array>
#include <linux/magic.h>
#include <sys/vfs.h>

namespace db {

namespace {

// Network and cluster file systems; numbers not in linux/magic.h come from the file
// systems' own sources.
constexpr std::array<qint64, 17> kNetworkTypes = {
    NFS_SUPER_MAGIC,
    SMB_SUPER_MAGIC,
    CIFS_SUPER_MAGIC,
    SMB2_SUPER_MAGIC,
    V9FS_MAGIC,
    FUSE_SUPER_MAGIC, // sshfs, glusterfs, s3fs, rclone...
    CODA_SUPER_MAGIC,
    AFS_SUPER_MAGIC,
    AFS_FS_MAGIC,
    CEPH_SUPER_MAGIC,
    0x564C,     // NCP (NetWare)
    OCFS2_SUPER_MAGIC,
    0x01161970, // GFS2
    0x0BD00BD0, // Lustre
    0x47504653, // GPFS
    0x20030528, // OrangeFS
    0x786F4256, // VirtualBox shared folders
};

} // namespace

FileSystemKind fileSystemKind(qint64 typeNumber)
{
    for (const qint64 network : kNetworkTypes) {
        if (network == typeNumber)
            return FileSystemKind::Network;
    }
    return FileSystemKind::Local;
}

std::optional<qint64> fileSystemType(const QString &path)
{
    const QFileInfo info(path);
    const QString probed = info.exists() ? info.absoluteFilePath() : info.absolutePath();
    struct statfs status = {};
    if (::statfs(QFile::encodeName(probed).constData(), &status) != 0)
        return std::nullopt;
    // f_type is signed on some architectures: CIFS's number reads negative there.
    return qint64(quint32(status.f_type));
}

FileSystemKind fileSystemKindOf(const QString &path)
{
    const std::optional<qint64> type = fileSystemType(path);
    return type ? fileSystemKind(*type) : FileSystemKind::Local;
}

const char *journalModeFor(FileSystemKind kind)
{
    return kind == FileSystemKind::Network ? "DELETE" : "WAL";
}

} // namespace db
