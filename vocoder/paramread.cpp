#include "paramread.h"
