// Must not compile: the model layer judges answers and never touches a port.
#include "PhoneCardBase.h"
#include "ComPortBase.h"
