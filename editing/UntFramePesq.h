#pragma once
#include <QDialog>

class TFramePesquisa;

namespace db {
class Connection;
}

/// The lookup dialog, created once and reused: a plain window holding the lookup frame
/// FPesq. exec() gives mrOk (1) when a row was chosen and mrCancel (2) for "Cancelar",
/// Esc or the window's close.
class TFrmFramePesq : public QDialog {
    Q_OBJECT
public:
    enum ModalResult { mrOk = 1, mrCancel = 2 };

    explicit TFrmFramePesq(db::Connection *connection, QWidget *parent = nullptr);

    TFramePesquisa *FPesq = nullptr;

public slots:
    void reject() override; ///< Esc and the window's close: mrCancel
};
