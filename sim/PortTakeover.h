#pragma once

#include <string>

// Simulated devices taking over port map entries and giving them back. The entry
// that a port had before the first simulator took it returns when the last one
// goes, whatever order they go in; no entry is left pointing at a simulator that
// has gone, and nothing the simulators did not make is removed. Simulators in
// several processes agree through a record beside the map (".comN.taken", each
// take-over with its process and the entry it replaced), changed only under a lock
// on the map folder.

namespace ixo::sim {

// Points COMn at device, remembering what was there. Refused (with why) when the
// entry is something other than a symbolic link, or there is no port map.
bool TakeOverPort(int n, const std::string& device, std::string* why = nullptr);

// Gives back COMn as device took it over: when the entry still points at device,
// what it replaced returns (or the entry goes, when there was none); when another
// simulator has since taken the port over, that one will give back what device
// replaced. An entry pointed elsewhere by someone else is left alone.
void GiveBackPort(int n, const std::string& device);

}  // namespace ixo::sim
