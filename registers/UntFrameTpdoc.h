#pragma once
#include "editing/Edits.h"
#include "editing/lib.h"

#include <QPointer>

class QAbstractButton;
class TFrame1;
class TFrmFramePesq;
class TStatusBar;

namespace db {
class Query;
}

/// Document type register: one row of `tipo_arq` at a time; include (one after another),
/// search through the lookup dialog, delete and step. Types are not edited in place.
class TFrameTpDoc : public TScreen {
    Q_OBJECT
public:
    explicit TFrameTpDoc(QWidget *parent = nullptr);
    ~TFrameTpDoc() override;

    TLabeledEdit *EdtCod = nullptr;  ///< "Codigo", the key, never typed in
    TLabeledEdit *EdtDesc = nullptr; ///< "Descricao", upper case
    TFrame1 *PnlTpDoc = nullptr;
    TStatusBar *StatusBar1 = nullptr;
    db::Query *QryTpDoc = nullptr; ///< "select * from tipo_arq"

    /// Built by the main window: (EdtCod, cod), (EdtDesc, descricao); no operation here
    /// reads it.
    BindingTable Bindings;

    /// The one lookup dialog of the program, given by the main window.
    QPointer<TFrmFramePesq> FrmFramePesq;

    /// Copies the current row of QryTpDoc into the two fields.
    void showCurrentRow();

public slots:
    void PnlTpDocBtnIncClick(QAbstractButton *sender);
    void PnlTpDocBtnPesqClick(QAbstractButton *sender);
    void PnlTpDocBtnDelClick(QAbstractButton *sender);
    void PnlTpDocBtnAntClick(QAbstractButton *sender);
    void PnlTpDocBtnSairClick(QAbstractButton *sender);
    void Frame11BtnConfClick(QAbstractButton *sender);

private:
    void buildLayout();
    void bindPanel();
    /// The exit button is the only way back from an inclusion: shown exactly while including.
    void syncExitButton();
};
