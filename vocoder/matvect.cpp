#include "matvect.h"
