#include "dialogcloser.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

DialogCloser::DialogCloser(QObject *parent) : QObject(parent)
{
    // A modal dialog runs its own event loop, in which this timer keeps firing.
    connect(&timer, &QTimer::timeout, this, &DialogCloser::poll);
    timer.start(10);
}

void DialogCloser::poll()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *w : widgets) {
        if (w->objectName() != QLatin1String("Dialog_Warning") || !w->isVisible())
            continue;
        auto *label = w->findChild<QLabel *>(QStringLiteral("label_warning"));
        auto *ok = w->findChild<QPushButton *>(QStringLiteral("pushButton_ok"));
        seen << (label ? label->text() : QString());
        lastPos = w->pos();
        if (inspect)
            inspect(w);
        if (ok)
            ok->click();
        else
            w->close();
    }
}
