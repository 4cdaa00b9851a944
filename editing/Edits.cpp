#include "editing/Edits.h"

#include "editing/Guard.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QValidator>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {

// Forces letter case on whatever reaches the edit: typing, pasting and setText alike.
class CaseValidator final : public QValidator {
public:
    CaseValidator(CharCase charCase, QObject *parent) : QValidator(parent), m_case(charCase) {}

    State validate(QString &input, int &) const override
    {
        input = m_case == CharCase::Upper ? input.toUpper() : input.toLower();
        return Acceptable;
    }

private:
    CharCase m_case;
};

void applyCharCase(QLineEdit *edit, CharCase charCase)
{
    if (auto *old = dynamic_cast<const CaseValidator *>(edit->validator())) {
        edit->setValidator(nullptr);
        delete old;
    }
    if (charCase != CharCase::Normal) {
        auto *validator = new CaseValidator(charCase, edit);
        edit->setValidator(validator);
        QString text = edit->text(); // the text already there follows the new case
        int position = 0;
        validator->validate(text, position);
        edit->setText(text);
    }
}

// Mask "99/99/99": digit places and the two kept separators.
constexpr int kMaskLength = 8;
constexpr bool isSeparatorPlace(int position) { return position == 2 || position == 5; }

QString blankMask()
{
    return u"  /  /  "_s;
}

bool hasMaskShape(const QString &text)
{
    if (text.size() != kMaskLength)
        return false;
    for (int i = 0; i < kMaskLength; ++i) {
        const QChar c = text.at(i);
        if (isSeparatorPlace(i) ? c != u'/' : !(c.isDigit() && c.unicode() < 128) && c != u' ')
            return false;
    }
    return true;
}

// Any text becomes the mask's shape: its digits fill the digit places in order.
QString toMaskShape(const QString &text)
{
    if (hasMaskShape(text))
        return text;
    QString shaped = blankMask();
    int place = 0;
    for (const QChar c : text) {
        if (!(c.isDigit() && c.unicode() < 128))
            continue;
        while (place < kMaskLength && isSeparatorPlace(place))
            ++place;
        if (place >= kMaskLength)
            break;
        shaped[place++] = c;
    }
    return shaped;
}

class MaskShapeValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override
    {
        input = toMaskShape(input);
        pos = qBound(0, pos, kMaskLength);
        return Acceptable;
    }
};

} // namespace

// --- TScreen

TScreen::TScreen(QWidget *parent) : QFrame(parent) {}

// --- TEdit

TEdit::TEdit(QWidget *parent) : QLineEdit(parent) {}

TEdit::TEdit(const QString &objectName, QWidget *parent) : QLineEdit(parent)
{
    setObjectName(objectName);
}

void TEdit::setCharCase(CharCase charCase)
{
    m_charCase = charCase;
    applyCharCase(this, charCase);
}

// --- TLabeledEdit

TLabeledEdit::TLabeledEdit(QWidget *parent) : QLineEdit(parent)
{
    m_label = new QLabel(parent);
    m_label->setBuddy(this);
    connect(this, &QObject::objectNameChanged, m_label, [this](const QString &name) {
        m_label->setObjectName(name + u"Label"_s);
    });
    if (!parent)
        m_label->hide(); // a parentless label must not pop up as a window of its own
    placeLabel();
}

TLabeledEdit::TLabeledEdit(const QString &objectName, const QString &caption, QWidget *parent)
    : TLabeledEdit(parent)
{
    setObjectName(objectName);
    setCaption(caption);
}

TLabeledEdit::~TLabeledEdit()
{
    delete m_label.data();
}

QLabel *TLabeledEdit::label() const
{
    return m_label;
}

QString TLabeledEdit::caption() const
{
    return m_label ? m_label->text() : QString();
}

void TLabeledEdit::setCaption(const QString &caption)
{
    if (!m_label)
        return;
    m_label->setText(caption);
    m_label->adjustSize();
    placeLabel();
}

