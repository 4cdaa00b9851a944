#pragma once
// The real main window on a temporary program folder with a fresh archive, headless.
// Questions and file choices are answered by a scripted prompt; every error that reaches
// the hook is kept so a test can tell an expected failure from an unexpected one.
#include "app/PictureButton.h"
#include "app/UntFrameCartulo.h"
#include "app/untCartulo.h"
#include "db/QueryModel.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "editing/Guard.h"
#include "editing/Prompt.h"
#include "editing/lib.h"

#include <QAbstractButton>
#include <QToolButton>
#include <QDir>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <exception>
#include <memory>
#include <optional>

/// Seed statement for one process (number "1").
inline QString processRow(const QString &code, const QString &description,
                          const QString &date = QStringLiteral("NULL"), const QString &count = QStringLiteral("0"))
{
    return QStringLiteral("Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (%1,%2,\"1\",%3,%4)")
        .arg(lib::quoted(code), lib::quoted(description), date, count);
}

class ArchiveWindow {
public:
    /// Statements run on the archive before the window is set up.
    explicit ArchiveWindow(const QStringList &seed = {})
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
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    ~ArchiveWindow()
    {
        window.reset();
        m_hook.reset();
    }

    QString programDir() const { return m_dir.path(); }
    QString databasePath() const { return m_dir.filePath(QStringLiteral("dados/cartulo.db")); }

    template <typename T>
    T *find(const QString &name) const
    {
        return window->findChild<T *>(name);
    }

    /// A control by objectName inside a screen found by objectName.
    template <typename T>
    T *control(const QString &screen, const QString &name) const
    {
        QObject *host = window->findChild<QObject *>(screen);
        return host ? host->findChild<T *>(name) : nullptr;
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

    /// Statements sent to the engine since the last call (and forgets them).
    QStringList takeStatements()
    {
        QStringList taken = statements;
        statements.clear();
        return taken;
    }

    /// Types a text key by key, accented letters included (keyClicks takes ASCII only).
    static void type(QWidget *widget, const QString &text)
    {
        for (const QChar c : text) {
            if (c.unicode() < 128)
                QTest::keyClick(widget, char(c.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, widget, Qt::Key(c.toUpper().unicode()), QString(c), Qt::NoModifier);
        }
    }

    static void click(QAbstractButton *button)
    {
        QVERIFY(button);
        QVERIFY2(button->isVisible(), qPrintable(button->objectName() + QStringLiteral(" is hidden")));
        QVERIFY2(button->isEnabled(), qPrintable(button->objectName() + QStringLiteral(" is disabled")));
        QTest::mouseClick(button, Qt::LeftButton);
    }

    editing::ScopedPrompt<editing::ScriptedPrompt> ui;
    std::unique_ptr<TfrmCartulo> window;
    QStringList statements;
    QStringList errors;

private:
    QTemporaryDir m_dir;
    std::optional<editing::ScopedErrorHook> m_hook;
};
