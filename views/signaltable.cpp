#include "views/signaltable.h"
