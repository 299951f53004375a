#include "qt_leak_suppressions.h"
