#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>
#include <optional>

namespace editing {

/// Everything the program asks or tells the user through a box goes through the current
/// prompt, so tests can answer in place of a person and no test ever waits on a modal box.
class Prompt {
public:
    virtual ~Prompt() = default;

    /// Plain box with an OK button; its title is the application's name.
    virtual void message(const QString &text) = 0;
    /// Error box with the given title (start-up failures: "Application Error").
    virtual void errorBox(const QString &title, const QString &text) = 0;
    /// Yes/No box whose title names its kind ("Confirm", "Error"); buttons "&Yes" and "&No".
    /// True for Yes.
    virtual bool question(const QString &title, const QString &text) = 0;
    virtual void beep() = 0;
    /// File choosers; nullopt when the user cancels.
    virtual std::optional<QString> openFileName(const QString &caption, const QString &filter) = 0;
    virtual std::optional<QString> saveFileName(const QString &caption, const QString &filter) = 0;
    /// Several files in one choice; empty when cancelled.
    /// `filters` are separated by ";;", the first one chosen at the start.
    virtual QStringList openFileNames(const QString &caption, const QString &filters) = 0;
    /// A save choice whose filter means something: `filter` is the index, in `filters`,
    /// of the one the user left chosen.
    struct SaveChoice {
        QString path;
        int filter = 0;
    };
    virtual std::optional<SaveChoice> saveFileChoice(const QString &caption, const QStringList &filters) = 0;
};

/// The prompt on QMessageBox and QFileDialog, parented to the active window.
class MessageBoxPrompt final : public Prompt {
public:
    void message(const QString &text) override;
    void errorBox(const QString &title, const QString &text) override;
    bool question(const QString &title, const QString &text) override;
    void beep() override;
    std::optional<QString> openFileName(const QString &caption, const QString &filter) override;
    std::optional<QString> saveFileName(const QString &caption, const QString &filter) override;
    QStringList openFileNames(const QString &caption, const QString &filters) override;
    std::optional<SaveChoice> saveFileChoice(const QString &caption, const QStringList &filters) override;
};

/// For tests: records every call and answers questions and file choices from queues.
/// A question or file choice with no queued answer aborts the test run with a message
/// naming it (qFatal): a forgotten answer must fail loudly, never hang or guess.
class ScriptedPrompt final : public Prompt {
public:
    enum class Kind { Message, ErrorBox, Question, Beep, OpenFile, SaveFile };
    struct Call {
        Kind kind;
        QString title;  ///< question/error box title, file chooser caption
        QString text;   ///< message or question text
        QString filter; ///< file chooser filter
    };

    void answerQuestion(bool yes);
    void answerFile(std::optional<QString> path);
    /// For openFileNames: the files as the user picked them (empty: cancelled).
    void answerFiles(const QStringList &paths);
    /// For saveFileChoice: nullopt when the user cancels.
    void answerSaveChoice(std::optional<SaveChoice> choice);

    const QList<Call> &calls() const { return m_calls; }
    QList<Call> callsOf(Kind kind) const;
    void clearCalls() { m_calls.clear(); }
    /// True when every queued answer was used.
    bool allAnswersUsed() const
    {
        return m_questionAnswers.empty() && m_fileAnswers.empty() && m_fileListAnswers.empty()
            && m_saveChoiceAnswers.empty();
    }

    void message(const QString &text) override;
    void errorBox(const QString &title, const QString &text) override;
    bool question(const QString &title, const QString &text) override;
    void beep() override;
    std::optional<QString> openFileName(const QString &caption, const QString &filter) override;
    std::optional<QString> saveFileName(const QString &caption, const QString &filter) override;
    QStringList openFileNames(const QString &caption, const QString &filters) override;
    std::optional<SaveChoice> saveFileChoice(const QString &caption, const QStringList &filters) override;

private:
    std::optional<QString> nextFile(Kind kind, const QString &caption, const QString &filter);

    QList<Call> m_calls;
    std::deque<bool> m_questionAnswers;
    std::deque<std::optional<QString>> m_fileAnswers;
    std::deque<QStringList> m_fileListAnswers;
    std::deque<std::optional<SaveChoice>> m_saveChoiceAnswers;
};

/// The process-wide prompt (a MessageBoxPrompt until another is installed).
Prompt &prompt();
/// Installs a prompt and hands back the previous one; null restores the default.
std::unique_ptr<Prompt> setPrompt(std::unique_ptr<Prompt> replacement);

/// Installs a prompt of type P for the lifetime of this object, then restores the previous.
/// Usage in tests: ScopedPrompt<ScriptedPrompt> ui; ui->answerQuestion(true);
template <typename P>
class ScopedPrompt {
public:
    ScopedPrompt()
    {
        auto owned = std::make_unique<P>();
        m_prompt = owned.get();
        m_previous = setPrompt(std::move(owned));
    }
    ~ScopedPrompt() { setPrompt(std::move(m_previous)); }
    ScopedPrompt(const ScopedPrompt &) = delete;
    ScopedPrompt &operator=(const ScopedPrompt &) = delete;

    P *operator->() const { return m_prompt; }
    P &operator*() const { return *m_prompt; }

private:
    P *m_prompt = nullptr;
    std::unique_ptr<Prompt> m_previous;
};

} // namespace editing
