#pragma once
#include <QValidator>

namespace registers {

/// Keeps a number field to what its key filter lets through (digits, ',' and '.'),
/// also for text that arrives by pasting: the field's text is written bare into an
/// INSERT, so nothing else may reach it.
class NumericTextValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

/// The character a key press types, when it is one the numeric key filter judges:
/// printable characters and backspace. Other keys (Tab, Esc, Enter, arrows, shortcuts)
/// give an empty text and are never discarded by the filter.
QString judgedCharacter(const QString &eventText);

} // namespace registers
