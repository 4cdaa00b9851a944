#include "db/ResultRows.h"

#include <cstring>

namespace db {

namespace {

// One byte saying what a cell holds, then its value: 8 bytes for numbers, a length in
// 7-bit groups and the bytes for texts and blobs.
enum Tag : char { Null, Integer, Real, Text, Blob };

struct Reader {
    const char *p;

    char tag() { return *p++; }
    quint64 length()
    {
        quint64 value = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(*p++);
            value |= quint64(byte & 0x7F) << shift;
            if (!(byte & 0x80))
                return value;
        }
    }
    template <typename T>
    T number()
    {
        T value;
        std::memcpy(&value, p, sizeof value);
        p += sizeof value;
        return value;
    }
    void skip()
    {
        switch (tag()) {
        case Integer:
        case Real:
            p += 8;
            break;
        case Text:
        case Blob:
            p += length();
            break;
        default:
            break;
        }
    }
};

} // namespace

void ResultRows::Batch::beginRow()
{
    m_rowStarts.push_back(quint32(m_bytes.size()));
}

void ResultRows::Batch::addNull()
{
    m_bytes.push_back(Null);
}

void ResultRows::Batch::addInteger(qint64 value)
{
    m_bytes.push_back(Integer);
    const auto *bytes = reinterpret_cast<const char *>(&value);
    m_bytes.insert(m_bytes.end(), bytes, bytes + sizeof value);
}

void ResultRows::Batch::addReal(double value)
{
    m_bytes.push_back(Real);
    const auto *bytes = reinterpret_cast<const char *>(&value);
    m_bytes.insert(m_bytes.end(), bytes, bytes + sizeof value);
}

void ResultRows::Batch::addLength(quint64 length)
{
    do {
        char byte = char(length & 0x7F);
        length >>= 7;
        if (length)
            byte = char(byte | 0x80);
        m_bytes.push_back(byte);
    } while (length);
}

void ResultRows::Batch::addText(const char *utf8, int bytes)
{
    m_bytes.push_back(Text);
    addLength(quint64(bytes));
    m_bytes.insert(m_bytes.end(), utf8, utf8 + bytes);
}

void ResultRows::Batch::addBlob(const void *data, int bytes)
{
    m_bytes.push_back(Blob);
    addLength(quint64(bytes));
    const auto *begin = static_cast<const char *>(data);
    m_bytes.insert(m_bytes.end(), begin, begin + bytes);
}

ResultRows::ResultRows(int columns) : m_columns(columns) {}

int ResultRows::count() const
{
    std::lock_guard lock(m_mutex);
    return int(m_rows.size());
}

bool ResultRows::isComplete() const
{
    std::lock_guard lock(m_mutex);
    return m_complete;
}

std::optional<QString> ResultRows::error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

QVariant ResultRows::value(int row, int column) const
{
    std::lock_guard lock(m_mutex);
    if (row < 0 || size_t(row) >= m_rows.size() || column < 0 || column >= m_columns)
        return {};
    const RowRef ref = m_rows[size_t(row)];
    Reader cell{m_chunks[ref.chunk].data() + ref.offset};
    for (int c = 0; c < column; ++c)
        cell.skip();
    switch (cell.tag()) {
    case Integer:
        return QVariant(cell.number<qint64>());
    case Real:
        return QVariant(cell.number<double>());
    case Text: {
        const auto length = qsizetype(cell.length());
        return QVariant(QString::fromUtf8(cell.p, length));
    }
    case Blob: {
        const auto length = qsizetype(cell.length());
        return QVariant(QByteArray(cell.p, length));
    }
    default:
        return {};
    }
}

int ResultRows::waitFor(int rows) const
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_complete || m_rows.size() >= size_t(rows); });
    return int(m_rows.size());
}

void ResultRows::append(Batch &batch)
{
    const size_t rows = batch.m_rowStarts.size();
    {
        std::lock_guard lock(m_mutex);
        for (size_t r = 0; r < rows; ++r) {
            const size_t begin = batch.m_rowStarts[r];
            const size_t end = r + 1 < rows ? batch.m_rowStarts[r + 1] : batch.m_bytes.size();
            const size_t length = end - begin;
            if (m_chunks.empty() || m_chunks.back().capacity() - m_chunks.back().size() < length) {
                // Small results stay small; big ones grow by chunks of a mebibyte.
                const size_t next = m_chunks.empty() ? kFirstChunkBytes
                                                     : std::min<size_t>(m_chunks.back().capacity() * 2, kChunkBytes);
                m_chunks.emplace_back();
                m_chunks.back().reserve(std::max(next, length));
            }
            std::vector<char> &chunk = m_chunks.back();
            m_rows.push_back({quint32(m_chunks.size() - 1), quint32(chunk.size())});
            chunk.insert(chunk.end(), batch.m_bytes.begin() + qsizetype(begin),
                         batch.m_bytes.begin() + qsizetype(end));
        }
    }
    batch.m_bytes.clear();
    batch.m_rowStarts.clear();
    m_changed.notify_all();
}

void ResultRows::end(std::optional<QString> error)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_complete)
            return;
        m_complete = true;
        m_error = std::move(error);
    }
    m_changed.notify_all();
}

qint64 ResultRows::memoryBytes() const
{
    std::lock_guard lock(m_mutex);
    qint64 bytes = qint64(m_rows.capacity() * sizeof(RowRef));
    for (const std::vector<char> &chunk : m_chunks)
        bytes += qint64(chunk.capacity());
    return bytes;
}

} // namespace db
