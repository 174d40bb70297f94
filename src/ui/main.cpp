#include <QApplication>

#include "ui/cravelinapp.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    ravelin::ui::SetUpApplication();
    ravelin::ui::CRavelinApp ravelin;
    if (!ravelin.InitInstance(QApplication::arguments()))
        return 0;
    return QApplication::exec();
}
