#include "link/transfercodec.h"
