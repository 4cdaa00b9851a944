#pragma once
#include <QList>
#include <QPair>
#include <QString>
#include <atomic>
#include <functional>

namespace copying {

/// Shows one line to the user (progress, notes).
using Say = std::function<void(const QString &line)>;

/// What a copy carried and found again in the target.
struct CopySummary {
    QList<QPair<QString, qint64>> rows; ///< per table
    qint64 pages = 0;
    qint64 pagesAside = 0;
};

/// Copies the whole archive `fromUdl` names (rows, pages, pages moved aside) into the
/// archive `toUdl` names, which must be new or empty, then verifies the copy: the rows of
/// every table counted and every page's SHA-256 compared, source against target. Only a
/// verified copy becomes the target's archive. Throws db::DbError with the reason; the
/// target is then as it was (the message says what, if anything, stayed). `cancel`, when
/// set, stops the copy at the next row or page as a failure.
CopySummary copyArchive(const QString &fromUdl, const QString &toUdl, const Say &say,
                        const std::atomic<bool> *cancel = nullptr);

/// "3 processos, 10 documentos, ..." for the final line.
QString describe(const CopySummary &summary);

} // namespace copying
