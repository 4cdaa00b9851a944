// Moving and turning pages from the document screen's page list, on a file archive and on
// a server archive: the buttons and the context menu, when they are available, and how
// the list, the selection, the preview and the print follow.
#include "documents/ImagePreview.h"
#include "documents/PageOrder.h"
#include "documents/UntDoc.h"
#include "editing/JpegImage.h"
#include "editing/Prompt.h"
#include "editing/painel.h"
#include "tests/support/ProviderArchive.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;
using testsupport::ProviderArchive;
using Kind = editing::ScriptedPrompt::Kind;

namespace {

const pages::DocumentKey kDoc{u"00007"_s, u"00003"_s};

QString name(int page)
{
    return pages::PageStore::pageName(kDoc, page);
}

// A JPEG whose bytes differ with `seed`, so every page can be told apart.
QByteArray jpegBytes(int seed)
{
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(qRgb(seed * 37 % 256, seed * 91 % 256, seed * 13 % 256));
    return editing::jpeg::encode(image);
}

// 60 x 44: no quarter turn of it is perfect, so its turns are recorded in EXIF. White,
// with a black corner at the top left.
QByteArray markedPage()
{
    QImage image(60, 44, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            image.setPixel(x, y, qRgb(0, 0, 0));
    return editing::jpeg::encode(image);
}

bool dark(QRgb pixel)
{
    return qGray(pixel) < 80;
}

const char *const kButtons[] = {"BtnSubirLauda", "BtnDescerLauda", "BtnGirarDireita", "BtnGirarEsquerda", "BtnGirar180"};
const QString kNames[] = {u"Subir página"_s, u"Descer página"_s, u"Girar à direita"_s, u"Girar à esquerda"_s,
                          u"Girar 180°"_s};

} // namespace

class TestPageOrderScreen : public QObject {
    Q_OBJECT

    std::map<db::Provider, std::unique_ptr<ProviderArchive>> m_archives;
    std::unique_ptr<editing::ScopedPrompt<editing::ScriptedPrompt>> ui;
    std::unique_ptr<TFrameDocumento> screen;
    std::shared_ptr<pages::PageStore> store;

    ProviderArchive &archive(db::Provider provider)
    {
        auto &slot = m_archives[provider];
        if (!slot)
            slot = std::make_unique<ProviderArchive>(provider);
        return *slot;
    }

    // Document 00003 of process 00007 with `pages` pages, shown; page commands on when
    // `allowed` (an inclusion or an edit), off while browsing.
    void open(db::Provider provider, const QList<QByteArray> &pages, bool allowed = true)
    {
        ProviderArchive &a = archive(provider);
        a.clear();
        QDir(a.programDir() + u"/dados/laudas"_s).removeRecursively();
        QDir(a.programDir()).mkpath(u"dados/laudas"_s);
        store = pages::openPageStore(a.programDir(), &a.connection());
        for (int page = 1; page <= pages.size(); ++page)
            store->storeBytes(kDoc, page, pages[page - 1]);

        ui = std::make_unique<editing::ScopedPrompt<editing::ScriptedPrompt>>();
        screen = std::make_unique<TFrameDocumento>();
        screen->setProgramDir(a.programDir());
        screen->PnlDocumento->ConnArq = &a.connection();
        screen->EdtProcesso->setText(kDoc.process);
        screen->EdtCod->setText(kDoc.document);
        screen->LoadLaudas();
        screen->setPageCommandsEnabled(allowed);
        screen->show();
        screen->activateWindow(); // the list's shortcuts work in the active window
        QVERIFY(QTest::qWaitForWindowActive(screen.get()));
    }

    QToolButton *button(const char *objectName) const
    {
        return screen->findChild<QToolButton *>(QString::fromLatin1(objectName));
    }

    QList<bool> enabledButtons() const
    {
        QList<bool> enabled;
        for (const char *objectName : kButtons)
            enabled << button(objectName)->isEnabled();
        return enabled;
    }

    QStringList listed() const
    {
        QStringList names;
        for (int row = 0; row < screen->LBoxLaudas->count(); ++row)
            names << screen->LBoxLaudas->item(row)->text();
        return names;
    }

    void select(int row)
    {
        screen->LBoxLaudas->setCurrentRow(row);
        QCOMPARE(screen->ImgPrev->pagePath(), store->pageLocation(name(row + 1)));
    }

    static void providers()
    {
        QTest::addColumn<db::Provider>("provider");
        for (const db::Provider provider : testsupport::allProviders())
            QTest::newRow(testsupport::providerName(provider)) << provider;
    }

private slots:
    void cleanup()
    {
        screen.reset();
        if (ui) {
            const auto messages = (*ui)->callsOf(Kind::Message);
            ui.reset();
            QVERIFY2(messages.isEmpty(), qPrintable(messages.value(0).text));
        }
    }

