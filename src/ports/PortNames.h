#pragma once

#include <string>
#include <vector>

namespace ixo {

// The highest port number the port dialog and "ixo ports" probe.
inline constexpr int HighestProbedPort = 8;

// "COM%d": the system's name of port n.
std::string PortName(int n);

// Folder of the port map: ${XDG_CONFIG_HOME:-$HOME/.config}/ixo-loader/ports, where
// only absolute paths count and the home folder, when HOME names none, is the one
// the password database gives the user. Empty when the user has no home folder:
// then there is no map, and ports are the system's own.
std::string PortMapFolder();

// The path of COMn's entry in the port map, "com<n>" in PortMapFolder, whether or
// not it exists. Empty when there is no map (Windows, or no home folder), so that
// nothing is looked up in the current folder.
std::string PortMapEntry(int n);

// The path that port n stands for: the map entry "com<n>" (a symbolic link to a
// tty) when it exists, else /dev/ttyS<n-1>. Empty for n < 1, which names no device.
std::string PortDevicePath(int n);

// The device that port n leads to: the target of its map entry (relative to the map
// folder when relative), or /dev/ttyS<n-1> when the map has no entry for it. Only a
// missing entry falls back: a map folder that is not a folder or cannot be read, an
// entry that is not a symbolic link or one that points nowhere gives an empty
// result, with why = the reason, so that such a port opens no device at all.
std::string ResolvePort(int n, std::string* why = nullptr);

// Where port n leads, for showing people: the target of its map entry (relative to
// the map folder when relative), whether or not it exists, else PortDevicePath.
std::string PortTarget(int n);

// The numbers of the ports that have a map entry, whatever it points at, in
// increasing order.
std::vector<int> MappedPorts();

// Points COMn at device, replacing any earlier entry; creates the folder as needed.
// On failure gives a text saying why.
bool MapPort(int n, const std::string& device, std::string* why = nullptr);

// Removes the map entry of COMn, if there is one. False (with why) only when an
// entry exists and cannot be removed.
bool UnmapPort(int n, std::string* why = nullptr);

}  // namespace ixo
