#include "runtime/keeper_clipboard.h"
