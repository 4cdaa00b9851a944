#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

struct sqlite3;

namespace db {

class Connection;

/// The substring index of the documents' searchable text: an FTS5 trigram table
/// `documento_busca` over ementa, descricao and palavras_chave, keyed by documento's rowid,
/// holding no text and no positions (detail=none: smaller than the table it serves).
///
/// It only narrows: a `like "%x%"` hit holds every trigram of fold(x), so a MATCH on the
/// AND of those trigrams finds a superset of the hits, and the like() check that stays in
/// the statement gives exactly the hits of a full scan. The tokenizer folds case itself,
/// the same way as like() for every letter below U+0250 (lookupTrigrams keeps to those).
///
/// Triggers in plain SQL keep it, so any SQLite client may write the archive. A small table
/// `busca_estado` says how far the index is filled (by rowid) and holds a fingerprint of
/// the rows it covers (count and highest rowid), kept by the same triggers: a copy whose
/// rowids were renumbered (a dump restored by the sqlite3 shell) or a write that skipped
/// the triggers shows as a fingerprint that does not match the table.
namespace searchindex {

inline constexpr QStringView kTable = u"documento_busca";
inline constexpr QStringView kStateTable = u"busca_estado";
/// Bumped whenever the table's layout or its triggers change: an index of another
/// version is replaced.
inline constexpr int kVersion = 2;

/// Statements that create the index, empty and filled to the end (a new archive).
QStringList createStatements();

enum class Condition {
    Current, ///< of this version, filled, and matching the table
    Filling, ///< of this version, filled up to some document
    Stale,   ///< filled, but not matching the table
    Missing, ///< absent, or of another version
};

/// How the archive's index stands, with those kept from queues (db/QueuedIndex.h): the
/// first of them that is not current decides. For a filled index the fingerprint is compared with
/// the table, which reads every rowid (tens of milliseconds on a million documents).
/// Throws DbError.
Condition condition(sqlite3 *handle);

/// True when the index of this version is filled to the last document (one row read;
/// no comparison with the table). Never throws.
bool isFilled(sqlite3 *handle);

/// The tokens to look a folded fragment up with: its trigrams made only of characters
/// below U+0250, quoted for MATCH. Empty when the fragment has none.
QStringList lookupTrigrams(const QString &foldedFragment);

struct Progress {
    qint64 done = 0;  ///< documents in the index
    qint64 total = 0; ///< documents in the table when the work started
};
using ProgressCallback = std::function<void(const Progress &)>;

struct UpdateOptions {
    /// Documents filled per transaction: other writers wait at most one of them. Zero: all
    /// at once, with large batches (an archive nobody else uses, as cartulo-gen makes).
    int documentsPerTransaction = 2000;
    ProgressCallback progress;
    const std::atomic<bool> *cancel = nullptr;
};

/// Brings the index, and those kept from queues, up to date: replaces one of another
/// version, empties a stale one, fills what is missing and folds the rows written since. Returns false when cancelled; what was filled stays and the next
/// update goes on from there. Throws DbError.
bool update(sqlite3 *handle, const UpdateOptions &options = {});
/// update() on the connection's archive, on its own handle; nothing on a server archive,
/// whose trigram index the server keeps. Throws DbError.
void ensure(Connection &connection);
/// Removes every index object (of any version), those kept from queues too. Throws DbError.
void drop(sqlite3 *handle);

/// Keeps the archive's index up to date in the background: checks it, and brings it up to
/// date on a connection and a thread of its own while the program goes on. Until it is
/// done, searches do without the index.
class Upkeep : public QObject {
    Q_OBJECT
public:
    explicit Upkeep(QObject *parent = nullptr);
    ~Upkeep() override; ///< cancels and waits

    /// Starts on the archive file (cancels what runs). Nothing happens for an empty path.
    void start(const QString &databasePath);
    void cancel();
    bool isRunning() const;
    /// The index was found or made current since start().
    bool isReady() const;

signals:
    /// The index has to be (re)built: it is filled in steps from now on.
    void buildStarted();
    void progressed(qint64 done, qint64 total);
    /// ready: the index is current. error: why it could not be made so (empty when
    /// cancelled or ready).
    void finished(bool ready, const QString &error);

private:
    struct Run;
    std::unique_ptr<Run> m_run;
    bool m_ready = false;
    bool m_running = false;
};

} // namespace searchindex
} // namespace db
