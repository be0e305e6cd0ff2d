#pragma once

// Title-bar drag of a frameless window: a left press inside the title area
// starts it, moves carry the window along, a left release ends it.

#include <QMouseEvent>
#include <QWidget>

namespace titlebar {

inline void press(const QMouseEvent *event, const QWidget *title, qint32 &pressX, qint32 &pressY,
                  bool &dragging)
{
    if (event->button() != Qt::LeftButton)
        return;
    pressX = event->pos().x();
    pressY = event->pos().y();
    if (pressX <= title->width() && pressY <= title->height())
        dragging = true;
}

inline void release(const QMouseEvent *event, bool &dragging)
{
    if (event->button() == Qt::LeftButton)
        dragging = false;
}

inline void move(const QMouseEvent *event, QWidget *window, qint32 pressX, qint32 pressY,
                 bool dragging)
{
    if (dragging)
        window->move(event->globalPos().x() - pressX, event->globalPos().y() - pressY);
}

} // namespace titlebar
