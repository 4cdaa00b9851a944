#pragma once
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

struct sqlite3;

// Measuring: samples of one figure, peak memory, and the printed table.
namespace bench {

/// A figure that could not be measured; the table shows the reason.
class BenchError : public std::runtime_error {
public:
    explicit BenchError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};

/// An archive opened read-only with SQLite itself, beside the program.
struct SqliteCloser {
    void operator()(sqlite3 *handle) const noexcept;
};
using ReadOnlyDatabase = std::unique_ptr<sqlite3, SqliteCloser>;
ReadOnlyDatabase openReadOnly(const QString &databasePath); ///< throws BenchError

/// Durations of repeated runs of one step, in milliseconds.
class Samples {
public:
    void add(double ms) { m_ms.push_back(ms); }
    int count() const { return int(m_ms.size()); }
    bool isEmpty() const { return m_ms.empty(); }
    double median() const;
    double p95() const; ///< nearest rank
    double min() const;

private:
    std::vector<double> m_ms;
};

/// Milliseconds since a start, to the microsecond.
class Stopwatch {
public:
    Stopwatch() { m_timer.start(); }
    double elapsedMs() const { return double(m_timer.nsecsElapsed()) / 1e6; }
    void restart() { m_timer.restart(); }

private:
    QElapsedTimer m_timer;
};

/// Runs `step` `runs` times after `prepare` (untimed) each time, timing only `step`.
Samples measure(int runs, const std::function<void()> &prepare, const std::function<void()> &step);

/// Peak resident memory of this process (VmHWM), in MB.
double peakMemoryMb();
/// Starts a new peak (Linux: writing 5 to /proc/self/clear_refs), so the next reading is
/// the peak of what runs in between.
void resetPeakMemory();
/// CLOCK_MONOTONIC in nanoseconds: shared with child processes.
long long monotonicNs();
/// The one-minute load average: other work on the machine shows in every figure, so the
/// table says how busy it was.
QString loadAverage();

/// How a ratio reads and what it must reach.
struct Ratio {
    QString baseline;           ///< what was measured side by side
    Samples baselineSamples;
    double value = 0;           ///< as printed
    QString text;               ///< "12.3x faster", "1.05x of cjpeg"
};

/// One line of the table.
struct Row {
    QString figure;
    Samples samples;
    std::optional<double> peakMb;
    std::optional<Ratio> ratio;
    QString target;
    std::optional<bool> met; ///< unset when the figure failed
    QString note;            ///< hits, sizes, or the failure
};

void printTable(const QList<Row> &rows, const QString &heading);

QString formatMs(double ms);

} // namespace bench
