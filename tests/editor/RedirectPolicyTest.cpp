#include <gtest/gtest.h>

#include "../../editor/RedirectPolicy.h"

#include <arpa/inet.h>

namespace
{
    using Scope = RedirectPolicy::Scope;

    Scope scopeOf (const char* address)
    {
        juce::uint8 bytes[16] {};
        const bool v6 = juce::String (address).containsChar (':');
        EXPECT_EQ (inet_pton (v6 ? AF_INET6 : AF_INET, address, bytes), 1) << address;
        return RedirectPolicy::scopeOf (bytes, v6 ? 16 : 4);
    }
}

TEST (RedirectPolicy, ClassifiesAddressesByScope)
{
    const std::pair<const char*, Scope> cases[] = {
        { "93.184.216.34", Scope::publicInternet }, { "8.8.8.8", Scope::publicInternet },
        { "127.0.0.1", Scope::loopback }, { "127.255.0.9", Scope::loopback }, { "0.0.0.0", Scope::loopback },
        { "10.1.2.3", Scope::privateNetwork }, { "172.16.0.1", Scope::privateNetwork }, { "172.31.255.255", Scope::privateNetwork },
        { "172.32.0.1", Scope::publicInternet }, { "192.168.1.1", Scope::privateNetwork }, { "100.64.0.1", Scope::privateNetwork },
        { "169.254.169.254", Scope::linkLocal },
        { "192.0.2.2", Scope::reserved }, { "224.0.0.1", Scope::reserved }, { "255.255.255.255", Scope::reserved },
        { "2606:2800:220:1::1", Scope::publicInternet },
        { "::1", Scope::loopback }, { "::", Scope::loopback },
        { "::ffff:127.0.0.1", Scope::loopback }, { "::ffff:10.0.0.1", Scope::privateNetwork }, { "::ffff:8.8.8.8", Scope::publicInternet },
        { "64:ff9b::a9fe:a9fe", Scope::linkLocal }, { "64:ff9b::808:808", Scope::publicInternet },
        // IPv4-translated, 6to4, IPv4-compatible and Teredo forms are judged by the IPv4 address they carry.
        { "::ffff:0:127.0.0.1", Scope::loopback }, { "::ffff:0:192.168.0.1", Scope::privateNetwork },
        { "::ffff:0:8.8.8.8", Scope::publicInternet },
        { "2002:7f00:1::", Scope::loopback }, { "2002:a00:1:5::9", Scope::privateNetwork },
        { "2002:a9fe:a9fe::1", Scope::linkLocal }, { "2002:808:808::1", Scope::publicInternet },
        { "::127.0.0.1", Scope::loopback }, { "::10.1.2.3", Scope::privateNetwork }, { "::8.8.8.8", Scope::publicInternet },
        { "2001:0:4136:e378:8000:63bf:80ff:fffe", Scope::loopback },       // client 127.0.0.1
        { "2001:0:4136:e378:8000:63bf:f7f7:f7f7", Scope::publicInternet }, // client 8.8.8.8
        { "64:ff9b:1::7f00:1", Scope::reserved },
        { "fd00::2", Scope::privateNetwork }, { "fe80::1", Scope::linkLocal }, { "ff02::1", Scope::reserved },
        { "2001:db8::1", Scope::reserved },
    };

    for (const auto& [address, scope] : cases)
        EXPECT_EQ (scopeOf (address), scope) << address;
}

TEST (RedirectPolicy, LaterConnectionsReachOnlyPublicAddressesOrTheOriginsOwnScope)
{
    const Scope all[] = { Scope::publicInternet, Scope::loopback, Scope::privateNetwork, Scope::linkLocal, Scope::reserved };

    for (const auto origin : all)
    {
        for (const auto target : all)
        {
            RedirectPolicy policy;
            ASSERT_TRUE (policy.allowConnection (origin)) << "the first connection fixes the origin";
            EXPECT_EQ (policy.allowConnection (target), target == Scope::publicInternet || target == origin)
                << (int) origin << " -> " << (int) target;
        }
    }
}
