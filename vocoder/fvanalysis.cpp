#include "fvanalysis.h"
