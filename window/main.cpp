#include "Core.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    TFCore FCore;
    FCore.show();
    application.exec();
    return 0;
}
