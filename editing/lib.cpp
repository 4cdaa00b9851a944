#include "editing/lib.h"

#include "db/Connection.h"
#include "db/JetDate.h"
#include "db/Query.h"
#include "editing/Edits.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

using namespace Qt::StringLiterals;

namespace lib {

ConvertError::ConvertError(const QString &message) : std::runtime_error(message.toStdString()) {}

CodeLimitError::CodeLimitError(const QString &message)
    : std::runtime_error(message.toStdString()), m_message(message)
{
}

QString escapeQuotes(const QString &text)
{
    QString escaped = text;
    escaped.replace(u'"', u"\"\""_s);
    return escaped;
}

QString quoted(const QString &text)
{
    return u'"' + escapeQuotes(text) + u'"';
}

QString NextCode(db::Query &query, qint16 column)
{
    query.open();
    if (query.isEmpty())
        return u"00001"_s;
    query.last();
    const QString lastCode = query.asText(column);
    bool ok = false;
    const qlonglong value = lastCode.toLongLong(&ok);
    if (!ok)
        throw ConvertError(u"'%1' is not a valid integer value"_s.arg(lastCode));
    const qlonglong next = value + 1;
    if (next > 99999)
        throw CodeLimitError(u"O código %1 é o último de cinco algarismos: não há código para um novo registro."_s
                                 .arg(lastCode));
    const QString digits = QString::number(qAbs(next)).rightJustified(5, u'0');
    return next < 0 ? u'-' + digits : digits;
}

QString LookupValue(db::Connection &connection, const QString &value, const QString &keyColumn,
                    const QString &resultColumn, const QString &table)
{
    db::Query lookup(&connection);
    lookup.addSql(u"select "_s + keyColumn + u',' + resultColumn);
    lookup.addSql(u"From "_s + table);
    lookup.addSql(u"Where "_s + keyColumn + u'=' + quoted(value));
    lookup.open();
    lookup.first();
    if (lookup.isEmpty())
        return {};
    return lookup.asText(1);
}

QString BuildSql(const BindingTable &bindings, const QWidget *screen, const QString &table)
{
    QString assignments;
    for (const EdtCmpVlr &binding : bindings) {
        const QWidget *control = findOwnedEdit(screen, binding[0]);
        if (!control)
            throw std::invalid_argument(
                u"no edit control \"%1\" on the screen"_s.arg(binding[0]).toStdString());
        const QString text = editText(control);
        if (text.isEmpty())
            continue; // the column keeps its stored value
        assignments += (assignments.isEmpty() ? u"SET "_s : u","_s) + binding[1] + u'=' + quoted(text);
    }
    return u"UPDATE "_s + table + u' ' + assignments;
}

QString DateToSql(const QString &dateText)
{
    QString stripped = dateText;
    stripped.remove(u' ');
    static const QString notDateCharacters = u"\"$,-./;_ªº"_s;
    for (const QChar c : notDateCharacters)
        stripped.remove(c);
    if (stripped.isEmpty())
        return u"NULL"_s;
    const std::optional<QDateTime> date = db::parseDayFirst(dateText);
    if (!date)
        throw ConvertError(u"'%1' is not a valid date"_s.arg(dateText));
    return db::formatDayNumber(db::toDayNumber(*date));
}

QString SubstChar(const QString &searched, const QString &replacement, const QString &subject)
{
    if (searched.size() != 1)
        return subject;
    QString result;
    result.reserve(subject.size());
    for (const QChar c : subject) {
        if (c == searched.at(0))
            result += replacement;
        else
            result += c;
    }
    return result;
}

QString RepeatStr(const QString &text, int count)
{
    return count > 0 ? text.repeated(count) : QString();
}

bool IsNumKey(const QString &text)
{
    if (text.isEmpty())
        return false;
    const QChar c = text.at(0);
    return c == QChar(8) || c == u',' || c == u'.' || (c >= u'0' && c <= u'9');
}

bool isEditControl(const QWidget *widget)
{
    return qobject_cast<const TEdit *>(widget) || qobject_cast<const TLabeledEdit *>(widget)
        || qobject_cast<const TMaskEdit *>(widget) || qobject_cast<const TMemo *>(widget);
}

QWidget *owningScreen(const QWidget *widget)
{
    for (QWidget *up = widget ? widget->parentWidget() : nullptr; up; up = up->parentWidget())
        if (qobject_cast<TScreen *>(up))
            return up;
    return nullptr;
}

QList<QWidget *> ownedEdits(const QWidget *owner)
{
    QList<QWidget *> edits;
    if (!qobject_cast<const TScreen *>(owner))
        return edits; // only screens own edit controls
    const QList<QWidget *> descendants = owner->findChildren<QWidget *>();
    for (QWidget *widget : descendants)
        if (isEditControl(widget) && owningScreen(widget) == owner)
            edits.append(widget);
    return edits;
}

QWidget *findOwnedEdit(const QWidget *owner, const QString &name)
{
    const QList<QWidget *> edits = ownedEdits(owner);
    for (QWidget *edit : edits)
        if (edit->objectName() == name)
            return edit;
    return nullptr;
}

QString editText(const QWidget *edit)
{
    if (const auto *line = qobject_cast<const QLineEdit *>(edit))
        return line->text();
    if (const auto *plain = qobject_cast<const QPlainTextEdit *>(edit))
        return plain->toPlainText();
    if (const auto *rich = qobject_cast<const QTextEdit *>(edit))
        return rich->toPlainText();
    if (const auto *label = qobject_cast<const QLabel *>(edit))
        return label->text();
    return {};
}

void setEditText(QWidget *edit, const QString &text)
{
    if (auto *line = qobject_cast<QLineEdit *>(edit))
        line->setText(text);
    else if (auto *plain = qobject_cast<QPlainTextEdit *>(edit))
        plain->setPlainText(text);
    else if (auto *rich = qobject_cast<QTextEdit *>(edit))
        rich->setPlainText(text);
    else if (auto *label = qobject_cast<QLabel *>(edit))
        label->setText(text);
}

void ClearEdits(QWidget *owner)
{
    const QList<QWidget *> edits = ownedEdits(owner);
    for (QWidget *edit : edits) {
        if (auto *line = qobject_cast<QLineEdit *>(edit))
            line->clear(); // a masked edit keeps its mask's shape
        else if (auto *memo = qobject_cast<QPlainTextEdit *>(edit))
            memo->clear();
    }
}

void EnableEdits(QWidget *owner, bool enabled)
{
    const QList<QWidget *> edits = ownedEdits(owner);
    for (QWidget *edit : edits) {
        edit->setEnabled(enabled);
        if (auto *labelled = qobject_cast<TLabeledEdit *>(edit); labelled && labelled->label())
            labelled->label()->setEnabled(true); // captions never grey out
    }
}

void EnableEditsExcept(QWidget *owner, bool enabled, const QList<QWidget *> &controls)
{
    EnableEdits(owner, enabled);
    for (QWidget *control : controls)
        if (control)
            control->setEnabled(!enabled);
}

void EnableButtons(bool enabled, const QList<QAbstractButton *> &buttons)
{
    for (QAbstractButton *button : buttons)
        if (button)
            button->setEnabled(enabled);
}

void ShowValues(const QList<QWidget *> &controls, const QStringList &texts)
{
    if (texts.size() > controls.size())
        throw std::invalid_argument("ShowValues: more texts than controls");
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (!controls.at(i))
            throw std::invalid_argument("ShowValues: a control is missing");
        setEditText(controls.at(i), texts.at(i));
    }
}

} // namespace lib
