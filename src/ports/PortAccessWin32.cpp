// Port access on Windows: a port in use is refused by the system itself (it opens a
// COM device for one program at a time), and there are neither lock files nor
// device groups.

#include "ports/PortAccess.h"

namespace ixo {

std::vector<std::string> LockFileFolders() {
    return {};
}

long LockFileHolder(const std::string&, const std::vector<std::string>&) {
    return 0;
}

std::string PermissionHint(const std::string&) {
    return {};
}

}  // namespace ixo
