// The agency profile inside the main window: the one row of orgao and the logo file.
#include "ArchiveWindow.h"

#include "app/UntFrameCartulo.h"
#include "editing/AppIcon.h"
#include "editing/JpegImage.h"
#include "editing/painel.h"
#include "registers/UntFrameOrgao.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;
using Kind = editing::ScriptedPrompt::Kind;

class TestProfile : public QObject {
    Q_OBJECT

    std::unique_ptr<ArchiveWindow> fx;
    TFrameOrgao *screen = nullptr;

    void start(const QStringList &seed = {})
    {
        fx = std::make_unique<ArchiveWindow>(seed);
        screen = fx->find<TFrameOrgao>(u"FrameOrgao1"_s);
        QVERIFY(screen);
        ArchiveWindow::click(fx->window->FMain->spbSetup);
        QVERIFY(fx->window->Panel6->isVisible());
    }
    QPushButton *editButton() const { return screen->PnlOrg->findChild<QPushButton *>(u"BtnAlt"_s); }
    QString logoFile() const { return fx->programDir() + u"/dados/logo.jpg"_s; }
    /// A picture file away from dados/, as a user would pick one.
    QString makePicture(const QString &name, QSize size, QColor colour) const
    {
        // Detail that a second JPEG pass would visibly change, over a base colour.
        QImage image(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                image.setPixel(x, y, qRgb((colour.red() + x * 37 + y * 11) % 256, (colour.green() + x * y * 7) % 256,
                                          (colour.blue() + (x ^ y) * 29) % 256));
        QDir(fx->programDir()).mkpath(u"escolhidas"_s);
        const QString path = fx->programDir() + u"/escolhidas/"_s + name;
        editing::jpeg::writeFile(image, path);
        return QFileInfo(path).canonicalFilePath();
    }
    QByteArray bytesOf(const QString &path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void chooseLogo(const QString &path)
    {
        fx->ui->answerFile(path);
        QTest::mouseClick(screen->Image1, Qt::LeftButton);
    }
    bool showsIcon() const
    {
        return !screen->hasLogoPicture()
            && screen->Image1->pixmap().toImage() == editing::applicationIcon(64).toImage();
    }

private slots:
    void cleanup()
    {
        if (fx) {
            QVERIFY2(fx->errors.isEmpty(), qPrintable(fx->errors.join(u'\n')));
            QVERIFY(fx->ui->allAnswersUsed());
        }
        fx.reset();
    }

    void emptyTableShowsEmptyFieldsAndTheIcon()
    {
        start();
        for (QLineEdit *edit : screen->findChildren<QLineEdit *>()) {
            QVERIFY2(edit->text().isEmpty(), qPrintable(edit->objectName()));
            QVERIFY2(!edit->isEnabled(), qPrintable(edit->objectName()));
        }
        QVERIFY(showsIcon());
        QCOMPARE(editButton()->text(), u"Editar"_s);
        QVERIFY(editButton()->isVisible());
        for (const char *hidden : {"BtnInc", "BtnPesq", "BtnDel", "BtnSair", "BtnAnt", "BtnProx"})
            QVERIFY2(!screen->PnlOrg->findChild<QPushButton *>(QString::fromLatin1(hidden))->isVisible(), hidden);
    }

    void firstSaveCreatesTheRowLaterSavesRewriteIt()
    {
        start();
        ArchiveWindow::click(editButton());
        QCOMPARE(editButton()->text(), u"Gravar"_s);
        QVERIFY(screen->EdtNome->isEnabled());
        ArchiveWindow::type(screen->EdtNome, u"Prefeitura"_s);
        ArchiveWindow::type(screen->EdtTel1, u"3222-1000"_s);
        ArchiveWindow::click(editButton());
        QCOMPARE(editButton()->text(), u"Editar"_s);
        QVERIFY(!screen->EdtNome->isEnabled());
        QCOMPARE(fx->rows(u"select nome,tel,uf,logomarca from orgao"_s),
                 QStringList{u"PREFEITURA|3222-1000|<null>|<null>"_s});

        ArchiveWindow::click(editButton());
        screen->EdtNome->selectAll();
        QTest::keyClick(screen->EdtNome, Qt::Key_Backspace);
        ArchiveWindow::type(screen->EdtNome, u"Câmara \"Municipal\""_s);
        ArchiveWindow::click(editButton());
        QCOMPARE(fx->rows(u"select nome,tel from orgao"_s), QStringList{u"CÂMARA \"MUNICIPAL\"|3222-1000"_s});
        QCOMPARE(screen->EdtNome->text(), u"CÂMARA \"MUNICIPAL\""_s);
    }

    void letterCasePerField_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        const QString mixed = u"Rua Ção x"_s;
        QTest::newRow("nome") << u"EdtNome"_s << u"nome"_s << mixed << u"RUA ÇÃO X"_s;
        QTest::newRow("endereco") << u"EdtEndereco"_s << u"endereco"_s << mixed << u"RUA ÇÃO X"_s;
        QTest::newRow("bairro") << u"EdtBairro"_s << u"bairro"_s << mixed << u"RUA ÇÃO X"_s;
        QTest::newRow("cidade") << u"EdtCid"_s << u"cidade"_s << mixed << u"RUA ÇÃO X"_s;
        QTest::newRow("resp1") << u"EdtResp1"_s << u"resp1"_s << mixed << u"RUA ÇÃO X"_s;
        QTest::newRow("cargo1") << u"EdtCargo1"_s << u"cargo1"_s << mixed << u"RUA ÇÃO X"_s;
        QTest::newRow("resp2") << u"EdtResp2"_s << u"resp2"_s << mixed << u"RUA ÇÃO X"_s;
        QTest::newRow("cargo2") << u"EdtCargo2"_s << u"cargo2"_s << mixed << u"RUA ÇÃO X"_s;
        QTest::newRow("email") << u"EdtMail"_s << u"email"_s << u"Ana@Org.GOV.br"_s << u"ana@org.gov.br"_s;
        QTest::newRow("url") << u"EdtUrl"_s << u"url"_s << u"WWW.Org.Gov.BR"_s << u"www.org.gov.br"_s;
        QTest::newRow("cnpj as typed") << u"EdtCnpj"_s << u"cnpj"_s << u"12aB"_s << u"12aB"_s;
        QTest::newRow("tel as typed") << u"EdtTel1"_s << u"tel"_s << u"ramal A"_s << u"ramal A"_s;
        QTest::newRow("tel1 as typed") << u"EdtTel2"_s << u"tel1"_s << u"Ramal b"_s << u"Ramal b"_s;
    }
    void letterCasePerField()
    {
        QFETCH(QString, field);
        QFETCH(QString, column);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        start();
        ArchiveWindow::click(editButton());
        auto *edit = screen->findChild<QLineEdit *>(field);
        QVERIFY(edit);
        ArchiveWindow::type(edit, typed);
        QCOMPARE(edit->text(), stored);
        ArchiveWindow::click(editButton());
        QCOMPARE(fx->rows(u"select "_s + column + u" from orgao"_s), QStringList{stored});
    }

    void clickOnTheLogoInBrowseModeDoesNothing()
    {
        start();
        QTest::mouseClick(screen->Image1, Qt::LeftButton);
        QVERIFY(fx->ui->callsOf(Kind::OpenFile).isEmpty());
        QVERIFY(showsIcon());
    }

    void chosenLogoReachesTheFileOnlyOnSave()
    {
        start({u"Insert Into orgao (nome) VALUES (\"ORGAO\")"_s});
        const QString picture = makePicture(u"logo-a.jpg"_s, QSize(40, 30), Qt::red);
        ArchiveWindow::click(editButton());
        chooseLogo(picture);
        const auto opened = fx->ui->callsOf(Kind::OpenFile);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0].filter, u"Bitmap do Windows (*.jpg)"_s);
        QVERIFY(screen->hasLogoPicture());
        QCOMPARE(screen->Image1->pixmap().size(), QSize(40, 30));

