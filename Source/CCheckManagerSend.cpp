#include "CCheckManager.h"

// The interactive send workflow lands with the sending work.
void CCheckManager::OnSendPDUSms() {}
