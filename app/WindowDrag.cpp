#include "app/WindowDrag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace cartulo {

WindowDragHandle::WindowDragHandle(QWidget *handle) : QObject(handle), m_handle(handle)
{
    handle->installEventFilter(this);
}

bool WindowDragHandle::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_handle)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return press(static_cast<QMouseEvent *>(event));
    case QEvent::MouseMove:
        return move(static_cast<QMouseEvent *>(event));
    case QEvent::MouseButtonRelease:
        m_grabOffset.reset();
        return false;
    default:
        return false;
    }
}

bool WindowDragHandle::press(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return false;
    // A press that a control let through to its parent is not on the free surface.
    if (m_handle->childAt(event->position().toPoint()))
        return false;
    QWidget *window = m_handle->window();
    QWindow *handle = window->windowHandle();
    // The window system's move also works where a program may not place its own windows.
    if (handle && handle->startSystemMove()) {
        m_grabOffset.reset();
        return true;
    }
    m_grabOffset = event->globalPosition().toPoint() - window->pos();
    return true;
}

bool WindowDragHandle::move(QMouseEvent *event)
{
    if (!m_grabOffset || !(event->buttons() & Qt::LeftButton))
        return false;
    m_handle->window()->move(event->globalPosition().toPoint() - *m_grabOffset);
    return true;
}

} // namespace cartulo
