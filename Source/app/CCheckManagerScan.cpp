// "scan" and "sscan": what the table shows, one JSON object per modem, for
// scripts that would otherwise scrape the menu.
#include <json/json.h>

#include <algorithm>
#include <iostream>

#include "CCheckManager.h"
#include "ModemDocuments.h"

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
        if (portList.empty()) {
            OnScanPort();
        } else {
            ScanPorts(PathsOfItems(items));
            InputToSendPduSmsComPort(portList, named);
        }
        // Nothing follows the scan: every port goes back at once.
        ReleasePorts();
        if (!m_strSelectionError.empty()) {
            root["code"] = 1;
            root["message"] = "com port error";
            root["error"] = m_strSelectionError;
        } else {
            for (const Win32::CommInfo& entry : m_vecComInfo) {
                const bool chosen = portList.empty() || std::any_of(named.begin(), named.end(), [&](const ComPortBaseInfo_t& record) {
                    return record.bInTable && record.strPortName == entry.strPortName;
                });
                if (chosen) {
                    root["modems"].append(ScanModemObject(entry, IsUsablePort(RecordFromEntry(entry, false))));
                }
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
