#include "CCheckManager.h"

std::vector<DeviceBaseComInfo> CCheckManager::g_comVec;

CCheckManager::CCheckManager() = default;
CCheckManager::~CCheckManager() = default;
