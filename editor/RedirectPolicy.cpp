#include "RedirectPolicy.h"

#include <algorithm>

namespace
{
    using Scope = RedirectPolicy::Scope;

    Scope scopeOfIPv4 (const juce::uint8* a)
    {
        const auto in = [a] (int first, int second, int prefixBits)
        {
            const juce::uint32 address = ((juce::uint32) a[0] << 24) | ((juce::uint32) a[1] << 16) | ((juce::uint32) a[2] << 8) | a[3];
            const juce::uint32 network = ((juce::uint32) first << 24) | ((juce::uint32) second << 16);
            const juce::uint32 mask = prefixBits == 0 ? 0 : ~juce::uint32 (0) << (32 - prefixBits);
            return (address & mask) == (network & mask);
        };

        // 0.0.0.0/8 reaches the local host when connected to on Linux.
        if (in (127, 0, 8) || in (0, 0, 8))
            return Scope::loopback;

        if (in (10, 0, 8) || in (172, 16, 12) || in (192, 168, 16) || in (100, 64, 10))
            return Scope::privateNetwork;

        if (in (169, 254, 16))
            return Scope::linkLocal;

        const bool documentationOrTest = (a[0] == 192 && a[1] == 0 && (a[2] == 0 || a[2] == 2))
                                      || (a[0] == 198 && a[1] == 51 && a[2] == 100)
                                      || (a[0] == 203 && a[1] == 0 && a[2] == 113)
                                      || in (198, 18, 15);

        // Multicast, the old class E range and broadcast: nothing a feed lives on.
        if (documentationOrTest || a[0] >= 224)
            return Scope::reserved;

        return Scope::publicInternet;
    }

    Scope scopeOfIPv6 (const juce::uint8* a)
    {
        const auto zeros = [a] (int from, int to) { return std::all_of (a + from, a + to, [] (juce::uint8 b) { return b == 0; }); };

        if (zeros (0, 15) && (a[15] == 0 || a[15] == 1)) // :: and ::1
            return Scope::loopback;

        // Forms that carry an IPv4 address, which the stack, a translator or a relay may connect
        // to: judged by that address. IPv4-mapped ::ffff:a.b.c.d, IPv4-translated
        // ::ffff:0:a.b.c.d, NAT64 64:ff9b::a.b.c.d, the deprecated IPv4-compatible ::a.b.c.d
        // (which a kernel's automatic tunnel sends to that address), and 6to4 2002:aabb:ccdd::/48.
        if ((zeros (0, 10) && a[10] == 0xff && a[11] == 0xff)
            || (zeros (0, 8) && a[8] == 0xff && a[9] == 0xff && a[10] == 0 && a[11] == 0)
            || (a[0] == 0 && a[1] == 0x64 && a[2] == 0xff && a[3] == 0x9b && zeros (4, 12))
            || zeros (0, 12))
            return scopeOfIPv4 (a + 12);

        if (a[0] == 0x20 && a[1] == 0x02)
            return scopeOfIPv4 (a + 2);

        // Teredo 2001::/32 reaches its client's address, stored inverted in the last four bytes.
        if (a[0] == 0x20 && a[1] == 0x01 && a[2] == 0 && a[3] == 0)
        {
            const juce::uint8 client[] { (juce::uint8) ~a[12], (juce::uint8) ~a[13], (juce::uint8) ~a[14], (juce::uint8) ~a[15] };
            return scopeOfIPv4 (client);
        }

        // The local-use translation prefix 64:ff9b:1::/48 leads wherever the network's own
        // translator takes it.
        if (a[0] == 0 && a[1] == 0x64 && a[2] == 0xff && a[3] == 0x9b && a[4] == 0 && a[5] == 1)
            return Scope::reserved;

        if ((a[0] & 0xfe) == 0xfc || (a[0] == 0xfe && (a[1] & 0xc0) == 0xc0)) // unique local, old site-local
            return Scope::privateNetwork;

        if (a[0] == 0xfe && (a[1] & 0xc0) == 0x80)
            return Scope::linkLocal;

        if (a[0] == 0xff || (a[0] == 0x20 && a[1] == 0x01 && a[2] == 0x0d && a[3] == 0xb8)) // multicast, documentation
            return Scope::reserved;

        return Scope::publicInternet;
    }
}

RedirectPolicy::Scope RedirectPolicy::scopeOf (const juce::uint8* address, size_t length)
{
    if (address != nullptr && length == 4)
        return scopeOfIPv4 (address);

    if (address != nullptr && length == 16)
        return scopeOfIPv6 (address);

    return Scope::reserved;
}

bool RedirectPolicy::mayConnect (Scope origin, Scope target)
{
    return target == Scope::publicInternet || target == origin;
}

bool RedirectPolicy::allowConnection (Scope target)
{
    if (! origin.has_value())
    {
        origin = target;
        return true;
    }

    return mayConnect (*origin, target);
}