    void buttonsAndMenuCarryTheNames()
    {
        open(db::Provider::SQLite, {jpegBytes(1), jpegBytes(2)});
        QStringList menu;
        for (const QAction *action : screen->LBoxLaudas->actions())
            menu << action->text();
        QCOMPARE(menu, QStringList(std::begin(kNames), std::end(kNames)));
        QCOMPARE(screen->LBoxLaudas->contextMenuPolicy(), Qt::ActionsContextMenu);
        for (int i = 0; i < 5; ++i) {
            QToolButton *b = button(kButtons[i]);
            QVERIFY2(b, kButtons[i]);
            QCOMPARE(b->accessibleName(), kNames[i]);
            QVERIFY(b->focusPolicy() & Qt::TabFocus);
            QCOMPARE(b->parentWidget(), screen->PnlLaudas);
        }
        // Reached with Tab after "<< Remover", row by row, before the list.
        QWidget *next = screen->BtnDelArq;
        for (const char *objectName : {"BtnSubirLauda", "BtnDescerLauda", "BtnGirarEsquerda", "BtnGirarDireita",
                                       "BtnGirar180"}) {
            next = next->nextInFocusChain();
            QCOMPARE(next->objectName(), QString::fromLatin1(objectName));
        }
        QCOMPARE(next->nextInFocusChain(), screen->LBoxLaudas);
    }

    void availableWhenTheyApply_data()
    {
        QTest::addColumn<bool>("allowed");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("row");
        QTest::addColumn<QList<bool>>("enabled"); // up, down, right, left, 180
        QTest::newRow("browsing") << false << 3 << 1 << QList<bool>{false, false, false, false, false};
        QTest::newRow("first page") << true << 3 << 0 << QList<bool>{false, true, true, true, true};
        QTest::newRow("middle page") << true << 3 << 1 << QList<bool>{true, true, true, true, true};
        QTest::newRow("last page") << true << 3 << 2 << QList<bool>{true, false, true, true, true};
        QTest::newRow("the only page") << true << 1 << 0 << QList<bool>{false, false, true, true, true};
        QTest::newRow("no page") << true << 0 << -1 << QList<bool>{false, false, false, false, false};
        QTest::newRow("nothing selected") << true << 3 << -1 << QList<bool>{false, false, false, false, false};
    }
    void availableWhenTheyApply()
    {
        QFETCH(bool, allowed);
        QFETCH(int, pages);
        QFETCH(int, row);
        QFETCH(QList<bool>, enabled);
        QList<QByteArray> bytes;
        for (int page = 1; page <= pages; ++page)
            bytes << jpegBytes(page);
        open(db::Provider::SQLite, bytes, allowed);
        screen->LBoxLaudas->setCurrentRow(row);
        QCOMPARE(enabledButtons(), enabled);
        // The context menu and the shortcuts are the same actions.
        for (int i = 0; i < 5; ++i)
            QCOMPARE(screen->LBoxLaudas->actions().at(i)->isEnabled(), enabled.at(i));
        // Leaving the inclusion or edit takes them all away.
        screen->setPageCommandsEnabled(false);
        QCOMPARE(enabledButtons(), QList<bool>(5, false));
    }

    void scannedPageMakesTheLastOneMovableDown()
    {
        open(db::Provider::SQLite, {jpegBytes(1), jpegBytes(2)});
        select(1);
        QVERIFY(!button("BtnDescerLauda")->isEnabled());
        // The scanner appends its entry without moving the selection.
        screen->LBoxLaudas->addItem(name(3));
        QVERIFY(button("BtnDescerLauda")->isEnabled());
    }

