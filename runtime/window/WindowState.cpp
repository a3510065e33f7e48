#include "runtime/window/WindowState.h"

WindowState Window;
