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

    QStandardItemModel *model() const { return m_model; }

private:
    QStandardItemModel *m_model = nullptr;
    QTableView *m_table = nullptr;
};

} // namespace editing
