#pragma once
#include <QValidator>

namespace editing {

/// The numeric key filter of the number fields (`EdtNumKeyPress`, the page count): every
/// character that reaches the field must pass IsNumKey (digits, ',' and '.'), whether typed
/// or pasted, because the field's text is written bare into an INSERT. Keys without a character
/// (Tab, Enter, arrows, Delete) are not characters and pass as before.
class NumericTextValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

} // namespace editing
