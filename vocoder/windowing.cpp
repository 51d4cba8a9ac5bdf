#include "windowing.h"
