#pragma once
#include <QList>
#include <QStatusBar>

class QLabel;

/// Status bar made of fixed-width text panels, as the screens carry at their bottom
/// ("three panels of width 200"). The command panel writes its hints into panel 0.
class TStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget *parent = nullptr, int panels = 3, int panelWidth = 200);

    int panelCount() const { return int(m_panels.size()); }
    QLabel *panel(int index) const;
    QString panelText(int index) const;
    void setPanelText(int index, const QString &text);

private:
    QList<QLabel *> m_panels;
};

/// Text of the first panel of any status bar: panel 0 of a TStatusBar, otherwise the
/// bar's current message.
QString firstPanelText(const QStatusBar *bar);
void setFirstPanelText(QStatusBar *bar, const QString &text);
