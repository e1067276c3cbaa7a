#include "CCheckManager.h"

// Does nothing until its workflow lands.
void CCheckManager::OnCmdPduTest(const std::string&, const std::string&)
{
}

// The AT terminal lands with its own work; until then key "3" returns to the menu.
void CCheckManager::OnInterAtData() {}
