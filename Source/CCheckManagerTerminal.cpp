#include "CCheckManager.h"

// The AT terminal lands with its own work; until then key "3" returns to the menu.
void CCheckManager::OnInterAtData() {}
