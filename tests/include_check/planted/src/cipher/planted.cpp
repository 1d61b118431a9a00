// Planted for the include check's own test: the cipher may not reach the file layer.
#include "files/protected_core.h"
