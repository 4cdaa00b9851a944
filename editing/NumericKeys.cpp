#include "editing/NumericKeys.h"

#include "editing/lib.h"

namespace editing {

QValidator::State NumericTextValidator::validate(QString &input, int &) const
{
    for (const QChar c : input)
        if (!lib::IsNumKey(QString(c)))
            return Invalid;
    return Acceptable;
}

} // namespace editing