    void moveFollowsThePage_data() { providers(); }
    void moveFollowsThePage()
    {
        QFETCH(db::Provider, provider);
        open(provider, {jpegBytes(1), jpegBytes(2), jpegBytes(3)});
        const QStringList names{name(1), name(2), name(3)};
        select(1);

        QTest::mouseClick(button("BtnDescerLauda"), Qt::LeftButton);
        QCOMPARE(listed(), names);
        QCOMPARE(store->pageBytes(name(3)), jpegBytes(2));
        QCOMPARE(store->pageBytes(name(2)), jpegBytes(3));
        QCOMPARE(screen->LBoxLaudas->currentRow(), 2);
        QCOMPARE(screen->ImgPrev->pagePath(), store->pageLocation(name(3)));
        QCOMPARE(enabledButtons(), QList<bool>({true, false, true, true, true}));

        // From the keyboard, in the list: twice up, to the top.
        screen->LBoxLaudas->setFocus();
        QTest::keyClick(screen->LBoxLaudas, Qt::Key_Up, Qt::ControlModifier);
        QTest::keyClick(screen->LBoxLaudas, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(listed(), names);
        QCOMPARE(screen->LBoxLaudas->currentRow(), 0);
        QCOMPARE(screen->ImgPrev->pagePath(), store->pageLocation(name(1)));
        QCOMPARE(store->pageBytes(name(1)), jpegBytes(2));
        QCOMPARE(store->pageBytes(name(2)), jpegBytes(1));
        QCOMPARE(store->pageBytes(name(3)), jpegBytes(3));
    }

    // The turn is recorded in EXIF (the size allows no perfect one): the preview and the
    // print show the page turned all the same.
    void turnShowsTheTurnedPage_data() { providers(); }
    void turnShowsTheTurnedPage()
    {
        QFETCH(db::Provider, provider);
        open(provider, {jpegBytes(1), markedPage(), jpegBytes(3)});
        select(1);

        QTest::mouseClick(button("BtnGirarDireita"), Qt::LeftButton);
        QCOMPARE(screen->LBoxLaudas->currentRow(), 1);
        QCOMPARE(screen->ImgPrev->pagePath(), store->pageLocation(name(2)));
        const QImage preview = screen->ImgPrev->picture();
        QVERIFY2(preview.height() > preview.width(), "the preview is not turned");
        const QImage printed = screen->ImgPrev->printablePicture();
        QCOMPARE(printed.size(), QSize(44, 60));
        QVERIFY(dark(printed.pixel(43 - 4, 4))); // the corner of the top left, now top right
        QVERIFY(!dark(printed.pixel(4, 4)));

        // Back the other way from the keyboard.
        screen->LBoxLaudas->setFocus();
        QTest::keyClick(screen->LBoxLaudas, Qt::Key_Left, Qt::ControlModifier);
        const QImage upright = screen->ImgPrev->printablePicture();
        QCOMPARE(upright.size(), QSize(60, 44));
        QVERIFY(dark(upright.pixel(4, 4)));
        QCOMPARE(store->pageBytes(name(1)), jpegBytes(1));
        QCOMPARE(store->pageBytes(name(3)), jpegBytes(3));
    }

    // The menu key opens the list's context menu at the selection; choosing from it with
    // the keyboard turns the page.
    void contextMenuFromTheKeyboard()
    {
        open(db::Provider::SQLite, {jpegBytes(1), markedPage()});
        select(1);
        screen->LBoxLaudas->setFocus();
        QStringList offered;
        QString chosen;
        QTimer::singleShot(0, this, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction *action : menu->actions())
                offered << action->text();
            // Up from nothing: the last entry. Then Enter.
            QTest::keyClick(menu, Qt::Key_Up);
            if (menu->activeAction())
                chosen = menu->activeAction()->text();
            QTest::keyClick(menu, Qt::Key_Return);
        });
        const QRect item = screen->LBoxLaudas->visualItemRect(screen->LBoxLaudas->currentItem());
        QContextMenuEvent event(QContextMenuEvent::Keyboard, item.center(),
                                screen->LBoxLaudas->viewport()->mapToGlobal(item.center()));
        QApplication::sendEvent(screen->LBoxLaudas, &event);
        QCOMPARE(offered, QStringList(std::begin(kNames), std::end(kNames)));
        QCOMPARE(chosen, u"Girar 180°"_s);
        QCOMPARE(pages::pageOrientation(*store->pageBytes(name(2))), pages::Orientation::Rotate180);
        QCOMPARE(screen->LBoxLaudas->currentRow(), 1);
    }

    void pageGoneMeanwhileIsShownAsItIs()
    {
        open(db::Provider::SQLite, {jpegBytes(1), jpegBytes(2), jpegBytes(3)});
        select(2);
        // Another workstation removes a page: the third is no longer there.
        QVERIFY(store->removePage(kDoc, 1));
        QTest::mouseClick(button("BtnSubirLauda"), Qt::LeftButton);
        QCOMPARE(listed(), QStringList({name(1), name(2)}));
        QCOMPARE(store->pageBytes(name(1)), jpegBytes(2));
        QCOMPARE(store->pageBytes(name(2)), jpegBytes(3));
        QCOMPARE(screen->LBoxLaudas->currentRow(), 1);
    }
};

QTEST_MAIN(TestPageOrderScreen)
#include "tst_page_order_pg.moc"
