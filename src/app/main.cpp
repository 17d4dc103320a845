#include "app/KeyloftApplication.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    return runKeyloft(application);
}
