#include "CCheckManager.h"

// Does nothing until its workflow lands.
void CCheckManager::OnCmdPduTest(const std::string&, const std::string&)
{
}
