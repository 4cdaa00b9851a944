#pragma once
// The real main window on a temporary program folder with a fresh archive, headless.
// Questions and file choices are answered by a scripted prompt; every statement sent to the
// engine is kept, and (unless a test checks the window's own hook) every error that reaches
// the hook too, so a test can tell an expected failure from an unexpected one.
#include "app/untCartulo.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "editing/Guard.h"
#include "editing/Prompt.h"
#include "tests/support/ErrorText.h"

#include <QAbstractButton>
#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <exception>
#include <memory>
#include <optional>

namespace testsupport {

struct ProgramWindowOptions {
    enum class Show { No, Exposed, Active };
    /// Statements run on the archive before the window is set up.
    QStringList seed;
    Show show = Show::Exposed;
    /// Records errors through a hook of the test's own (passing them on to the window's).
    bool recordErrors = true;
    /// A program folder whose cartulo.udl names an archive already made (of either kind),
    /// for several windows on one archive; empty: a fresh file archive of the window's own.
    QString sharedProgramDir = {};
};

class ProgramWindow {
public:
    using Options = ProgramWindowOptions;

    explicit ProgramWindow(const Options &options = {})
    {
        QVERIFY2(m_dir.isValid(), "no temporary folder");
        m_programDir = options.sharedProgramDir.isEmpty() ? m_dir.path() : options.sharedProgramDir;
        QVERIFY(QDir(m_programDir).mkpath(QStringLiteral("dados/laudas")));
        if (options.sharedProgramDir.isEmpty())
            db::Connection::createArchive(databasePath());
        window = std::make_unique<TfrmCartulo>(m_programDir);
        if (options.recordErrors)
            m_hook.emplace([this](std::exception_ptr error) {
                errors << errorText(error);
                window->AppEventArqException(error);
            });
        if (options.sharedProgramDir.isEmpty())
            window->ConnArq->openFile(databasePath());
        else
            window->ConnArq->openDescription(QDir(m_programDir).filePath(QStringLiteral("cartulo.udl")));
        for (const QString &sql : options.seed)
            run(sql);
        QObject::connect(window->ConnArq, &db::Connection::statementExecuted, window.get(),
                         [this](const QString &sql) { statements << sql; });
        window->FormCreate();
        switch (options.show) {
        case Options::Show::No:
            break;
        case Options::Show::Exposed:
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            break;
        case Options::Show::Active:
            QVERIFY(showActive());
            break;
        }
    }

    ~ProgramWindow()
    {
        window.reset();
        m_hook.reset();
    }

    ProgramWindow(const ProgramWindow &) = delete;
    ProgramWindow &operator=(const ProgramWindow &) = delete;

    QString programDir() const { return m_programDir; }
    QString databasePath() const { return QDir(m_programDir).filePath(QStringLiteral("dados/cartulo.db")); }

    /// Shows the window and waits until it is the active window (F2 is a window shortcut).
    bool showActive() const
    {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }

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

    /// The key a letter beyond ASCII arrives with: its upper-case code, or none (text only).
    enum class AccentKey { Letter, Unknown };

    /// Types a text key by key, accented letters included (keyClicks takes ASCII only).
    static void type(QWidget *widget, const QString &text, AccentKey accentKey = AccentKey::Letter)
    {
        for (const QChar c : text) {
            if (c.unicode() < 128)
                QTest::keyClick(widget, char(c.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, widget,
                                    accentKey == AccentKey::Letter ? Qt::Key(c.toUpper().unicode()) : Qt::Key_unknown,
                                    QString(c), Qt::NoModifier);
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

    static void click(QAbstractButton *button)
    {
        QVERIFY(button);
        QVERIFY2(button->isVisible(), qPrintable(button->objectName() + QStringLiteral(" is hidden")));
        QVERIFY2(button->isEnabled(), qPrintable(button->objectName() + QStringLiteral(" is disabled")));
        QTest::mouseClick(button, Qt::LeftButton);
    }

    TfrmCartulo *operator->() const { return window.get(); }

    editing::ScopedPrompt<editing::ScriptedPrompt> ui;
    std::unique_ptr<TfrmCartulo> window;
    QStringList statements;
    QStringList errors;

private:
    QTemporaryDir m_dir;
    QString m_programDir;
    std::optional<editing::ScopedErrorHook> m_hook;
};

} // namespace testsupport
