#pragma once
#include <QHeaderView>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "editing/Edits.h"

class QPushButton;
class QTableView;
class TLabeledEdit;

namespace db {
class Connection;
class Query;
class QueryModel;
} // namespace db

/// Vertical header of a grid that shows the row indicator (a triangle) on the current row
/// of a query and nothing on the others.
class RowIndicatorHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit RowIndicatorHeader(QWidget *parent = nullptr);
    void setIndicatedRow(int row); ///< -1: none
    int indicatedRow() const { return m_row; }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    int m_row = -1;
};

/// Lookup frame: filter field, list and OK/Cancel. The caller sets ColTitles, calls
/// Prepare with a select whose first column is the value to return and whose second is
/// the one to filter on, shows the dialog holding the frame, and on OK reads ChosenValue.
class TFramePesquisa : public TScreen {
    Q_OBJECT
public:
    explicit TFramePesquisa(QWidget *parent = nullptr);
    ~TFramePesquisa() override;

    void setConnection(db::Connection *connection); ///< ConnArq

    TLabeledEdit *EdtValor = nullptr; ///< caption "Valor....:"
    QTableView *GrdFrame = nullptr;
    QPushButton *BtnCancel = nullptr; ///< "Cancelar", Esc
    QPushButton *BtnOk = nullptr;     ///< "OK", the default button
    db::Query *QryFrame = nullptr;
    db::QueryModel *DSFrame = nullptr;

    QString BaseSql;      ///< the statement given to Prepare
    QString ChosenValue;  ///< first column of the row chosen with OK; kept until the next OK
    QStringList ColTitles; ///< one title per selected column, set before Prepare

    RowIndicatorHeader *rowIndicator() const { return m_indicator; }

public slots:
    /// Runs the statement unfiltered, stands on its last row and titles the columns.
    /// Throws db::DbError when the statement fails (the list stays empty).
    void Prepare(const QString &statement);
    /// Re-runs BaseSql with a prefix filter on the second column: ... like "<text>%".
    void EdtValorChange();
    /// OK is usable only while the query has a current row.
    void QryFrameAfterScroll();
    /// ChosenValue := first column of the current row ("" when none); closes with OK.
    void BtnOkClick();
    /// Closes with Cancel; ChosenValue keeps its value.
    void BtnCancelClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    void styleGrid();
    void rememberFilterColumn();
    void closeDialog(int result);

    RowIndicatorHeader *m_indicator = nullptr;
    QString m_filterColumn;
};
