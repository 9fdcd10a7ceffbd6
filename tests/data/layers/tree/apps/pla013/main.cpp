#include <QApplication>
#include "platform/gui/View.h"
