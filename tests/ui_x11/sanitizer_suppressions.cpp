#include "ui/qt_leak_suppressions.h"
