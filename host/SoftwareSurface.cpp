#include "host/SoftwareSurface.h"
