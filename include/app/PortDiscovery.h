#ifndef TARNEL_PORTDISCOVERY_H
#define TARNEL_PORTDISCOVERY_H

// Free helpers of port discovery, defined in PortDiscovery.cpp together with
// the candidate paths (CCheckManager::GetAllComPort: one path per device,
// under the kernel's name, see OneNamePerDevice); the detection pass itself
// is CCheckManager::DetectAllDevice.

#include <string>
#include <vector>

// Runs `cmd` through the shell (popen) and returns everything it wrote to its
// standard output; empty when the command cannot be started.
std::string cmd_system(const char* cmd);

// The short port name users type: the text after the first "tty" in `path`
// ("/dev/ttyUSB3" gives "USB3", "/dev/ttyAMA0" gives "AMA0"). A path without
// "tty" is returned unchanged.
std::string GetPortId(const std::string& path);

// The path of the short port name users type: "/dev/tty" + `id` ("USB3"
// gives "/dev/ttyUSB3"); the inverse of GetPortId.
std::string PortPathOfId(const std::string& id);

// `listed` with one path per device: paths that stat() finds to be the same
// character device (st_rdev) are listed once, under the kernel's name of the
// device: where `sysRoot`/dev/char/<major>:<minor> resolves to a name whose
// `devRoot`/<name> is that device, that path; otherwise, of the listed
// paths, the first that is not a symbolic link, else the first whose link
// every other one's link passes through, else the first listed. The device
// keeps the place of that name in the listing when it is one of them, else
// of its first listed path. A path that names no character device (missing,
// a dangling link, a plain file) is kept as it is, in its place.
std::vector<std::string> OneNamePerDevice(const std::vector<std::string>& listed,
                                          const std::string& sysRoot = "/sys", const std::string& devRoot = "/dev");

// The entry of `candidates` that names the device `path` names: `path`
// itself when it is one, else the first candidate of the same character
// device (st_rdev); empty when none does.
std::string CandidateOfPath(const std::string& path, const std::vector<std::string>& candidates);

// The port name the device table, the result lines and the JSON documents
// show: `path` without its first five characters, "/dev/" ("/dev/ttyUSB0"
// gives "ttyUSB0"); empty for a path of five characters or fewer.
std::string ShortPortName(const std::string& path);

#endif
