#pragma once
// The real main window on a temporary program folder with a fresh archive, headless, with
// the document screen one call away. Boxes are answered by a scripted prompt; every error
// that reaches the hook is kept, so a test can tell an expected failure from a fault.
#include "app/PictureButton.h"
#include "app/UntFrameCartulo.h"
#include "app/untCartulo.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "documents/ImagePreview.h"
#include "documents/UntDoc.h"
#include "editing/Guard.h"
#include "editing/JpegImage.h"
#include "editing/Prompt.h"
#include "editing/painel.h"
#include "registers/UntFrameDoc.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

class DocumentWindow {
public:
    /// Statements run on the archive before the window is set up.
    explicit DocumentWindow(const QStringList &seed = {})
    {
        QVERIFY2(m_dir.isValid(), "no temporary folder");
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("dados/laudas")));
        db::Connection::createArchive(databasePath());
        window = std::make_unique<TfrmCartulo>(m_dir.path());
        m_hook.emplace([this](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception &e) {
                errors << QString::fromUtf8(e.what());
            } catch (...) {
                errors << QStringLiteral("unknown error");
            }
            window->AppEventArqException(error);
        });
        window->ConnArq->openFile(databasePath());
        for (const QString &sql : seed)
            run(sql);
        QObject::connect(window->ConnArq, &db::Connection::statementExecuted, window.get(),
                         [this](const QString &sql) { statements << sql; });
        window->FormCreate();
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        screen = window->FrameDocumento1;
        QVERIFY(screen);
        QTest::mouseClick(window->FMain->spbDocumentos, Qt::LeftButton);
    }

    ~DocumentWindow()
    {
        window.reset();
        m_hook.reset();
    }

    QString programDir() const { return m_dir.path(); }
    QString databasePath() const { return m_dir.filePath(QStringLiteral("dados/cartulo.db")); }
    QString pageFolder() const { return m_dir.filePath(QStringLiteral("dados/laudas/")); }
    QString pagePath(const QString &name) const { return pageFolder() + name; }

    /// Opens a process on the document screen as the browser's "&Documentos do Processo"
    /// does. With the browser in place the process is chosen in its list.
    void openProcess(const QString &code)
    {
        if (auto *browser = window->findChild<TFrameDoc *>(QStringLiteral("FrameDoc1"))) {
            if (code.isEmpty()) { // a filter that lists nothing hands over an empty code
                browser->EdtPesq->setText(QStringLiteral("nenhum processo assim"));
                QTest::mouseClick(browser->SBtnPesq, Qt::LeftButton);
            } else {
                QVERIFY2(browser->QryProcesso->locate(QStringLiteral("cod"), code), qPrintable(code));
            }
            QCOMPARE(browser->selectedCode(), code);
            QTest::mouseClick(browser->BtnSel, Qt::LeftButton);
        } else {
            screen->EdtProcesso->setText(code);
            window->FrameDoc1BtnSelClick();
        }
        QVERIFY(screen->isVisible());
    }

    QPushButton *panelButton(const char *name) const
    {
        return screen->PnlDocumento->findChild<QPushButton *>(QString::fromLatin1(name));
    }

    void run(const QString &sql) const
    {
        db::Command command(window->ConnArq);
        command.setText(sql);
        command.execute();
    }

    /// Rows of a select, each row's columns joined by '|'; NULL reads "<null>".
    QStringList rows(const QString &sql) const
    {
        db::Query query(window->ConnArq);
        query.setSql(sql);
        query.open();
        QStringList result;
        for (query.first(); !query.isEmpty() && !query.eof(); query.next()) {
            QStringList columns;
            for (int c = 0; c < query.fieldCount(); ++c)
                columns << (query.isNull(c) ? QStringLiteral("<null>") : query.asText(c));
            result << columns.join(u'|');
        }
        return result;
    }

    QStringList listedPages() const
    {
        QStringList names;
        for (int i = 0; i < screen->LBoxLaudas->count(); ++i)
            names << screen->LBoxLaudas->item(i)->text();
        return names;
    }

    /// The files of the page folder (not of its subfolders), sorted.
    QStringList pageFiles() const
    {
        return QDir(pageFolder()).entryList(QDir::Files, QDir::Name);
    }

    void writeFile(const QString &path, const QByteArray &bytes) const
    {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static void click(QAbstractButton *button)
    {
        QVERIFY(button);
        QVERIFY2(button->isVisible(), qPrintable(button->objectName() + QStringLiteral(" is hidden")));
        QVERIFY2(button->isEnabled(), qPrintable(button->objectName() + QStringLiteral(" is disabled")));
        QTest::mouseClick(button, Qt::LeftButton);
    }

    /// Types a text key by key; letters beyond ASCII arrive as the text of their key event.
    static void type(QWidget *field, const QString &text)
    {
        for (const QChar c : text) {
            if (c.unicode() < 128)
                QTest::keyClick(field, char(c.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    /// Replaces what a field holds by typing, as a user does.
    static void retype(QWidget *field, const QString &text)
    {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }

    editing::ScopedPrompt<editing::ScriptedPrompt> ui;
    std::unique_ptr<TfrmCartulo> window;
    TFrameDocumento *screen = nullptr;
    QStringList statements;
    QStringList errors;

private:
    QTemporaryDir m_dir;
    std::optional<editing::ScopedErrorHook> m_hook;
};

/// Runs `act` on the first visible dialog with that objectName: modal dialogs run their own
/// event loop, so a test reaches them from a timer. A dialog still open after a long while
/// is closed, so a test can fail but never hang.
inline void whenShown(const QString &objectName, std::function<void(QDialog *)> act)
{
    auto *timer = new QTimer(qApp);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<QDialog *>(widget);
            if (dialog && dialog->objectName() == objectName && dialog->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(dialog);
                return;
            }
        }
        if (started->elapsed() > 30000) {
            timer->stop();
            timer->deleteLater();
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        }
    });
    timer->start(20);
}

/// A real JPEG whose bytes differ with `seed`, so every page can be told apart.
inline QByteArray jpegBytes(int seed, QSize size = QSize(40, 30))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((seed * 37) % 360, 200, 100 + (seed * 13) % 150));
    for (int x = 0; x < size.width(); x += 4)
        image.setPixel(x, (x + seed) % size.height(), qRgb(seed % 256, 255 - seed % 256, 128));
    return editing::jpeg::encode(image);
}

inline QString processRow(const QString &code, const QString &description = QStringLiteral("OBRAS"))
{
    return QStringLiteral("Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (\"%1\",\"%2\",\"1\",NULL,0)")
        .arg(code, description);
}

inline QString documentRow(const QString &process, const QString &code, const QString &laudas = QStringLiteral("0"),
                           const QString &description = QStringLiteral("DOC"))
{
    return QStringLiteral("Insert Into documento (cod,processo,tp_doc,descricao,n_laudas) VALUES (\"%1\",\"%2\",\"00001\",\"%3\",%4)")
        .arg(code, process, description, laudas);
}
