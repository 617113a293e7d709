#include "Ge/GeContext.h"

OdGeTol OdGeContext::gTol(1.e-10);
OdGeTol OdGeContext::gZeroTol(1.e-20);
