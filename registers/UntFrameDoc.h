#pragma once
#include "editing/Edits.h"

class QPushButton;
class QTableView;
class QToolButton;

namespace db {
class Query;
class QueryModel;
} // namespace db

/// Process browser: every process, newest code first, with a quick filter on the
/// description. What its three buttons and a double click on the list do belongs to the
/// main window (clicked of BtnSel/BtnNovo/BtnPesq, doubleClicked of GrdProcesso); Enter
/// clicks BtnSel.
class TFrameDoc : public TScreen {
    Q_OBJECT
public:
    explicit TFrameDoc(QWidget *parent = nullptr);
    ~TFrameDoc() override;

    QTableView *GrdProcesso = nullptr;
    db::QueryModel *DSProcesso = nullptr;
    TLabeledEdit *EdtPesq = nullptr; ///< "Pesquisar Processo"
    QToolButton *SBtnPesq = nullptr; ///< runs the filter
    QPushButton *BtnSel = nullptr;   ///< "&Documentos do Processo", Enter
    QPushButton *BtnNovo = nullptr;  ///< "&Novo Processo"
    QPushButton *BtnPesq = nullptr;  ///< "&Processos"
    /// "select * " / "from processo" / "order by cod desc"; opened by the main window.
    db::Query *QryProcesso = nullptr;

    /// Code of the process on the list's current row ("" when the list is empty).
    QString selectedCode() const;

public slots:
    /// Lists the processes whose description holds the filter text, as typed.
    void SBtnPesqClick();
    /// When the filter field has become empty, lists every process again.
    void EdtPesqChange();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildLayout();
    void styleList();
    void reopen(const QStringList &lines);
};
