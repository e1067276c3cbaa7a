// "scan" and "sscan": what the table shows and each modem's health, one JSON
// object per modem, for scripts that would otherwise scrape the menu.
#include <json/json.h>

#include <algorithm>
#include <cstdint>
#include <iostream>

#include "CCheckManager.h"
#include "ModemDocuments.h"
#include "ModemHealth.h"

void CCheckManager::OnCmdScan(bool compact, const std::string& portList, bool extraArguments)
{
    Json::Value root(Json::objectValue);
    root["code"] = 0;
    root["message"] = "param is ok";
    root["modems"] = Json::Value(Json::arrayValue);
    std::vector<PortItem_t> items;
    std::string error;
    if (extraArguments) {
        root["code"] = 3;
        root["message"] = "param count error";
    } else if (!ParsePortList(portList, items, error)) {
        root["code"] = 1;
        root["message"] = "com port error";
        root["error"] = error;
    } else {
        std::vector<ComPortBaseInfo_t> named;
        if (!ScanChosenModems(portList, items, named)) {
            root["code"] = 1;
            root["message"] = "com port error";
            root["error"] = m_strSelectionError;
        } else {
            std::vector<const Win32::CommInfo*> chosen;
            for (const Win32::CommInfo& entry : m_vecComInfo) {
                const bool isNamed = std::any_of(named.begin(), named.end(), [&](const ComPortBaseInfo_t& record) {
                    return record.bInTable && record.strPortName == entry.strPortName;
                });
                if (portList.empty() || isNamed) {
                    chosen.push_back(&entry);
                }
            }
            // The modems that answered AT are asked their health, all at once
            // on the ports the scan still holds; the rest stay unknown. The
            // ports go back as each modem is done.
            std::vector<ComPortBaseInfo_t> answering;
            std::vector<std::size_t> healthSlot(chosen.size(), SIZE_MAX);
            for (std::size_t i = 0; i < chosen.size(); ++i) {
                if (chosen[i]->bAtOk) {
                    healthSlot[i] = answering.size();
                    answering.push_back(RecordFromEntry(*chosen[i], true));
                }
            }
            const std::vector<ModemHealth_t> health = HealthOfModems(answering);
            const ModemHealth_t unknown;
            for (std::size_t i = 0; i < chosen.size(); ++i) {
                const Win32::CommInfo& entry = *chosen[i];
                root["modems"].append(ScanModemObject(entry, IsUsablePort(RecordFromEntry(entry, false)),
                                                      healthSlot[i] == SIZE_MAX ? unknown : health[healthSlot[i]]));
            }
        }
    }
    if (compact) {
        Json::FastWriter writer;
        std::cout << writer.write(root) << std::endl;
    } else {
        std::cout << root.toStyledString() << std::endl;
    }
}