void TLabeledEdit::setLabelPosition(LabelPosition position, int spacing)
{
    m_position = position;
    m_spacing = spacing;
    placeLabel();
}

void TLabeledEdit::setCharCase(CharCase charCase)
{
    m_charCase = charCase;
    applyCharCase(this, charCase);
}

bool TLabeledEdit::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ParentChange:
        if (m_label) {
            const bool shown = isVisibleTo(parentWidget());
            m_label->setParent(parentWidget());
            m_label->setVisible(parentWidget() && shown);
            placeLabel();
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
        placeLabel();
        break;
    case QEvent::ShowToParent:
        if (m_label && parentWidget())
            m_label->show();
        break;
    case QEvent::HideToParent:
        if (m_label)
            m_label->hide();
        break;
    default:
        break;
    }
    return QLineEdit::event(event);
}

void TLabeledEdit::placeLabel()
{
    if (!m_label || m_position == LabelPosition::Manual)
        return;
    const QRect edit = geometry();
    const QSize size = m_label->sizeHint();
    m_label->resize(size);
    if (m_position == LabelPosition::Above)
        m_label->move(edit.left(), edit.top() - size.height() - m_spacing);
    else
        m_label->move(edit.left() - size.width() - m_spacing, edit.bottom() + 1 - size.height());
}

// --- TMaskEdit

TMaskEdit::TMaskEdit(QWidget *parent) : QLineEdit(parent)
{
    setMaxLength(kMaskLength);
    setValidator(new MaskShapeValidator(this));
    setText(blankMask()); // the validator shapes only changes, and "" is no change here
}

TMaskEdit::TMaskEdit(const QString &objectName, QWidget *parent) : TMaskEdit(parent)
{
    setObjectName(objectName);
}

QString TMaskEdit::emptyText()
{
    return blankMask();
}

bool TMaskEdit::isBlank() const
{
    const QString t = text();
    for (int i = 0; i < t.size(); ++i)
        if (!isSeparatorPlace(i) && t.at(i) != u' ')
            return false;
    return true;
}

bool TMaskEdit::isComplete() const
{
    const QString t = text();
    for (int i = 0; i < t.size(); ++i)
        if (!isSeparatorPlace(i) && t.at(i) == u' ')
            return false;
    return true;
}

void TMaskEdit::setMaskedText(const QString &segment, int cursor)
{
    // Replaces the selected range with a segment of equal length: one undo step, and the
    // change reaches textEdited like typing does.
    insert(segment);
    setCursorPosition(cursor);
}

void TMaskEdit::typeDigit(QChar digit)
{
    int start = hasSelectedText() ? selectionStart() : cursorPosition();
    int end = hasSelectedText() ? start + int(selectedText().size()) : start;
    int place = start;
    while (place < kMaskLength && isSeparatorPlace(place))
        ++place;
    if (place >= kMaskLength)
        return;
    end = qMax(end, place + 1);
    QString segment = text().mid(start, end - start);
    for (int i = 0; i < segment.size(); ++i)
        if (!isSeparatorPlace(start + i))
            segment[i] = u' ';
    segment[place - start] = digit;
    int cursor = place + 1;
    while (cursor < kMaskLength && isSeparatorPlace(cursor))
        ++cursor;
    setSelection(start, end - start);
    setMaskedText(segment, cursor);
}

void TMaskEdit::blankSelection()
{
    const int start = selectionStart();
    QString segment = selectedText();
    for (int i = 0; i < segment.size(); ++i)
        if (!isSeparatorPlace(start + i))
            segment[i] = u' ';
    setMaskedText(segment, start);
}

void TMaskEdit::backspace()
{
    if (hasSelectedText()) {
        blankSelection();
        return;
    }
    int place = cursorPosition() - 1;
    while (place >= 0 && isSeparatorPlace(place))
        --place;
    if (place < 0)
        return;
    setSelection(place, 1);
    setMaskedText(u" "_s, place);
}

