#include "pitchanalysis.h"
