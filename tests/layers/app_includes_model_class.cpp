// Must not compile: the controller reaches a model only through CPhoneCardBase.
#include "CCheckManager.h"
#include "CPhone_EC20F.h"
