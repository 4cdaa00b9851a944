#pragma once
#include "db/HistoryRead.h"

#include <QDialog>

#include <vector>

class QStandardItemModel;
class QTableView;

namespace editing {

/// "campo: antigo → novo" for each field that differs between two rows kept as JSON
/// objects (either may be empty: an inclusion or an exclusion), one per line.
QString changedFields(const QString &before, const QString &after);

/// A read-only list of one record's history: "Histórico".
class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    /// The columns of the list, in order.
    enum Column { When, Who, Workstation, Operation, Key, Changes, ColumnCount };

    HistoryDialog(const QString &title, const std::vector<db::history::Entry> &entries, QWidget *parent = nullptr);
    ~HistoryDialog() override;

    QStandardItemModel *model() const { return m_model; }

private:
    /// Fits the rows in view to their text. A history of a thousand changes opens at once:
    /// only what is seen is measured, and each row when it comes into view.
    void fitVisibleRows();

    QStandardItemModel *m_model = nullptr;
    QTableView *m_table = nullptr;
    std::vector<bool> m_fitted; ///< per row: its height follows its text at the widths below
    QList<int> m_fittedWidths;  ///< the columns' widths the rows were fitted at
};

} // namespace editing
