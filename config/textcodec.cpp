#include "config/textcodec.h"
