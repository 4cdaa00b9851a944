#pragma once
#include <QFrame>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <stdexcept>

class QLabel;
class QWindow;

/// Base of every screen frame. A control belongs to ("is owned by") the nearest enclosing
/// TScreen; the main window is not a screen and owns no edit control.
class TScreen : public QFrame {
    Q_OBJECT
public:
    explicit TScreen(QWidget *parent = nullptr);

    /// The screen's caption text, part of the panel's questions and hints. Empty on every
    /// screen of this program.
    QString caption() const { return m_caption; }
    void setCaption(const QString &caption) { m_caption = caption; }

private:
    QString m_caption;
};

/// Letter case forced on everything typed or set (Delphi's CharCase).
enum class CharCase { Normal, Upper, Lower };

/// Plain single-line edit.
class TEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TEdit(QWidget *parent = nullptr);
    TEdit(const QString &objectName, QWidget *parent);

    void setCharCase(CharCase charCase);
    CharCase charCase() const { return m_charCase; }

private:
    CharCase m_charCase = CharCase::Normal;
};

/// Single-line edit with its caption label. The label is the edit's buddy (a screen reader
/// announces the caption), lives beside the edit in the same parent, follows its moves,
/// shows and hides with it, and never greys out.
class TLabeledEdit : public QLineEdit {
    Q_OBJECT
public:
    enum class LabelPosition { Above, Left, Manual };

    explicit TLabeledEdit(QWidget *parent = nullptr);
    TLabeledEdit(const QString &objectName, const QString &caption, QWidget *parent);
    ~TLabeledEdit() override;

    QLabel *label() const;
    QString caption() const;
    void setCaption(const QString &caption);

    /// Above (the default, 3 pixels apart) and Left keep the label beside the edit whenever
    /// it moves; Manual leaves the label where the screen (or its layout) puts it.
    void setLabelPosition(LabelPosition position, int spacing = 3);
    LabelPosition labelPosition() const { return m_position; }

    void setCharCase(CharCase charCase);
    CharCase charCase() const { return m_charCase; }

protected:
    bool event(QEvent *event) override;

private:
    void placeLabel();

    QPointer<QLabel> m_label;
    LabelPosition m_position = LabelPosition::Above;
    int m_spacing = 3;
    CharCase m_charCase = CharCase::Normal;
};

/// Masked date entry of the form dd/MM/yy. Its text always has the mask's shape:
/// "  /  /  " when empty, "15/03/04" when filled; typing overwrites digit places and skips
/// the separators. Leaving it while partly filled is refused: the focus stays, and the
/// refusal reaches the error hook as a MaskedEntryError, whose default handling selects
/// the whole text. Refused are Tab/Backtab and a mouse press on another control of the
/// window; a focus change made by code is not.
class TMaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TMaskEdit(QWidget *parent = nullptr);
    TMaskEdit(const QString &objectName, QWidget *parent);

    static QString emptyText(); ///< "  /  /  "
    bool isBlank() const;       ///< no digit typed
    bool isComplete() const;    ///< every digit place filled
    bool isPartlyFilled() const { return !isBlank() && !isComplete(); }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool refuseToLeave();
    void typeDigit(QChar digit);
    void blankSelection();
    void backspace();
    void deleteForward();
    void pasteDigits(const QString &text);
    void cutSelection();
    void setMaskedText(const QString &text, int cursor);

    QPointer<QWindow> m_watchedWindow; ///< presses there that would take the focus
};

/// Raised when a masked entry is left partly filled: it is not a valid masked value.
class MaskedEntryError : public std::runtime_error {
public:
    explicit MaskedEntryError(TMaskEdit *entry);
    TMaskEdit *entry() const { return m_entry; }
    /// The text prepared for the user (shown nowhere by default).
    static QString messageText(); ///< "Formato Incorreto Favor Verificar"

private:
    QPointer<TMaskEdit> m_entry;
};

/// Multi-line memo.
class TMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TMemo(QWidget *parent = nullptr);
    TMemo(const QString &objectName, QWidget *parent);

    QString text() const { return toPlainText(); }
    void setText(const QString &text) { setPlainText(text); }
};
