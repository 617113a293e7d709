// Compiles every public header once, so a header that does not stand alone breaks the build.
#include "odkit.h"
