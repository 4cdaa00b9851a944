#pragma once
#include <QString>
#include <QStringList>

// The benchmark's archive: what cartulo-gen is asked for, and making it when missing.
namespace bench {

struct DocumentRef {
    QString process;  ///< five digits
    QString document; ///< five digits
    QString stem() const { return process + document; }
};

struct ArchivePlan {
    QString name; ///< "full" or "small"
    int processes = 0;
    int documents = 0;
    int types = 0;
    int pagesDocs = 0;
    int pageDpi = 0; ///< 0: the generator's mix of 150 and 300 dpi
    int pageTexts = 0; ///< recognised page texts, made without images
    QString seed;
    QString until;

    QString bigProcess;     ///< the process of 200 documents
    int bigProcessDocs = 200;
    DocumentRef a4Document; ///< first document of bigProcess, with A4 pages at 300 dpi
    int a4Pages = 0;
    DocumentRef manyPagesDocument; ///< the document with 999 pages
    int manyPages = 999;
    int manyPagesDpi = 0;

    static ArchivePlan full();
    static ArchivePlan small();

    QStringList generatorArgs(const QString &dir) const;
};

/// Makes sure `dir` holds the archive `plan` describes, running cartulo-gen when it is
/// missing or was made with other options (only a folder this benchmark made is ever
/// cleared). Also places a copy of the `cartulo` executable and its picture library there,
/// because the program finds its archive next to its own file.
void prepareArchive(const ArchivePlan &plan, const QString &dir, const QString &binDir, bool regenerate);

/// A private PostgreSQL server as the tests start one (scripts/pg-test-server.sh): its data,
/// log and socket in `socketDir`, no TCP port; stopped, and its data removed, at the end
/// (the folder too when it is this run's alone).
class PrivateServer {
public:
    PrivateServer(const QString &socketDir, bool folderOfThisRun); ///< throws BenchError
    ~PrivateServer();
    PrivateServer(const PrivateServer &) = delete;
    PrivateServer &operator=(const PrivateServer &) = delete;

    /// A description file's line naming `database` on this server as its superuser.
    QString descriptionLine(const QString &database) const;
    const QString &socketDir() const { return m_socketDir; }

private:
    QString m_socketDir;
    bool m_folderOfThisRun;
};

/// The same for an archive on a server: `dir` (the program folder) gets a cartulo.udl
/// naming the server's database (a copy of `serverUdl`, or `descriptionLine` for a
/// database this benchmark makes on its private server), and the archive is generated
/// there with cartulo-gen when it is empty. An archive holding rows is used only when the
/// folder's stamp says this benchmark generated it with the same options.
void prepareServerArchive(const ArchivePlan &plan, const QString &dir, const QString &binDir,
                          const QString &serverUdl, const QString &descriptionLine);

} // namespace bench
