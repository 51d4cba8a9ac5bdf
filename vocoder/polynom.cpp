#include "polynom.h"
