#include "bench/Harness.h"

#include <QFile>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;

namespace bench {

void SqliteCloser::operator()(sqlite3 *handle) const noexcept
{
    sqlite3_close(handle);
}

ReadOnlyDatabase openReadOnly(const QString &databasePath)
{
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(databasePath.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    ReadOnlyDatabase db(raw);
    if (rc != SQLITE_OK)
        throw BenchError(QStringLiteral("cannot open ") + databasePath);
    return db;
}

namespace {

std::vector<double> sorted(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values;
}

} // namespace

double Samples::median() const
{
    if (m_ms.empty())
        return 0;
    const auto s = sorted(m_ms);
    const size_t n = s.size();
    return n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
}

double Samples::p95() const
{
    if (m_ms.empty())
        return 0;
    const auto s = sorted(m_ms);
    const auto rank = size_t(std::ceil(0.95 * double(s.size())));
    return s[std::clamp<size_t>(rank, 1, s.size()) - 1];
}

double Samples::min() const
{
    return m_ms.empty() ? 0 : *std::min_element(m_ms.begin(), m_ms.end());
}

Samples measure(int runs, const std::function<void()> &prepare, const std::function<void()> &step)
{
    Samples samples;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        Stopwatch clock;
        step();
        samples.add(clock.elapsedMs());
    }
    return samples;
}

double peakMemoryMb()
{
    // Files under /proc report no size: read until the end, not up to a size.
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

void resetPeakMemory()
{
    QFile clearRefs(u"/proc/self/clear_refs"_s);
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

QString loadAverage()
{
    QFile file(u"/proc/loadavg"_s);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return u"?"_s;
    return QString::fromLatin1(file.readAll()).section(u' ', 0, 0);
}

QString formatMs(double ms)
{
    if (ms >= 100)
        return QString::number(ms, 'f', 0) + u" ms"_s;
    if (ms >= 10)
        return QString::number(ms, 'f', 1) + u" ms"_s;
    return QString::number(ms, 'f', 2) + u" ms"_s;
}

void printTable(const QList<Row> &rows, const QString &heading)
{
    const QStringList titles = {u"Figure"_s, u"runs"_s, u"median"_s, u"p95"_s, u"peak MB"_s,
                                u"baseline (median)"_s, u"ratio"_s, u"target"_s, u"met"_s};
    QList<QStringList> cells;
    for (const Row &row : rows) {
        const bool measured = !row.samples.isEmpty();
        QString baseline = u"-"_s, ratio = u"-"_s;
        if (row.ratio) {
            baseline = row.ratio->baseline + u": "_s + formatMs(row.ratio->baselineSamples.median()) + u" ("_s
                + QString::number(row.ratio->baselineSamples.count()) + u" runs)"_s;
            ratio = row.ratio->text;
        }
        cells << QStringList{row.figure,
                             measured ? QString::number(row.samples.count()) : u"-"_s,
                             measured ? formatMs(row.samples.median()) : u"-"_s,
                             measured ? formatMs(row.samples.p95()) : u"-"_s,
                             row.peakMb ? QString::number(*row.peakMb, 'f', 1) : u"-"_s,
                             baseline,
                             ratio,
                             row.target,
                             !row.met ? u"FAILED"_s : *row.met ? u"yes"_s : u"NO"_s};
    }
    QList<qsizetype> widths;
    for (qsizetype c = 0; c < titles.size(); ++c) {
        qsizetype w = titles[c].size();
        for (const QStringList &line : cells)
            w = std::max(w, line[c].size());
        widths << w;
    }
    auto printLine = [&](const QStringList &line) {
        QString text;
        for (qsizetype c = 0; c < line.size(); ++c) {
            const bool number = c >= 1 && c <= 4;
            text += number ? line[c].rightJustified(widths[c]) : line[c].leftJustified(widths[c]);
            if (c + 1 < line.size())
                text += u"  "_s;
        }
        std::printf("%s\n", qPrintable(text.trimmed()));
    };
    std::printf("\n%s\n\n", qPrintable(heading));
    printLine(titles);
    QStringList rule;
    for (qsizetype w : widths)
        rule << QString(w, u'-');
    printLine(rule);
    for (const QStringList &line : cells)
        printLine(line);
    bool anyNote = false;
    for (const Row &row : rows) {
        if (row.note.isEmpty())
            continue;
        if (!anyNote)
            std::printf("\nNotes:\n");
        anyNote = true;
        std::printf("  %s: %s\n", qPrintable(row.figure), qPrintable(row.note));
    }
    std::fflush(stdout);
}

} // namespace bench
