#include "editing/StatusBar.h"

#include <QLabel>

using namespace Qt::StringLiterals;

TStatusBar::TStatusBar(QWidget *parent, int panels, int panelWidth) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    for (int i = 0; i < panels; ++i) {
        auto *panel = new QLabel(this);
        panel->setObjectName(u"Panel%1"_s.arg(i));
        panel->setFixedWidth(panelWidth);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        addWidget(panel);
        m_panels.append(panel);
    }
}

QLabel *TStatusBar::panel(int index) const
{
    return m_panels.value(index);
}

QString TStatusBar::panelText(int index) const
{
    const QLabel *label = panel(index);
    return label ? label->text() : QString();
}

void TStatusBar::setPanelText(int index, const QString &text)
{
    if (QLabel *label = panel(index))
        label->setText(text);
}

QString firstPanelText(const QStatusBar *bar)
{
    if (!bar)
        return {};
    if (const auto *panels = qobject_cast<const TStatusBar *>(bar); panels && panels->panelCount() > 0)
        return panels->panelText(0);
    return bar->currentMessage();
}

void setFirstPanelText(QStatusBar *bar, const QString &text)
{
    if (!bar)
        return;
    if (auto *panels = qobject_cast<TStatusBar *>(bar); panels && panels->panelCount() > 0)
        panels->setPanelText(0, text);
    else
        bar->showMessage(text);
}
