// Planted for the include check's own test: only platform talks to the operating system.
#include <unistd.h>
