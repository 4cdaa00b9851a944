#include "registers/UntFrameOrgao.h"

#include "db/Connection.h"
#include "db/Query.h"
#include "db/TableCursor.h"
#include "editing/AppIcon.h"
#include "editing/Guard.h"
#include "editing/JpegImage.h"
#include "editing/Prompt.h"
#include "editing/StatusBar.h"
#include "editing/lib.h"
#include "editing/painel.h"
#include "registers/Logging.h"
#include "editing/RegisterLayout.h"
#include "editing/RowTexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <optional>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

constexpr int kColumnCount = 15;  // nome .. logomarca
constexpr int kLogoPosition = 14; // logomarca: the logo file's full path, as text

bool sameFile(const QString &a, const QString &b)
{
    const QString left = QFileInfo(a).canonicalFilePath();
    return !left.isEmpty() && left == QFileInfo(b).canonicalFilePath();
}

} // namespace

TFrameOrgao::TFrameOrgao(QWidget *parent)
    : TScreen(parent), m_programDir(QCoreApplication::applicationDirPath())
{
    setObjectName(u"FrameOrgao1"_s);
    QryOrg = editing::screenQuery(this, u"QryOrg"_s, {u"select * "_s, u"from orgao"_s});
    TblOrg = new db::TableCursor(this);
    TblOrg->setObjectName(u"TblOrg"_s);
    buildLayout();
    showIcon();
}

TFrameOrgao::~TFrameOrgao() = default;

void TFrameOrgao::buildLayout()
{
    auto *fields = new QWidget(this);
    fields->setObjectName(u"PnlCampos"_s);

    PnlLogo = new QGroupBox(u"Click Aqui"_s, fields);
    PnlLogo->setObjectName(u"PnlLogo"_s);
    PnlLogo->setGeometry(8, 2, 110, 112);
    Image1 = new QLabel(PnlLogo);
    Image1->setObjectName(u"Image1"_s);
    Image1->setAccessibleName(u"Logomarca"_s);
    Image1->setGeometry(6, 20, 98, 86);
    Image1->setScaledContents(true);
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->setFocusPolicy(Qt::TabFocus); // reachable without a mouse
    Image1->installEventFilter(this);

    const auto field = [fields](const QString &name, const QString &caption, int x, int y, int width,
                                int maxLength, CharCase charCase = CharCase::Normal) {
        auto *edit = new TLabeledEdit(name, caption, fields);
        edit->setGeometry(x, y, width, 21);
        edit->setMaxLength(maxLength);
        edit->setCharCase(charCase);
        return edit;
    };
    EdtNome = field(u"EdtNome"_s, u"Orgão"_s, 128, 24, 450, 50, CharCase::Upper);
    EdtTel1 = field(u"EdtTel1"_s, u"Telefone 1"_s, 128, 68, 100, 10);
    EdtTel2 = field(u"EdtTel2"_s, u"Telefone 2"_s, 236, 68, 100, 10);
    EdtCnpj = field(u"EdtCnpj"_s, u"CNPJ"_s, 344, 68, 140, 14);
    EdtEndereco = field(u"EdtEndereco"_s, u"Endereço"_s, 8, 136, 570, 50, CharCase::Upper);
    EdtBairro = field(u"EdtBairro"_s, u"Bairro"_s, 8, 180, 280, 50, CharCase::Upper);
    EdtCid = field(u"EdtCid"_s, u"Cidade"_s, 296, 180, 282, 50, CharCase::Upper);
    EdtResp1 = field(u"EdtResp1"_s, u"1º Responsável"_s, 8, 224, 280, 50, CharCase::Upper);
    EdtCargo1 = field(u"EdtCargo1"_s, u"Cargo"_s, 296, 224, 282, 50, CharCase::Upper);
    EdtResp2 = field(u"EdtResp2"_s, u"2º Responsável"_s, 8, 268, 280, 50, CharCase::Upper);
    EdtCargo2 = field(u"EdtCargo2"_s, u"Cargo"_s, 296, 268, 282, 50, CharCase::Upper);
    EdtMail = field(u"EdtMail"_s, u"E-mail"_s, 8, 312, 570, 100, CharCase::Lower);
    EdtUrl = field(u"EdtUrl"_s, u"URL"_s, 8, 356, 570, 100, CharCase::Lower);
    // Two captions read "Cargo": a screen reader must still tell them apart.
    EdtCargo1->setAccessibleName(u"Cargo do 1º Responsável"_s);
    EdtCargo2->setAccessibleName(u"Cargo do 2º Responsável"_s);

    const QList<QWidget *> tabOrder{Image1,    EdtNome,   EdtTel1,  EdtTel2,   EdtCnpj,
                                    EdtEndereco, EdtBairro, EdtCid, EdtResp1,  EdtCargo1,
                                    EdtResp2,  EdtCargo2, EdtMail,  EdtUrl};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    PnlOrg = new TFrame1(this);
    PnlOrg->setObjectName(u"PnlOrg"_s);
    // Only the edit/save toggle: the profile is never included, searched or deleted.
    for (QPushButton *button : {PnlOrg->BtnInc, PnlOrg->BtnPesq, PnlOrg->BtnDel, PnlOrg->BtnSair,
                                PnlOrg->BtnAnt, PnlOrg->BtnProx})
        button->hide();
    PnlOrg->BtnAlt->show();
    PnlOrg->setClickHandler(PnlOrg->BtnAlt, [this](QAbstractButton *b) { Frame11BtnAltClick(b); });

    StatusBar1 = new TStatusBar(this, 2, 200);
    StatusBar1->setObjectName(u"StatusBar1"_s);

    editing::arrangeRegisterScreen(this, fields, PnlOrg, StatusBar1);
}

