#include "fdoubleio.h"
