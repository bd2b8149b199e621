#pragma once

#include <cstdint>
#include <string>
#include <tuple>

// Shared by the installer's settings and both HTTP clients, so it stands below all of them.

// In the order the transports try them.
enum ProxyType : std::int32_t { MessageRelay = 0, Customer = 1, System = 2, AutoDiscovered = 3, EmptyProxy = 4 };

// Throws std::logic_error for a value outside the enumeration.
const char* ProxyTypeName(ProxyType type);

// One proxy candidate. Without an address it is a direct connection, whatever else was given.
struct Proxy {
    Proxy(ProxyType type, std::string address, std::string username, std::string password);

    ProxyType type;
    std::string address;
    std::string username;
    std::string password;

    bool operator<(const Proxy& other) const
    {
        return std::tie(type, address, username, password) <
               std::tie(other.type, other.address, other.username, other.password);
    }
    bool operator==(const Proxy& other) const
    {
        return std::tie(type, address, username, password) ==
               std::tie(other.type, other.address, other.username, other.password);
    }
};
