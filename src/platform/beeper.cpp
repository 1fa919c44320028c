#include "beeper.h"

#include <QApplication>

void SystemBeeper::beep()
{
    QApplication::beep();
}
