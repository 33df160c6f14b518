#include "runtime/qt_program_end.h"
