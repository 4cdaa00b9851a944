#pragma once
#include <QObject>
#include <QPoint>
#include <optional>

class QMouseEvent;
class QWidget;

namespace cartulo {

/// Makes a widget a handle that moves its top-level window, as a caption bar would:
/// a press of the primary button on the widget's own surface (not on a child control)
/// and a move drag the window. The window system's own
/// move is used where it offers one; elsewhere the window follows the pointer.
class WindowDragHandle : public QObject {
    Q_OBJECT
public:
    /// The handle belongs to (and filters the mouse events of) the given widget.
    explicit WindowDragHandle(QWidget *handle);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool press(QMouseEvent *event);
    bool move(QMouseEvent *event);

    QWidget *m_handle;
    std::optional<QPoint> m_grabOffset; ///< pointer minus window position, while dragging
};

} // namespace cartulo
