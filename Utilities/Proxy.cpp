#include "Utilities/Proxy.h"

#include <stdexcept>
#include <utility>

const char* ProxyTypeName(ProxyType type)
{
    switch (type) {
    case MessageRelay:
        return "Message Relay";
    case Customer:
        return "Customer";
    case System:
        return "System";
    case AutoDiscovered:
        return "Auto-Discovered";
    case EmptyProxy:
        return "Empty Proxy";
    }
    throw std::logic_error("Error getting Proxy Type");
}

Proxy::Proxy(ProxyType type, std::string address, std::string username, std::string password)
    : type(type), address(std::move(address)), username(std::move(username)), password(std::move(password))
{
    if (this->address.empty()) {
        this->type = EmptyProxy;
        this->username.clear();
        this->password.clear();
    }
}
