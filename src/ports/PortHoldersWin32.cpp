// Port holders on Windows: the system opens a COM device for one program at a time,
// so a port that another program holds does not open, and there is nobody to look for.

#include <cerrno>
#include <cstring>

#include "ports/PortHolders.h"

namespace ixo {

std::string ProcessHolder(const std::string&) {
    return {};
}

std::string BusyReason(const std::string& device) {
    return device + ": " + std::strerror(EBUSY);
}

}  // namespace ixo
