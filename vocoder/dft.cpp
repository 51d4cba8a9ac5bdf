#include "dft.h"
