#include "harmonicanalysis.h"
