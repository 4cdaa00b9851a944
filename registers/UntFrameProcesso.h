#pragma once
#include "editing/Edits.h"
#include "editing/lib.h"

#include <QStringList>

class QAbstractButton;
class QLabel;
class TFrame1;
class TStatusBar;

namespace db {
class Connection;
class Query;
} // namespace db

/// Process register: one row of `processo` at a time, include, edit, delete, step.
/// The command panel PnlProcesso keeps the state; the handlers below add what is
/// particular to processes. Every panel button runs its handler here until the main
/// window routes some of them through its own (which call these).
class TFrameProcesso : public TScreen {
    Q_OBJECT
public:
    explicit TFrameProcesso(QWidget *parent = nullptr);
    ~TFrameProcesso() override;

    TLabeledEdit *EdtCod = nullptr;      ///< "Código", the key, never typed in
    TLabeledEdit *EdtDesc = nullptr;     ///< "Descrição"
    TLabeledEdit *EdtNum = nullptr;      ///< "Número do Processo", numeric keys only
    QLabel *LblDta = nullptr;            ///< "Data do processo"
    TMaskEdit *EdtDta = nullptr;         ///< dd/MM/yy
    TLabeledEdit *EdtNumOfDoc = nullptr; ///< "Número de Documentos", numeric keys only
    TFrame1 *PnlProcesso = nullptr;
    TStatusBar *StatusBar1 = nullptr;
    /// "select * from processo" / "order by cod"; its current row is the shown process.
    db::Query *QryProcesso = nullptr;

    /// Filled by the main window: (EdtDesc, descricao), (EdtNum, numero), (EdtDta, data),
    /// (EdtNumOfDoc, num_doc). The UPDATE is built from it.
    BindingTable Bindings;

    /// Copies the current row of QryProcesso into the five fields.
    void showCurrentRow();

public slots:
    void PnlProcessoBtnIncClick(QAbstractButton *sender);
    void PnlProcessoBtnConfClick(QAbstractButton *sender);
    void Frame11BtnAltClick(QAbstractButton *sender);
    void PnlProcessoBtnDelClick(QAbstractButton *sender);
    void PnlProcessoBtnAntClick(QAbstractButton *sender);
    void PnlProcessoBtnSairClick(QAbstractButton *sender);

signals:
    /// A process row was deleted, and with it its documents (codes as they were just
    /// before the deletion). Their page files are someone else's to move aside.
    void processDeleted(const QString &process, const QStringList &documents);

private:
    void buildLayout();
    void bindPanel();
    db::Connection &connection() const;
    bool processExists(const QString &code) const;
    QStringList documentsOf(const QString &code) const;
};