void TFrameOrgao::setProgramDir(const QString &folder)
{
    m_programDir = folder;
}

QString TFrameOrgao::logoFilePath() const
{
    return QDir::cleanPath(QFileInfo(m_programDir).absoluteFilePath() + u"/dados/logo.jpg"_s);
}

QString TFrameOrgao::logoFilter()
{
    return u"Bitmap do Windows (*.jpg)"_s;
}

QList<QLineEdit *> TFrameOrgao::fieldsByPosition() const
{
    return {EdtNome, EdtCnpj, EdtEndereco, EdtBairro, EdtCid, nullptr /* uf */, EdtTel1, EdtTel2,
            EdtMail, EdtUrl, EdtResp1, EdtCargo1, EdtResp2, EdtCargo2, nullptr /* logomarca */};
}

void TFrameOrgao::showLogo(const QImage &picture, const QString &source)
{
    Image1->setPixmap(QPixmap::fromImage(picture));
    m_logo = picture;
    m_logoSource = source;
}

void TFrameOrgao::showIcon()
{
    Image1->setPixmap(editing::applicationIcon(64));
    m_logo = QImage();
    m_logoSource.clear();
}

void TFrameOrgao::LoadOrgData()
{
    QryOrg->close();
    QryOrg->open();
    const QStringList texts = editing::currentRowTexts(*QryOrg, kColumnCount);
    const QList<QLineEdit *> fields = fieldsByPosition();
    for (int position = 0; position < fields.size(); ++position)
        if (fields[position])
            fields[position]->setText(texts[position]);
    const QString recorded = texts[kLogoPosition];
    if (!recorded.isEmpty() && QFileInfo(recorded).isFile())
        showLogo(editing::jpeg::decodeFile(recorded), recorded); // unreadable: the box stays
    else
        showIcon();
}

void TFrameOrgao::saveProfile()
{
    const QString logoFile = logoFilePath();
    // A picture read from the logo file itself is already there: re-encoding it at every
    // save would only lose quality. Encoded first, so a bad picture writes nothing.
    std::optional<QByteArray> newLogo;
    if (!m_logo.isNull() && !sameFile(m_logoSource, logoFile))
        newLogo = editing::jpeg::encode(m_logo);

    if (!PnlOrg->ConnArq && !QryOrg->connection())
        throw std::logic_error("agency profile: no connection");
    TblOrg->setConnection(PnlOrg->ConnArq ? PnlOrg->ConnArq.data() : QryOrg->connection());
    TblOrg->open(u"orgao"_s);
    const auto closeTable = qScopeGuard([this] { TblOrg->close(); });
    TblOrg->first();
    TblOrg->edit(); // on an empty table the post inserts the first row
    const QList<QLineEdit *> fields = fieldsByPosition();
    for (int position = 0; position < fields.size(); ++position)
        if (fields[position])
            TblOrg->setField(position, fields[position]->text());

    if (newLogo) {
        if (!QDir().mkpath(QFileInfo(logoFile).absolutePath()))
            throw editing::jpeg::JpegError(u"Não foi possível criar a pasta de %1"_s.arg(logoFile));
        editing::jpeg::writeFileAtomically(logoFile, *newLogo);
        qCDebug(lcRegisters) << "logo written to" << logoFile;
    }
    // Without a picture the file is left alone; its path is recorded only if it is there.
    TblOrg->setField(kLogoPosition, QFileInfo(logoFile).isFile() ? logoFile : QString());
    TblOrg->post();
}

void TFrameOrgao::Frame11BtnAltClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    if (PnlOrg->Editing)
        saveProfile(); // a failure keeps the edit mode
    if (sender->text() == u"Gravar"_s) {
        LoadOrgData();
    } else {
        PnlOrg->BtnSair->setEnabled(true);
        PnlOrg->BtnSair->setText(u"Cancelar"_s);
    }
    PnlOrg->BtnAltClick(sender);
}

void TFrameOrgao::Image1Click()
{
    if (!EdtNome->isEnabled())
        return; // browse mode
    const std::optional<QString> file = editing::prompt().openFileName(u"Abrir"_s, logoFilter());
    if (!file)
        return;
    showLogo(editing::jpeg::decodeFile(*file), *file); // not a picture: the box stays
}

bool TFrameOrgao::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image1) {
        // The press, not the release: a label ignores presses, so the release never reaches it.
        const bool clicked = event->type() == QEvent::MouseButtonPress
            && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton;
        const bool pressed = event->type() == QEvent::KeyPress
            && (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space
                || static_cast<QKeyEvent *>(event)->key() == Qt::Key_Return
                || static_cast<QKeyEvent *>(event)->key() == Qt::Key_Enter);
        if (clicked || pressed) {
            editing::runGuarded([this] { Image1Click(); });
            return true;
        }
    }
    return TScreen::eventFilter(watched, event);
}
