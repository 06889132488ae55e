// The interface's meta-object lives here, so that every source links one copy.
#include "companions/power/PowerSource.h"
