#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <stdexcept>
#include <vector>

class QAbstractButton;
class QWidget;

namespace db {
class Connection;
class Query;
} // namespace db

/// Binding of an edit control to a column: [0] control name, [1] column, [2] value
/// (always empty, read by nothing).
using EdtCmpVlr = std::array<QString, 3>;
/// A screen's bindings, in the order of the assignments of its UPDATE text.
using BindingTable = std::vector<EdtCmpVlr>;

namespace lib {

/// A text that should have been a number or a date and is not.
class ConvertError : public std::runtime_error {
public:
    explicit ConvertError(const QString &message);
};

/// Every five-digit code is taken: the next one would be 100000, which no key column holds
/// (cut to five characters it would name an existing row). message() is for the user.
class CodeLimitError : public std::runtime_error {
public:
    explicit CodeLimitError(const QString &message);
    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};

// --- Sound values: every text placed inside a double-quoted literal goes through these.

/// The text with every double quote doubled, to stand inside "...": Obra "A" -> Obra ""A"".
QString escapeQuotes(const QString &text);
/// The text as a double-quoted literal: Obra -> "Obra", Obra "A" -> "Obra ""A""".
QString quoted(const QString &text);

// --- Builders

/// Opens the query (if closed), moves it to its last row and gives that row's column
/// plus one, at least five digits with leading zeros ("00001" on an empty query).
/// The query stays on its last row. Throws ConvertError when the last code is no integer,
/// CodeLimitError after "99999".
QString NextCode(db::Query &query, qint16 column);

/// The result column of the first row whose key column equals value, or empty.
/// Runs: select <key>,<result> / From <table> / Where <key>="<value>". Throws db::DbError.
QString LookupValue(db::Connection &connection, const QString &value, const QString &keyColumn,
                    const QString &resultColumn, const QString &table);

/// "UPDATE <table> SET col="text",..." from the non-empty controls owned by the screen,
/// in binding order; the caller appends its own condition (" Where ...").
/// Throws std::invalid_argument when a binding names no edit control of the screen.
QString BuildSql(const BindingTable &bindings, const QWidget *screen, const QString &table);

/// A masked date text as an SQL literal: "NULL" when it holds no date characters,
/// otherwise its day number (15/03/04 -> 38061). Throws ConvertError for a non-date.
QString DateToSql(const QString &dateText);

/// Each character equal to the one-character searched text becomes the replacement;
/// a searched text of any other length matches nothing.
QString SubstChar(const QString &searched, const QString &replacement, const QString &subject);

/// The text repeated count times; empty for a count of 0 or less.
QString RepeatStr(const QString &text, int count);

/// True when the text's first character is backspace, ',', '.' or a digit 0-9.
bool IsNumKey(const QString &text);

// --- Edit controls (TEdit, TLabeledEdit, TMaskEdit, TMemo) owned by a component

/// Whether the widget is one of the four edit kinds.
bool isEditControl(const QWidget *widget);
/// The nearest enclosing screen (TScreen) of a widget, or null.
QWidget *owningScreen(const QWidget *widget);
/// The edit controls whose nearest enclosing screen is owner; none unless owner is a screen.
QList<QWidget *> ownedEdits(const QWidget *owner);
/// The owned edit control of that objectName, or null.
QWidget *findOwnedEdit(const QWidget *owner, const QString &name);

/// Text of an edit control of any kind (a masked edit's mask shape included).
QString editText(const QWidget *edit);
/// Sets the text of an edit control of any kind (a memo gets the text as its lines).
void setEditText(QWidget *edit, const QString &text);

/// Empties every edit control owned by owner (a masked edit shows its bare mask).
void ClearEdits(QWidget *owner);
/// Sets the enabled state of every edit control owned by owner; caption labels of
/// labelled edits are always left enabled.
void EnableEdits(QWidget *owner, bool enabled);
/// EnableEdits, then each listed control to the opposite state.
void EnableEditsExcept(QWidget *owner, bool enabled, const QList<QWidget *> &controls);
void EnableButtons(bool enabled, const QList<QAbstractButton *> &buttons);
/// The i-th text into the i-th control. Throws std::invalid_argument when there are more
/// texts than controls.
void ShowValues(const QList<QWidget *> &controls, const QStringList &texts);

} // namespace lib
