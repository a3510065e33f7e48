#include "runtime/window/Window.h"

WindowState Window;
