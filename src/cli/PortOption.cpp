#include "cli/PortOption.h"

#include <cctype>
#include <cstdlib>

namespace ixo::cli {

bool ParsePortNumber(const std::string& text, int& port) {
    if (text.empty() || text.size() > 3) return false;
    port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        port = port * 10 + (c - '0');
    }
    return port >= 1 && port <= HighestPort;
}

std::optional<PortChoice> ParsePortOption(const std::string& text) {
    PortChoice port;
    if (text.find('/') != std::string::npos) {
        port.Number = 0;
        port.Device = text;
        return port;
    }
    std::string number = text;
    if (text.size() > 3 && std::toupper(static_cast<unsigned char>(text[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(text[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(text[2])) == 'M') {
        number = text.substr(3);
    }
    if (!ParsePortNumber(number, port.Number)) return std::nullopt;
    return port;
}

std::optional<PortChoice> DefaultPort(std::string& why) {
    const char* variable = std::getenv("IXO_PORT");
    if (variable == nullptr || *variable == '\0') return PortChoice{};
    std::optional<PortChoice> port = ParsePortOption(variable);
    if (!port) why = std::string("IXO_PORT names no port: '") + variable + "'";
    return port;
}

}  // namespace ixo::cli
