#include "runtime/core/Lifecycle.h"

LifecycleState Lifecycle;
