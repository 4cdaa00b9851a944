#pragma once
// The real main window (see tests/support/ProgramWindow.h) with the document screen one
// call away.
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
#include "tests/support/ProgramWindow.h"
#include "tests/support/WhenShown.h"

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

class DocumentWindow : public testsupport::ProgramWindow {
public:
    /// Statements run on the archive before the window is set up.
    explicit DocumentWindow(const QStringList &seed = {})
        : DocumentWindow(Options{.seed = seed, .show = Options::Show::Active})
    {
    }

    explicit DocumentWindow(const Options &options) : ProgramWindow(options)
    {
        if (QTest::currentTestFailed())
            return;
        screen = window->FrameDocumento1;
        QVERIFY(screen);
        QTest::mouseClick(window->FMain->spbDocumentos, Qt::LeftButton);
    }

    QString pageFolder() const { return QDir(programDir()).filePath(QStringLiteral("dados/laudas/")); }
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

    /// Types a text key by key; letters beyond ASCII arrive as the text of their key event.
    static void type(QWidget *field, const QString &text) { ProgramWindow::type(field, text, AccentKey::Unknown); }

    TFrameDocumento *screen = nullptr;
};

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