        // Leaving for another screen saves nothing.
        ArchiveWindow::click(fx->window->FSetup->spbCartulo);
        QVERIFY(!QFile::exists(logoFile()));
        QCOMPARE(fx->rows(u"select nome,logomarca from orgao"_s), QStringList{u"ORGAO|<null>"_s});

        ArchiveWindow::click(fx->window->FMain->spbSetup);
        ArchiveWindow::click(editButton()); // Gravar
        QVERIFY(editing::jpeg::isJpegFile(logoFile()));
        QCOMPARE(editing::jpeg::decodeFile(logoFile()).size(), QSize(40, 30));
        QCOMPARE(fx->rows(u"select logomarca from orgao"_s), QStringList{logoFile()});
        QVERIFY(screen->hasLogoPicture()); // reloaded from the logo file
        QCOMPARE(fx->rows(u"select count(*) from orgao"_s), QStringList{u"1"_s});
    }

    void aLaterSaveLeavesTheLogoFileAlone()
    {
        start();
        const QString picture = makePicture(u"logo-a.jpg"_s, QSize(48, 40), Qt::blue);
        ArchiveWindow::click(editButton());
        chooseLogo(picture);
        ArchiveWindow::click(editButton());
        const QByteArray written = bytesOf(logoFile());
        QVERIFY(!written.isEmpty());
        ArchiveWindow::click(editButton());
        ArchiveWindow::type(screen->EdtNome, u"x"_s);
        ArchiveWindow::click(editButton());
        QCOMPARE(bytesOf(logoFile()), written); // no generation loss
        QCOMPARE(fx->rows(u"select nome,logomarca from orgao"_s), QStringList{u"X|"_s + logoFile()});
    }

    void aChosenLogoThatIsNoPictureLeavesTheBox()
    {
        start();
        const QString fake = fx->programDir() + u"/fake.jpg"_s;
        QFile file(fake);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
        file.close();
        ArchiveWindow::click(editButton());
        chooseLogo(fake);
        QCOMPARE(fx->errors.size(), 1);
        fx->errors.clear();
        QVERIFY(showsIcon());
        ArchiveWindow::click(editButton());
        QVERIFY(!QFile::exists(logoFile()));
    }

    void saveWithoutAPicture_data()
    {
        QTest::addColumn<QString>("recorded");
        QTest::addColumn<bool>("fileThere");
        QTest::addColumn<bool>("expectPath");
        QTest::newRow("no path, no file") << QString() << false << false;
        // The program folder moved: the old path names nothing, the file is in the new place.
        QTest::newRow("moved folder, file present") << u"/lugar/antigo/dados/logo.jpg"_s << true << true;
        QTest::newRow("moved folder, no file") << u"/lugar/antigo/dados/logo.jpg"_s << false << false;
    }
    void saveWithoutAPicture()
    {
        QFETCH(QString, recorded);
        QFETCH(bool, fileThere);
        QFETCH(bool, expectPath);
        start({u"Insert Into orgao (nome,logomarca) VALUES (\"ORGAO\",%1)"_s.arg(
            recorded.isEmpty() ? u"NULL"_s : lib::quoted(recorded))});
        if (fileThere) {
            QImage image(8, 8, QImage::Format_RGB32);
            image.fill(Qt::green);
            editing::jpeg::writeFile(image, logoFile());
            screen->LoadOrgData();
        }
        const QByteArray before = bytesOf(logoFile());
        QVERIFY(showsIcon());
        ArchiveWindow::click(editButton());
        ArchiveWindow::click(editButton());
        QCOMPARE(fx->rows(u"select logomarca from orgao"_s),
                 QStringList{expectPath ? logoFile() : u"<null>"_s});
        QCOMPARE(QFile::exists(logoFile()), fileThere);
        QCOMPARE(bytesOf(logoFile()), before);
    }
};

QTEST_MAIN(TestProfile)
#include "tst_profile.moc"
