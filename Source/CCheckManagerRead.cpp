#include "CCheckManager.h"

// The read and clear workflows land with the reading work.
void CCheckManager::OnReadAllSms() {}
void CCheckManager::OnDelAllSms() {}
