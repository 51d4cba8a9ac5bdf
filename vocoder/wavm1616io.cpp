#include "wavm1616io.h"
