#ifndef TARNEL_PORTDISCOVERY_H
#define TARNEL_PORTDISCOVERY_H

// Free helpers of port discovery, defined in PortDiscovery.cpp together with
// the candidate paths (CCheckManager::GetAllComPort); the detection pass
// itself is CCheckManager::DetectAllDevice.

#include <string>

// Runs `cmd` through the shell (popen) and returns everything it wrote to its
// standard output; empty when the command cannot be started.
std::string cmd_system(const char* cmd);

// The short port name users type: the text after the first "tty" in `path`
// ("/dev/ttyUSB3" gives "USB3", "/dev/ttyAMA0" gives "AMA0"). A path without
// "tty" is returned unchanged.
std::string GetPortId(const std::string& path);

// The port name the device table, the result lines and the JSON documents
// show: `path` without its first five characters, "/dev/" ("/dev/ttyUSB0"
// gives "ttyUSB0"); empty for a path of five characters or fewer.
std::string ShortPortName(const std::string& path);

#endif
