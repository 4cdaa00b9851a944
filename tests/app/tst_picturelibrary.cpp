// The picture library img/ctlo.rcc as the build makes it, and the bars dressed from it
// (or left bare) depending on the working directory; the pictures the program draws itself.
#include "tests/support/TestPaths.h"
#include "MainWindowFixture.h"

#include "app/BarPictures.h"
#include "app/PictureButton.h"
#include "app/PictureLibrary.h"
#include "app/UntFrameCartulo.h"
#include "editing/AppIcon.h"

#include <QFile>
#include <QtTest>

namespace {

QString builtLibrary()
{
    return testsupport::binDir() + u"/img/ctlo.rcc"_s;
}

const QStringList kBackgrounds{u"CARTULO1"_s, u"JPEG1"_s, u"JPEG2"_s, u"JPEG3"_s,
                               u"JPEG4"_s,    u"JPEG5"_s, u"CARTULO6"_s};
const QStringList kBarNames{u"FMain"_s, u"FPesq"_s, u"FDoc"_s, u"FNatu"_s, u"FList"_s, u"FSetup"_s, u"FAbout"_s};

QHash<QString, QImage> builtPictures()
{
    const auto pictures =
        cartulo::readPictureLibrary(builtLibrary(), kBackgrounds + QStringList{u"BTN_MN"_s, u"BTN_CL"_s});
    return pictures.value_or(QHash<QString, QImage>{});
}

QImage rgb(const QImage &image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

// Runs a body with the working directory in a fresh folder, optionally holding img/ctlo.rcc.
class WorkingDirectory {
public:
    explicit WorkingDirectory(bool withLibrary) : m_previous(QDir::currentPath())
    {
        if (withLibrary) {
            QDir(m_dir.path()).mkpath(u"img"_s);
            QFile::copy(builtLibrary(), m_dir.filePath(u"img/ctlo.rcc"_s));
        }
        QDir::setCurrent(m_dir.path());
    }
    ~WorkingDirectory() { QDir::setCurrent(m_previous); }

private:
    QString m_previous;
    QTemporaryDir m_dir;
};

} // namespace

class TestPictureLibrary : public QObject {
    Q_OBJECT

private slots:
    void builtLibraryHoldsEveryPicture_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        for (const QString &name : kBackgrounds)
            QTest::newRow(qPrintable(name)) << name << QSize(773, 563);
        QTest::newRow("BTN_MN") << u"BTN_MN"_s << QSize(50, 22);
        QTest::newRow("BTN_CL") << u"BTN_CL"_s << QSize(50, 22);
    }

