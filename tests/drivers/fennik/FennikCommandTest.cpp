#include "tests/drivers/fennik/FennikBench.h"
