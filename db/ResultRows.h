#pragma once
// Engine-layer internal, engine-neutral: the rows of one opened query, kept compactly
// (a million search hits take about 100 MB) while a reader appends them, possibly from
// another thread.
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace db {

class ResultRows {
public:
    /// Rows being built by a reader before they are handed over in one go.
    class Batch {
    public:
        void beginRow();
        void addNull();
        void addInteger(qint64 value);
        void addReal(double value);
        void addText(const char *utf8, int bytes);
        void addBlob(const void *data, int bytes);
        int rowCount() const { return int(m_rowStarts.size()); }
        qsizetype bytes() const { return m_bytes.size(); }

    private:
        friend class ResultRows;
        void addLength(quint64 length);
        std::vector<char> m_bytes;
        std::vector<quint32> m_rowStarts;
    };

    explicit ResultRows(int columns);
    ResultRows(const ResultRows &) = delete;
    ResultRows &operator=(const ResultRows &) = delete;

    int columnCount() const { return m_columns; }

    /// Rows readable now.
    int count() const;
    /// True once the reading has ended (every row read, or stopped by an error).
    bool isComplete() const;
    /// Why the reading stopped before the end, if it did.
    std::optional<QString> error() const;

    /// A cell of a readable row: invalid for NULL, else qint64, double, QString or QByteArray.
    QVariant value(int row, int column) const;

    /// Blocks until at least `rows` rows are readable or the reading has ended; returns count().
    int waitFor(int rows) const;

    /// Moves the batch's rows in (the batch is left empty) and wakes whoever waits.
    void append(Batch &batch);
    /// The reading has ended; with an error when it stopped short.
    void end(std::optional<QString> error = std::nullopt);

    /// Bytes held for the rows.
    qint64 memoryBytes() const;

private:
    struct RowRef {
        quint32 chunk;
        quint32 offset;
    };
    static constexpr size_t kFirstChunkBytes = 4096;
    static constexpr size_t kChunkBytes = 1 << 20;

    const int m_columns;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::vector<char>> m_chunks;
    std::vector<RowRef> m_rows;
    bool m_complete = false;
    std::optional<QString> m_error;
};

} // namespace db
