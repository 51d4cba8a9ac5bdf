#include "ccanalysis.h"
