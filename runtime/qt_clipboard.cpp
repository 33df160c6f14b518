#include "runtime/qt_clipboard.h"
