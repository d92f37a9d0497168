#pragma once

#include <juce_core/juce_core.h>

#include <optional>

// Decides which addresses a feed request may connect to. The first connection fixes the origin's
// scope; later ones (redirects) may reach public addresses or addresses of that same scope, so a
// public feed host can never send the request to a loopback, private or link-local service.
class RedirectPolicy
{
public:
    enum class Scope { publicInternet, loopback, privateNetwork, linkLocal, reserved };

    // The scope of an address in network byte order, 4 bytes (IPv4) or 16 (IPv6); reserved for
    // any other length.
    static Scope scopeOf (const juce::uint8* address, size_t length);

    static bool mayConnect (Scope origin, Scope target);

    // True when a connection to an address of this scope is allowed; the first call fixes the origin.
    bool allowConnection (Scope target);

private:
    std::optional<Scope> origin;
};
