#include "editing/Prompt.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace editing {

namespace {

// Qt's own dialog speaks the program's language (its translation is loaded at start); a
// desktop's native one would follow the system's.
constexpr QFileDialog::Options kQtDialog = QFileDialog::DontUseNativeDialog;

std::unique_ptr<Prompt> &installedPrompt()
{
    static std::unique_ptr<Prompt> current;
    return current;
}

QString applicationTitle()
{
    const QString display = QGuiApplication::applicationDisplayName();
    return display.isEmpty() ? QCoreApplication::applicationName() : display;
}

// The kind of a question box follows its title, as the old message dialogs did.
QMessageBox::Icon iconForTitle(const QString &title)
{
    if (title == u"Error")
        return QMessageBox::Critical;
    if (title == u"Warning")
        return QMessageBox::Warning;
    if (title == u"Information")
        return QMessageBox::Information;
    return QMessageBox::Question;
}

QString kindName(ScriptedPrompt::Kind kind)
{
    switch (kind) {
    case ScriptedPrompt::Kind::Message: return u"message"_s;
    case ScriptedPrompt::Kind::ErrorBox: return u"error box"_s;
    case ScriptedPrompt::Kind::Question: return u"question"_s;
    case ScriptedPrompt::Kind::Beep: return u"beep"_s;
    case ScriptedPrompt::Kind::OpenFile: return u"open-file choice"_s;
    case ScriptedPrompt::Kind::SaveFile: return u"save-file choice"_s;
    }
    return {};
}

} // namespace

Prompt &prompt()
{
    auto &current = installedPrompt();
    if (!current)
        current = std::make_unique<MessageBoxPrompt>();
    return *current;
}

std::unique_ptr<Prompt> setPrompt(std::unique_ptr<Prompt> replacement)
{
    auto previous = std::move(installedPrompt());
    installedPrompt() = std::move(replacement);
    return previous;
}

// --- MessageBoxPrompt

void MessageBoxPrompt::message(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void MessageBoxPrompt::errorBox(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

bool MessageBoxPrompt::question(const QString &title, const QString &text)
{
    QMessageBox box(iconForTitle(title), title, text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    QPushButton *yes = box.addButton(u"&Yes"_s, QMessageBox::YesRole);
    QPushButton *no = box.addButton(u"&No"_s, QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void MessageBoxPrompt::beep()
{
    QApplication::beep();
}

std::optional<QString> MessageBoxPrompt::openFileName(const QString &caption, const QString &filter)
{
    const QString path =
        QFileDialog::getOpenFileName(QApplication::activeWindow(), caption, QString(), filter, nullptr, kQtDialog);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> MessageBoxPrompt::saveFileName(const QString &caption, const QString &filter)
{
    const QString path =
        QFileDialog::getSaveFileName(QApplication::activeWindow(), caption, QString(), filter, nullptr, kQtDialog);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

QStringList MessageBoxPrompt::openFileNames(const QString &caption, const QString &filters)
{
    return QFileDialog::getOpenFileNames(QApplication::activeWindow(), caption, QString(), filters, nullptr,
                                         kQtDialog);
}

std::optional<Prompt::SaveChoice> MessageBoxPrompt::saveFileChoice(const QString &caption, const QStringList &filters)
{
    QString chosenFilter = filters.value(0);
    const QString path = QFileDialog::getSaveFileName(QApplication::activeWindow(), caption, QString(),
                                                      filters.join(u";;"_s), &chosenFilter, kQtDialog);
    if (path.isEmpty())
        return std::nullopt;
    return SaveChoice{path, int(std::max<qsizetype>(0, filters.indexOf(chosenFilter)))};
}

// --- ScriptedPrompt

void ScriptedPrompt::answerQuestion(bool yes)
{
    m_questionAnswers.push_back(yes);
}

void ScriptedPrompt::answerFile(std::optional<QString> path)
{
    m_fileAnswers.push_back(std::move(path));
}

void ScriptedPrompt::answerFiles(const QStringList &paths)
{
    m_fileListAnswers.push_back(paths);
}

void ScriptedPrompt::answerSaveChoice(std::optional<SaveChoice> choice)
{
    m_saveChoiceAnswers.push_back(std::move(choice));
}

QList<ScriptedPrompt::Call> ScriptedPrompt::callsOf(Kind kind) const
{
    QList<Call> result;
    for (const Call &call : m_calls)
        if (call.kind == kind)
            result.append(call);
    return result;
}

void ScriptedPrompt::message(const QString &text)
{
    m_calls.append({Kind::Message, applicationTitle(), text, {}});
}

void ScriptedPrompt::errorBox(const QString &title, const QString &text)
{
    m_calls.append({Kind::ErrorBox, title, text, {}});
}

bool ScriptedPrompt::question(const QString &title, const QString &text)
{
    m_calls.append({Kind::Question, title, text, {}});
    if (m_questionAnswers.empty())
        qFatal("ScriptedPrompt: no answer queued for the question \"%s\": %s",
               qUtf8Printable(title), qUtf8Printable(text));
    const bool answer = m_questionAnswers.front();
    m_questionAnswers.pop_front();
    return answer;
}

void ScriptedPrompt::beep()
{
    m_calls.append({Kind::Beep, {}, {}, {}});
}

std::optional<QString> ScriptedPrompt::openFileName(const QString &caption, const QString &filter)
{
    return nextFile(Kind::OpenFile, caption, filter);
}

std::optional<QString> ScriptedPrompt::saveFileName(const QString &caption, const QString &filter)
{
    return nextFile(Kind::SaveFile, caption, filter);
}

QStringList ScriptedPrompt::openFileNames(const QString &caption, const QString &filters)
{
    m_calls.append({Kind::OpenFile, caption, {}, filters});
    if (m_fileListAnswers.empty())
        qFatal("ScriptedPrompt: no answer queued for the choice of files \"%s\" (%s)", qUtf8Printable(caption),
               qUtf8Printable(filters));
    const QStringList answer = m_fileListAnswers.front();
    m_fileListAnswers.pop_front();
    return answer;
}

std::optional<Prompt::SaveChoice> ScriptedPrompt::saveFileChoice(const QString &caption, const QStringList &filters)
{
    m_calls.append({Kind::SaveFile, caption, {}, filters.join(u";;"_s)});
    if (m_saveChoiceAnswers.empty())
        qFatal("ScriptedPrompt: no answer queued for the save choice \"%s\" (%s)", qUtf8Printable(caption),
               qUtf8Printable(filters.join(u";;"_s)));
    auto answer = std::move(m_saveChoiceAnswers.front());
    m_saveChoiceAnswers.pop_front();
    return answer;
}

std::optional<QString> ScriptedPrompt::nextFile(Kind kind, const QString &caption,
                                                const QString &filter)
{
    m_calls.append({kind, caption, {}, filter});
    if (m_fileAnswers.empty())
        qFatal("ScriptedPrompt: no answer queued for the %s \"%s\" (%s)",
               qUtf8Printable(kindName(kind)), qUtf8Printable(caption), qUtf8Printable(filter));
    auto answer = std::move(m_fileAnswers.front());
    m_fileAnswers.pop_front();
    return answer;
}

} // namespace editing
