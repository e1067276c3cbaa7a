#include "basic.h"

int32_t g_nWinUserSet = 0;
int32_t g_nWinUserValue[10] = {};
