#include "testdata.h"
