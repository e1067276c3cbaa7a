#include "CCheckManager.h"

// Does nothing until its workflow lands.
void CCheckManager::OnCmdSMS(const std::string&)
{
}
