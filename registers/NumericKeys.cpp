#include "registers/NumericKeys.h"

#include "editing/lib.h"

namespace registers {

QValidator::State NumericTextValidator::validate(QString &input, int &) const
{
    for (const QChar c : input)
        if (!lib::IsNumKey(QString(c)))
            return Invalid;
    return Acceptable;
}

QString judgedCharacter(const QString &eventText)
{
    if (eventText.isEmpty())
        return {};
    const QChar first = eventText.at(0);
    if (first == QChar(8) || first.isPrint())
        return eventText;
    return {};
}

} // namespace registers
