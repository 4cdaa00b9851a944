#pragma once
#include "editing/Edits.h"

#include <QImage>

class QAbstractButton;
class QGroupBox;
class QLabel;
class TFrame1;
class TStatusBar;

namespace db {
class Query;
class TableCursor;
} // namespace db

/// Agency profile: the first row of `orgao` and the logo picture. Browse and edit only:
/// the panel PnlOrg shows its edit button alone; edit mode ends with a save.
class TFrameOrgao : public TScreen {
    Q_OBJECT
public:
    explicit TFrameOrgao(QWidget *parent = nullptr);
    ~TFrameOrgao() override;

    TLabeledEdit *EdtNome = nullptr;     ///< 0 nome, upper case
    TLabeledEdit *EdtCnpj = nullptr;     ///< 1 cnpj
    TLabeledEdit *EdtEndereco = nullptr; ///< 2 endereco, upper case
    TLabeledEdit *EdtBairro = nullptr;   ///< 3 bairro, upper case
    TLabeledEdit *EdtCid = nullptr;      ///< 4 cidade, upper case
    TLabeledEdit *EdtTel1 = nullptr;     ///< 6 tel
    TLabeledEdit *EdtTel2 = nullptr;     ///< 7 tel1
    TLabeledEdit *EdtMail = nullptr;     ///< 8 email, lower case
    TLabeledEdit *EdtUrl = nullptr;      ///< 9 url, lower case
    TLabeledEdit *EdtResp1 = nullptr;    ///< 10 resp1, upper case
    TLabeledEdit *EdtCargo1 = nullptr;   ///< 11 cargo1, upper case
    TLabeledEdit *EdtResp2 = nullptr;    ///< 12 resp2, upper case
    TLabeledEdit *EdtCargo2 = nullptr;   ///< 13 cargo2, upper case
    QGroupBox *PnlLogo = nullptr;        ///< "Click Aqui"
    QLabel *Image1 = nullptr;            ///< the logo, or the application's icon
    TFrame1 *PnlOrg = nullptr;
    TStatusBar *StatusBar1 = nullptr;
    db::Query *QryOrg = nullptr;         ///< "select * " / "from orgao", for reading
    db::TableCursor *TblOrg = nullptr;   ///< `orgao` as a table, for writing

    /// The folder of the program; the logo file is <ProgramDir>/dados/logo.jpg.
    /// The folder of the executable unless the main window says otherwise.
    void setProgramDir(const QString &folder);
    QString programDir() const { return m_programDir; }
    QString logoFilePath() const;

    /// True while the box shows a picture read from a file, false while it shows the icon.
    bool hasLogoPicture() const { return !m_logo.isNull(); }

    /// The file the picture dialog lists: its description as the old program worded it,
    /// its mask .jpg files only.
    static QString logoFilter();

public slots:
    /// Fields and logo box from the first row of `orgao` (empty fields and the icon on an
    /// empty table).
    void LoadOrgData();
    /// "Editar" enters edit mode; "Gravar" saves the profile and leaves it.
    void Frame11BtnAltClick(QAbstractButton *sender);
    /// In edit mode, lets the user choose a new logo; it reaches the file only on save.
    void Image1Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    /// The field shown for each column position of `orgao` (null for `uf` and `logomarca`).
    QList<QLineEdit *> fieldsByPosition() const;
    void saveProfile();
    void showLogo(const QImage &picture, const QString &source);
    void showIcon();

    QString m_programDir;
    QImage m_logo;        ///< the picture in the box, null while the icon is shown
    QString m_logoSource; ///< the file it was read from
};
