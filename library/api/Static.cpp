#include "api/Static.h"

Static g;
