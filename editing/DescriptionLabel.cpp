#include "editing/DescriptionLabel.h"

#include <QPalette>

using namespace Qt::StringLiterals;

namespace editing {

namespace {
const QColor kSkyBlue{166, 202, 240};
} // namespace

DescriptionLabel::DescriptionLabel(const QString &objectName, const QString &purpose, QWidget *parent)
    : QLabel(parent), m_purpose(purpose)
{
    setObjectName(objectName);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kSkyBlue);
    setPalette(palette);
    setDescription({});
}

void DescriptionLabel::setDescription(const QString &description)
{
    setText(description);
    // The name is what a screen reader announces; QWidget tells it of the change.
    setAccessibleName(description.isEmpty() ? m_purpose : m_purpose + u": "_s + description);
}

} // namespace editing
