#include "mainwindow.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[])
{
    QApplication a(argc, argv);
    // The form's fixed widths are laid out for a 9 pt face; desktop defaults
    // are often larger and would clip the captions.
    QFont font = a.font();
    font.setPointSize(9);
    a.setFont(font);
    MainWindow w;
    w.show();
    return a.exec();
}