    void builtLibraryHoldsEveryPicture()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QVERIFY2(QFile::exists(builtLibrary()), qPrintable(builtLibrary()));
        const QHash<QString, QImage> pictures = builtPictures();
        QVERIFY(pictures.contains(name));
        QCOMPARE(pictures.value(name).size(), size);
    }

    void everyScreenHasItsOwnBackground()
    {
        const QHash<QString, QImage> pictures = builtPictures();
        for (qsizetype i = 0; i < kBackgrounds.size(); ++i)
            for (qsizetype j = i + 1; j < kBackgrounds.size(); ++j)
                QVERIFY2(rgb(pictures.value(kBackgrounds[i])) != rgb(pictures.value(kBackgrounds[j])),
                         qPrintable(kBackgrounds[i] + u" = "_s + kBackgrounds[j]));
    }

    void windowButtonPicturesHoldNormalAndDisabledHalves()
    {
        const QHash<QString, QImage> pictures = builtPictures();
        for (const QString &name : {u"BTN_MN"_s, u"BTN_CL"_s}) {
            const QImage picture = rgb(pictures.value(name));
            QVERIFY(picture.copy(0, 0, 25, 22) != picture.copy(25, 0, 25, 22));
        }
        QVERIFY(rgb(pictures.value(u"BTN_MN"_s)) != rgb(pictures.value(u"BTN_CL"_s)));
    }

    void libraryIsReleasedAfterTheReads()
    {
        QVERIFY(!builtPictures().isEmpty());
        QVERIFY(!QFile::exists(u":/ctlo/CARTULO1"_s));
        QVERIFY(!QFile::exists(u":/CARTULO1"_s));
    }

    void missingLibraryReadsAsNone()
    {
        QTemporaryDir dir;
        QVERIFY(!cartulo::readPictureLibrary(dir.filePath(u"img/ctlo.rcc"_s), kBackgrounds).has_value());
        QFile junk(dir.filePath(u"junk.rcc"_s));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a resource file");
        junk.close();
        QVERIFY(!cartulo::readPictureLibrary(junk.fileName(), kBackgrounds).has_value());
    }

    void barsDressedFromTheWorkingDirectory()
    {
        const QHash<QString, QImage> pictures = builtPictures();
        WorkingDirectory cwd(true);
        MainWindowFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        for (qsizetype i = 0; i < kBarNames.size(); ++i) {
            auto *bar = f->findChild<TFrameCartulo *>(kBarNames[i]);
            QCOMPARE(rgb(bar->imgFundo->picture().toImage()), rgb(pictures.value(kBackgrounds[i])));
            QCOMPARE(bar->imgFundo->pictureRect(), QRect(0, 0, 773, 563));
            QCOMPARE(rgb(bar->SpeedButton1->glyph().toImage()), rgb(pictures.value(u"BTN_MN"_s)));
            QCOMPARE(rgb(bar->spbFechar->glyph().toImage()), rgb(pictures.value(u"BTN_CL"_s)));
            QCOMPARE(bar->spbFechar->numGlyphs(), 2);
        }
        QVERIFY(!QFile::exists(u":/ctlo/CARTULO1"_s));
    }

    void disabledWindowButtonShowsTheSecondImage()
    {
        const QImage close = rgb(builtPictures().value(u"BTN_CL"_s));
        WorkingDirectory cwd(true);
        MainWindowFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        TSpeedButton *button = f->FMain->spbFechar;
        QCOMPARE(rgb(button->currentImage().toImage()), close.copy(0, 0, 25, 22));
        button->setEnabled(false);
        QCOMPARE(rgb(button->currentImage().toImage()), close.copy(25, 0, 25, 22));
    }

    void barsStayBareWithoutTheLibrary()
    {
        WorkingDirectory cwd(false);
        MainWindowFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        for (const QString &name : kBarNames) {
            auto *bar = f->findChild<TFrameCartulo *>(name);
            QVERIFY(bar->imgFundo->picture().isNull());
            QVERIFY(!bar->SpeedButton1->hasGlyph());
            QVERIFY(!bar->spbFechar->hasGlyph());
            for (TSpeedButton *button : bar->screenButtons())
                QVERIFY(button->hasGlyph());
        }
        // The screen buttons work all the same.
        QTest::mouseClick(f->FMain->spbListagens, Qt::LeftButton);
        QVERIFY(f->Panel5->isVisible());
        QVERIFY(!f->Panel1->isVisible());
        QTest::mouseClick(f->FList->spbAjuda, Qt::LeftButton);
        QVERIFY(f->Panel7->isVisible());
        QVERIFY(!f->Panel5->isVisible());
    }

    void screenButtonPictures_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QSize>("size");
        QTest::newRow("Cartulo") << u"spbCartulo"_s << u"Cartulo"_s << QSize(88, 23);
        QTest::newRow("Pesquisa") << u"spdPesquisa"_s << u"Pesquisa"_s << QSize(88, 23);
        QTest::newRow("Documentos") << u"spbDocumentos"_s << u"Documentos"_s << QSize(88, 23);
        QTest::newRow("Natureza") << u"spbNatureza"_s << u"Natureza"_s << QSize(88, 23);
        QTest::newRow("Listagens") << u"spbListagens"_s << u"Listagens"_s << QSize(88, 23);
        QTest::newRow("Setup") << u"spbSetup"_s << u"Setup"_s << QSize(88, 23);
        QTest::newRow("Ajuda") << u"spbAjuda"_s << u"Ajuda"_s << QSize(88, 24);
    }

    void screenButtonPictures()
    {
        QFETCH(QString, button);
        QFETCH(QString, word);
        QFETCH(QSize, size);
        const QImage picture = cartulo::screenButtonPicture(word);
        QCOMPARE(picture.size(), size);
        QCOMPARE(picture.format(), QImage::Format_RGB888);
        QCOMPARE(picture.depth(), 24);

        MainWindowFixture f;
        auto *control = f->FAbout->findChild<TSpeedButton *>(button);
        QCOMPARE(control->accessibleName(), word);
        QCOMPARE(rgb(control->glyph().toImage()), rgb(picture));
        // Centred on the 65-pixel button: the middle of the label is what shows.
        QImage shown(control->size(), QImage::Format_RGB32);
        control->render(&shown);
        const QPoint offset((65 - 88) / 2, (22 - size.height()) / 2);
        for (const QPoint &p : {QPoint(10, 5), QPoint(32, 11), QPoint(55, 16)})
            QCOMPARE(shown.pixel(p), rgb(picture).pixel(p - offset));
    }

    void everyScreenWordFitsItsButton()
    {
        // The middle 65 pixels of each label hold the whole word: the cut ends are blank label.
        for (const QString &word : {u"Cartulo"_s, u"Documentos"_s, u"Listagens"_s}) {
            const QImage picture = rgb(cartulo::screenButtonPicture(word));
            const QImage label = rgb(cartulo::screenButtonPicture(u""_s));
            const int cut = (88 - 65) / 2;
            QCOMPARE(picture.copy(0, 0, cut, 23), label.copy(0, 0, cut, 23));
            QCOMPARE(picture.copy(88 - cut, 0, cut, 23), label.copy(88 - cut, 0, cut, 23));
            QVERIFY(picture != label);
        }
    }

    void backgroundIsScaledDownNeverUp_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QRect>("shown");
        QTest::newRow("smaller: as it is") << QSize(100, 50) << QRect(0, 0, 100, 50);
        QTest::newRow("same size") << QSize(773, 563) << QRect(0, 0, 773, 563);
        QTest::newRow("wider: down, proportions kept") << QSize(1546, 563) << QRect(0, 0, 773, 281);
        QTest::newRow("taller: down, proportions kept") << QSize(773, 1126) << QRect(0, 0, 386, 563);
    }

    void backgroundIsScaledDownNeverUp()
    {
        QFETCH(QSize, picture);
        QFETCH(QRect, shown);
        MainWindowFixture f;
        QPixmap pixmap(picture);
        pixmap.fill(Qt::darkBlue);
        f->FMain->setBackground(pixmap);
        QCOMPARE(f->FMain->imgFundo->pictureRect(), shown);
    }

    void applicationIconIsSet()
    {
        const QPixmap icon = editing::applicationIcon(48);
        QCOMPARE(icon.size(), QSize(48, 48));
        const QImage image = icon.toImage();
        QVERIFY(image.pixelColor(24, 24).alpha() == 255);
        QVERIFY(image.pixelColor(0, 0).alpha() == 0); // rounded corner
        MainWindowFixture f;
        QVERIFY(!f->windowIcon().isNull());
        QVERIFY(f->windowIcon().availableSizes().contains(QSize(32, 32)));
    }
};

QTEST_MAIN(TestPictureLibrary)
#include "tst_picturelibrary.moc"
