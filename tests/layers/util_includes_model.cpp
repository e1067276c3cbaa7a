// Must not compile: the utilities sit below every other layer.
#include "StringUtil.h"
#include "PhoneCardBase.h"
