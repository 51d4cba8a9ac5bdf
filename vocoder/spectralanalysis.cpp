#include "spectralanalysis.h"
