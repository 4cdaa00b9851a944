// The main window's shape, its seven screens and their bars, the documents area's views,
// the first show, dragging, minimising and closing.
#include "MainWindowFixture.h"

#include "app/PictureButton.h"
#include "app/UntFrameCartulo.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

namespace {

QFrame *panelNumber(const TfrmCartulo &window, int number)
{
    return window.findChild<QFrame *>(u"Panel"_s + QString::number(number), Qt::FindDirectChildrenOnly);
}

QList<int> visibleScreens(const TfrmCartulo &window)
{
    QList<int> visible;
    const QList<QFrame *> panels = window.screenPanels();
    for (int number = 1; number <= 7; ++number)
        if (panels[number - 1]->isVisibleTo(&window))
            visible << number;
    return visible;
}

void showOnly(TfrmCartulo &window, int number)
{
    for (int k = 1; k <= 7; ++k)
        panelNumber(window, k)->setVisible(k == number);
}

TSpeedButton *barButton(const TFrameCartulo &bar, const QString &name)
{
    return bar.findChild<TSpeedButton *>(name);
}

const QStringList kBarNames{u"FMain"_s, u"FPesq"_s, u"FDoc"_s, u"FNatu"_s, u"FList"_s, u"FSetup"_s, u"FAbout"_s};
const QStringList kScreenButtons{u"spbCartulo"_s,   u"spdPesquisa"_s, u"spbDocumentos"_s, u"spbNatureza"_s,
                                 u"spbListagens"_s, u"spbSetup"_s,    u"spbAjuda"_s};

void sendMouse(QWidget *widget, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(local), QPointF(widget->mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Press at a point of the widget, move the pointer by delta with the button held, release.
void drag(QWidget *widget, QPoint from, QPoint delta)
{
    sendMouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    // The window may have moved under the pointer: global positions are what count.
    const QPoint globalStart = widget->mapToGlobal(from);
    const QPoint globalEnd = globalStart + delta;
    const QPoint local = widget->mapFromGlobal(globalEnd);
    QMouseEvent move(QEvent::MouseMove, QPointF(local), QPointF(globalEnd), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(local), QPointF(globalEnd), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void outerSizeOfAFramelessWindow()
    {
        MainWindowFixture f;
        QVERIFY(f->isWindow());
        QVERIFY(f->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(f->size(), QSize(783, 603));
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QCOMPARE(f->frameGeometry().size(), QSize(783, 603));
        QCOMPARE(f->windowTitle(), u"Cartulo"_s);
        QVERIFY(!f->windowIcon().isNull());
    }

    void outlinePointsInOrder()
    {
        const QPolygon expected{
            QPoint(48, 24),  QPoint(46, 25),   QPoint(44, 27),   QPoint(42, 31),   QPoint(39, 44),
            QPoint(36, 62),  QPoint(19, 62),   QPoint(5, 75),    QPoint(5, 586),   QPoint(13, 586),
            QPoint(13, 594), QPoint(755, 594), QPoint(755, 84),  QPoint(730, 61),  QPoint(716, 61),
            QPoint(714, 44), QPoint(710, 31),  QPoint(708, 27),  QPoint(706, 25),  QPoint(705, 24)};
        QCOMPARE(TfrmCartulo::outlinePolygon(), expected);
    }

    void maskFollowsTheOutline_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<bool>("inside");
        QTest::newRow("above the tab") << QPoint(300, 10) << false;
        QTest::newRow("old caption's top edge") << QPoint(300, 23) << false;
        QTest::newRow("tab, just inside the top") << QPoint(300, 25) << true;
        QTest::newRow("tab's left slope, inside") << QPoint(45, 30) << true;
        QTest::newRow("left of the tab") << QPoint(30, 40) << false;
        QTest::newRow("left shoulder, outside the cut") << QPoint(10, 70) << false;
        QTest::newRow("left shoulder, inside the cut") << QPoint(12, 70) << true;
        QTest::newRow("bottom-left notch") << QPoint(8, 590) << false;
        QTest::newRow("beside the notch") << QPoint(20, 590) << true;
        QTest::newRow("right of the body") << QPoint(760, 100) << false;
        QTest::newRow("right shoulder, outside the cut") << QPoint(740, 65) << false;
        QTest::newRow("right shoulder, inside the cut") << QPoint(725, 65) << true;
        QTest::newRow("below the body") << QPoint(300, 598) << false;
        QTest::newRow("body") << QPoint(400, 300) << true;
    }

    void maskFollowsTheOutline()
    {
        QFETCH(QPoint, point);
        QFETCH(bool, inside);
        MainWindowFixture f;
        QCOMPARE(f->mask().contains(point), inside);
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        f.window->move(f->pos() + QPoint(17, 9));
        QCOMPARE(f->mask().contains(point), inside); // for the window's whole life
    }

    void screenPanelsAtTheContentOrigin()
    {
        MainWindowFixture f;
        for (int number = 1; number <= 7; ++number) {
            QFrame *panel = panelNumber(*f.window, number);
            QVERIFY2(panel, qPrintable(u"Panel"_s + QString::number(number)));
            QCOMPARE(panel->geometry(), QRect(4, 34, 775, 565));
        }
    }

    void barsFillTheirPanels_data()
    {
        QTest::addColumn<QString>("bar");
        QTest::addColumn<int>("panel");
        for (int i = 0; i < kBarNames.size(); ++i)
            QTest::newRow(qPrintable(kBarNames[i])) << kBarNames[i] << i + 1;
    }

    void barsFillTheirPanels()
    {
        QFETCH(QString, bar);
        QFETCH(int, panel);
        MainWindowFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        auto *frame = f->findChild<TFrameCartulo *>(bar);
        QVERIFY(frame);
        QCOMPARE(frame->parentWidget(), panelNumber(*f.window, panel));
        QCOMPARE(frame->geometry(), QRect(1, 1, 773, 563));
        QCOMPARE(frame->mapTo(f.window.get(), QPoint(0, 0)), QPoint(5, 35));
        QCOMPARE(frame->imgFundo->geometry(), frame->rect());
    }

    void barButtonsInTheTab_data()
    {
        QTest::addColumn<QString>("bar");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QRect>("geometry");
        const QList<QPair<QString, QRect>> buttons{
            {u"spbCartulo"_s, QRect(60, 8, 65, 22)},    {u"spdPesquisa"_s, QRect(150, 8, 65, 22)},
            {u"spbDocumentos"_s, QRect(243, 8, 65, 22)}, {u"spbNatureza"_s, QRect(334, 8, 65, 22)},
            {u"spbListagens"_s, QRect(428, 8, 65, 22)},  {u"spbSetup"_s, QRect(524, 8, 65, 22)},
            {u"spbAjuda"_s, QRect(619, 8, 65, 22)},      {u"SpeedButton1"_s, QRect(680, 46, 25, 22)},
            {u"spbFechar"_s, QRect(704, 46, 25, 22)}};
        for (const QString &bar : kBarNames)
            for (const auto &[button, geometry] : buttons) {
                const QRect expected =
                    bar == u"FSetup" && button == u"spbSetup" ? QRect(519, 8, 65, 22) : geometry;
                QTest::addRow("%s %s", qPrintable(bar), qPrintable(button)) << bar << button << expected;
            }
    }

    void barButtonsInTheTab()
    {
        QFETCH(QString, bar);
        QFETCH(QString, button);
        QFETCH(QRect, geometry);
        MainWindowFixture f;
        auto *control = barButton(*f->findChild<TFrameCartulo *>(bar), button);
        QVERIFY(control);
        QCOMPARE(control->geometry(), geometry);
        QCOMPARE(control->focusPolicy(), Qt::NoFocus);
        // Whole button inside the window's outline.
        const QRect inWindow(control->mapTo(f.window.get(), QPoint(0, 0)), control->size());
        QVERIFY(f->mask().contains(inWindow));
    }

    void contentAreas_data()
    {
        QTest::addColumn<QString>("area");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("documents area") << u"Panel9"_s << u"Panel3"_s << QRect(36, 72, 695, 475);
        QTest::newRow("process browser view") << u"Panel8"_s << u"Panel9"_s << QRect(0, 0, 695, 475);
        QTest::newRow("document view") << u"Panel10"_s << u"Panel9"_s << QRect(0, 0, 695, 475);
        QTest::newRow("process view") << u"Panel11"_s << u"Panel9"_s << QRect(0, 0, 695, 475);
        QTest::newRow("document types") << u"PnlTpDoc"_s << u"Panel4"_s << QRect(35, 74, 695, 475);
        QTest::newRow("agency profile") << u"PnlSetup"_s << u"Panel6"_s << QRect(35, 74, 695, 475);
        QTest::newRow("advanced search") << u"FramePesquisaAvancada1"_s << u"Panel2"_s << QRect(35, 72, 695, 475);
    }

    void contentAreas()
    {
        QFETCH(QString, area);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        MainWindowFixture f;
        auto *parentPanel = f->findChild<QWidget *>(parent);
        QVERIFY(parentPanel);
        auto *content = parentPanel->findChild<QWidget *>(area, Qt::FindDirectChildrenOnly);
        QVERIFY(content);
        QCOMPARE(content->geometry(), geometry);
        QVERIFY(content->autoFillBackground());
        QCOMPARE(content->palette().color(QPalette::Window), QColor(117, 197, 240));
        // Over the bar's background, not under it (the documents area's views take turns).
        if (parent != u"Panel9") {
            QWidget *top = parentPanel->childAt(content->geometry().center());
            QVERIFY(top == content || content->isAncestorOf(top));
        }
    }

    void setupAreaHasALoweredBevel()
    {
        MainWindowFixture f;
        QCOMPARE(f->PnlSetup->frameShadow(), QFrame::Sunken);
        QCOMPARE(f->PnlSetup->frameShape(), QFrame::Panel);
    }

    void screenButtonShowsExactlyItsPanel_data()
    {
        QTest::addColumn<int>("barScreen");
        QTest::addColumn<int>("button");
        for (int bar = 1; bar <= 7; ++bar)
            for (int button = 1; button <= 7; ++button)
                QTest::addRow("%s %s", qPrintable(kBarNames[bar - 1]), qPrintable(kScreenButtons[button - 1]))
                    << bar << button;
    }

    void screenButtonShowsExactlyItsPanel()
    {
        QFETCH(int, barScreen);
        QFETCH(int, button);
        MainWindowFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        showOnly(*f.window, barScreen);
        auto *bar = f->findChild<TFrameCartulo *>(kBarNames[barScreen - 1]);
        QTest::mouseClick(barButton(*bar, kScreenButtons[button - 1]), Qt::LeftButton);
        QCOMPARE(visibleScreens(*f.window), QList<int>{button});
    }

    void panelsAreFoundWithoutRegardToCase()
    {
        MainWindowFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        f->Panel4->setObjectName(u"PANEL4"_s);
        f->FMain->ActivePanel(u"4"_s);
        QCOMPARE(visibleScreens(*f.window), QList<int>{4});
    }

    void switchingAwayKeepsTheDocumentsView()
    {
        MainWindowFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QTest::mouseClick(f->FMain->spbDocumentos, Qt::LeftButton);
        f->FrameDoc1BtnNovoClick();
        QCOMPARE(f->documentsView(), f->Panel11);
        QTest::mouseClick(f->FDoc->spbNatureza, Qt::LeftButton);
        QTest::mouseClick(f->FNatu->spbDocumentos, Qt::LeftButton);
        QCOMPARE(visibleScreens(*f.window), QList<int>{3});
        QCOMPARE(f->documentsView(), f->Panel11);
        QVERIFY(f->Panel11->isVisible());
        QVERIFY(!f->Panel8->isVisible());
        QVERIFY(!f->Panel10->isVisible());
    }

    void documentsAreaExitsReturnToTheBrowser()
    {
        MainWindowFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QPushButton exit(u"Sair"_s);
        f->FrameDoc1BtnNovoClick();
        f->PnlProcessoBtnSairClick(&exit);
        QCOMPARE(f->documentsView(), f->Panel8);
        f->FrameDoc1BtnSelClick();
        QCOMPARE(f->documentsView(), f->Panel10);
        f->PnlDocumentoBtnSairClick(&exit);
        QCOMPARE(f->documentsView(), f->Panel8);
    }

    void documentTypeExitAlwaysReadsCancelar()
    {
        MainWindowFixture f;
        QPushButton exit(u"Sair"_s);
        f->PnlTpDocBtnSairClick(&exit);
        QCOMPARE(exit.text(), u"Cancelar"_s);
    }

    void firstShowGoesHomeWithTheDocumentsAreaOnTheBrowser()
    {
        MainWindowFixture f;
        f->FrameDoc1BtnNovoClick(); // a view changed before the first show
        showOnly(*f.window, 6);
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QCOMPARE(visibleScreens(*f.window), QList<int>{1});
        QCOMPARE(f->documentsView(), f->Panel8);
        QVERIFY(f->Panel8->isVisibleTo(f->Panel9));
        QVERIFY(!f->Panel10->isVisibleTo(f->Panel9));
        QVERIFY(!f->Panel11->isVisibleTo(f->Panel9));
    }

    // An archive on a network share: one word about it at the first show, none later.
    void sharedArchiveIsMentionedOnce_data()
    {
        QTest::addColumn<bool>("network");
        QTest::newRow("local disk") << false;
        QTest::newRow("network share") << true;
    }
    void sharedArchiveIsMentionedOnce()
    {
        QFETCH(bool, network);
        MainWindowFixture f;
        f->ConnArq->close();
        f->ConnArq->openFile(f.databasePath(),
                             {network ? db::FileSystemKind::Network : db::FileSystemKind::Local});
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        f->hide();
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        const auto messages = f.ui->callsOf(editing::ScriptedPrompt::Kind::Message);
        QCOMPARE(messages.size(), network ? 1 : 0);
        if (network) {
            QVERIFY(messages[0].text.contains(f.databasePath()));
            QVERIFY(messages[0].text.contains(u"servidor de banco de dados"_s));
        }
    }

    void centredWhenFirstShown()
    {
        MainWindowFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        const QRect available = f->screen()->availableGeometry();
        const QPoint offset = f->frameGeometry().center() - available.center();
        QVERIFY2(offset.manhattanLength() <= 2, qPrintable(u"off centre by %1,%2"_s.arg(offset.x()).arg(offset.y())));
    }

    void draggingMovesTheWindow_data()
    {
        QTest::addColumn<QString>("handle");
        QTest::addColumn<QPoint>("pressAt");
        QTest::addColumn<bool>("moves");
        QTest::newRow("home bar's background") << u"FMain/imgFundo"_s << QPoint(300, 300) << true;
        QTest::newRow("documents bar's background, beside the content")
            << u"FDoc/imgFundo"_s << QPoint(10, 200) << true;
        QTest::newRow("window's own surface in the tab") << u"frmCartulo"_s << QPoint(300, 28) << true;
        QTest::newRow("screen button") << u"FMain/spbNatureza"_s << QPoint(30, 10) << false;
        QTest::newRow("minimise button's neighbour: close") << u"FMain/spbFechar"_s << QPoint(5, 5) << false;
        QTest::newRow("documents area") << u"Panel9"_s << QPoint(300, 200) << false;
    }

    void draggingMovesTheWindow()
    {
        QFETCH(QString, handle);
        QFETCH(QPoint, pressAt);
        QFETCH(bool, moves);
        MainWindowFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        const QStringList path = handle.split(u'/');
        QWidget *widget = f.window.get();
        if (path.size() == 2) {
            showOnly(*f.window, path[0] == u"FDoc" ? 3 : 1);
            widget = f->findChild<TFrameCartulo *>(path[0])->findChild<QWidget *>(path[1]);
        } else if (path[0] != u"frmCartulo") {
            showOnly(*f.window, 3);
            widget = f->findChild<QWidget *>(path[0]);
        }
        QVERIFY(widget && widget->isVisible());
        const QPoint before = f->pos();
        if (widget == f.window.get()) {
            QCOMPARE(f->childAt(pressAt), nullptr); // free surface
        }
        // A press on a control reaches the control itself, as a real click would.
        QWidget *target = widget->childAt(pressAt) ? widget->childAt(pressAt) : widget;
        drag(target, target == widget ? pressAt : target->mapFrom(widget, pressAt), QPoint(40, 25));
        QCOMPARE(f->pos() - before, moves ? QPoint(40, 25) : QPoint(0, 0));
    }

    void minimiseMinimisesTheApplication()
    {
        MainWindowFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QTest::mouseClick(f->FNatu->spbDocumentos, Qt::LeftButton);
        QTest::mouseClick(f->FDoc->SpeedButton1, Qt::LeftButton);
        QTRY_VERIFY(f->isMinimized());
        f->showNormal();
        QTRY_VERIFY(!f->isMinimized());
        QCOMPARE(visibleScreens(*f.window), QList<int>{3}); // the same screen
    }

    // Last: runs the application's event loop until the close button ends it.
    void closeEndsTheProgramWithStatusZero()
    {
        MainWindowFixture f;
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QTimer::singleShot(0, f.window.get(), [&f] { QTest::mouseClick(f->FList->spbFechar, Qt::LeftButton); });
        QTimer guard; // a close that does not end the loop must fail, not hang
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
        guard.start(10000);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!f->isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