void TMaskEdit::deleteForward()
{
    if (hasSelectedText()) {
        blankSelection();
        return;
    }
    int place = cursorPosition();
    while (place < kMaskLength && isSeparatorPlace(place))
        ++place;
    if (place >= kMaskLength)
        return;
    const int cursor = cursorPosition();
    setSelection(place, 1);
    setMaskedText(u" "_s, cursor);
}

void TMaskEdit::pasteDigits(const QString &pasted)
{
    for (const QChar c : pasted)
        if (c.isDigit() && c.unicode() < 128)
            typeDigit(c);
}

void TMaskEdit::cutSelection()
{
    if (!hasSelectedText())
        return;
    QApplication::clipboard()->setText(selectedText());
    blankSelection();
}

void TMaskEdit::keyPressEvent(QKeyEvent *event)
{
    if (isReadOnly() || !isEnabled()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (event == QKeySequence::Cut) {
        cutSelection();
    } else if (event == QKeySequence::Paste) {
        pasteDigits(QApplication::clipboard()->text());
    } else if (event->key() == Qt::Key_Backspace) {
        backspace();
    } else if (event->key() == Qt::Key_Delete) {
        deleteForward();
    } else if (event == QKeySequence::DeleteStartOfWord || event == QKeySequence::DeleteEndOfWord
               || event == QKeySequence::DeleteCompleteLine) {
        // Word deletion would shift the places; blanking is all a mask allows.
        if (hasSelectedText())
            blankSelection();
    } else if (const QString typed = event->text(); !typed.isEmpty() && typed.at(0).isPrint()
               && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        for (const QChar c : typed)
            if (c.isDigit() && c.unicode() < 128)
                typeDigit(c);
        // Anything else typed does not fit the mask and is dropped.
    } else {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TMaskEdit::inputMethodEvent(QInputMethodEvent *event)
{
    pasteDigits(event->commitString());
    event->accept();
}

bool TMaskEdit::focusNextPrevChild(bool next)
{
    if (refuseToLeave())
        return true;
    return QLineEdit::focusNextPrevChild(next);
}

void TMaskEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    m_watchedWindow = window()->windowHandle();
    if (m_watchedWindow)
        m_watchedWindow->installEventFilter(this);
}

void TMaskEdit::focusOutEvent(QFocusEvent *event)
{
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    m_watchedWindow = nullptr;
    QLineEdit::focusOutEvent(event);
}

bool TMaskEdit::refuseToLeave()
{
    if (!isPartlyFilled())
        return false;
    editing::reportError(std::make_exception_ptr(MaskedEntryError(this)));
    return true;
}

// A press on another control of this window would take the focus: while the entry is
// partly filled the press is refused before any widget sees it, as leaving by Tab is.
bool TMaskEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_watchedWindow
        || (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick)
        || !hasFocus() || QApplication::activePopupWidget())
        return false;
    QWidget *top = window();
    const QPoint position = static_cast<QMouseEvent *>(event)->position().toPoint();
    QWidget *target = top->childAt(position);
    QWidget *taker = target ? target : top;
    while (taker && !((taker->focusPolicy() & Qt::ClickFocus) && taker->isEnabled())) {
        if (taker->isWindow()) {
            taker = nullptr;
            break;
        }
        taker = taker->parentWidget();
    }
    if (!taker || taker == this || isAncestorOf(taker))
        return false;
    return refuseToLeave();
}

// --- MaskedEntryError

MaskedEntryError::MaskedEntryError(TMaskEdit *entry)
    : std::runtime_error(messageText().toStdString()), m_entry(entry)
{
}

QString MaskedEntryError::messageText()
{
    return u"Formato Incorreto Favor Verificar"_s;
}

// --- TMemo

TMemo::TMemo(QWidget *parent) : QPlainTextEdit(parent) {}

TMemo::TMemo(const QString &objectName, QWidget *parent) : QPlainTextEdit(parent)
{
    setObjectName(objectName);
}
