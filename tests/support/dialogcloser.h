#pragma once

// Closes every warning dialog as soon as it opens and records its text, so
// that tests can drive slots that open modal warnings.

#include <QObject>
#include <QPoint>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <utility>

class QWidget;

class DialogCloser : public QObject
{
    Q_OBJECT

public:
    explicit DialogCloser(QObject *parent = nullptr);

    QStringList texts() const { return seen; }
    void clear() { seen.clear(); }
    // Position of the last dialog when it was closed (for the centring check).
    QPoint lastPosition() const { return lastPos; }
    // Called with each dialog before it is closed, to look at more than its text.
    void setInspector(std::function<void(QWidget *)> inspector) { inspect = std::move(inspector); }

private:
    void poll();

    QTimer timer;
    QStringList seen;
    QPoint lastPos;
    std::function<void(QWidget *)> inspect;
};
