#include "support/LocalFeedServer.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace
{
    using Clock = std::chrono::steady_clock;

    // Reading a request and writing a response each get this long; the reader's own transfer
    // limit is 15 s, and the tests close it long before.
    constexpr auto connectionTimeLimit = std::chrono::seconds (10);
    constexpr int pollIntervalMs = 20;

    const char* reasonPhrase (int status)
    {
        switch (status)
        {
            case 200: return "OK";
            case 301: return "Moved Permanently";
            case 302: return "Found";
            case 404: return "Not Found";
            default:  return "Status";
        }
    }
}

LocalFeedServer::LocalFeedServer (const std::string& address)
    : host (address)
{
    addrinfo hints {};
    hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;

    if (getaddrinfo (address.c_str(), "0", &hints, &found) != 0 || found == nullptr)
        return;

    listener = ::socket (found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);

    if (listener >= 0 && (::bind (listener, found->ai_addr, found->ai_addrlen) != 0 || ::listen (listener, 8) != 0))
    {
        ::close (listener);
        listener = -1;
    }

    freeaddrinfo (found);

    if (listener < 0)
        return;

    sockaddr_storage bound {};
    socklen_t length = sizeof (bound);
    ::getsockname (listener, reinterpret_cast<sockaddr*> (&bound), &length);
    boundPort = ntohs (bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*> (&bound)->sin6_port
                                                   : reinterpret_cast<sockaddr_in*> (&bound)->sin_port);

    thread = std::thread ([this] { serveConnections(); });
}

LocalFeedServer::~LocalFeedServer()
{
    stopping = true;

    if (thread.joinable())
        thread.join();

    if (listener >= 0)
        ::close (listener);
}

std::string LocalFeedServer::url (const std::string& path) const
{
    const auto bracketed = host.find (':') != std::string::npos ? "[" + host + "]" : host;
    return "http://" + bracketed + ":" + std::to_string (boundPort) + path;
}

void LocalFeedServer::serve (const std::string& path, Response response)
{
    const std::lock_guard<std::mutex> guard (lock);
    responses[path] = std::move (response);
}

bool LocalFeedServer::waitForResponsesSent (int count, int timeoutMs)
{
    std::unique_lock<std::mutex> guard (lock);
    return sent.wait_for (guard, std::chrono::milliseconds (timeoutMs), [&] { return responsesSent >= count; });
}

std::vector<std::string> LocalFeedServer::requestedPaths() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return paths;
}

void LocalFeedServer::serveConnections()
{
    while (! stopping)
    {
        pollfd waiting { listener, POLLIN, 0 };

        if (::poll (&waiting, 1, pollIntervalMs) != 1)
            continue;

        const int client = ::accept4 (listener, nullptr, nullptr, SOCK_CLOEXEC);

        if (client >= 0)
        {
            answer (client);
            ::close (client);
        }
    }
}

void LocalFeedServer::answer (int client)
{
    const auto deadline = Clock::now() + connectionTimeLimit;
    std::string request;

    while (request.find ("\r\n\r\n") == std::string::npos && request.size() < 16384)
    {
        if (stopping || Clock::now() > deadline)
            return;

        pollfd readable { client, POLLIN, 0 };

        if (::poll (&readable, 1, pollIntervalMs) != 1)
            continue;

        char buffer[2048];
        const auto received = ::recv (client, buffer, sizeof (buffer), 0);

        if (received <= 0)
            return;

        request.append (buffer, (size_t) received);
    }

    // "GET /path HTTP/1.1"
    const auto pathStart = request.find (' ') + 1;
    const auto path = request.substr (pathStart, request.find (' ', pathStart) - pathStart);
    Response response { 404, "not found", {} };

    {
        const std::lock_guard<std::mutex> guard (lock);
        paths.push_back (path);

        if (const auto known = responses.find (path); known != responses.end())
            response = known->second;
    }

    std::string head = "HTTP/1.1 " + std::to_string (response.status) + " " + reasonPhrase (response.status) + "\r\n"
                     + "Content-Type: application/rss+xml\r\n"
                     + "Content-Length: " + std::to_string (response.body.size()) + "\r\n"
                     + "Connection: close\r\n";

    if (! response.location.empty())
        head += "Location: " + response.location + "\r\n";

    if (! sendAll (client, head + "\r\n") || ! sendAll (client, response.body))
        return;

    {
        const std::lock_guard<std::mutex> guard (lock);
        ++responsesSent;
    }

    sent.notify_all();
    ::shutdown (client, SHUT_WR);
}

bool LocalFeedServer::sendAll (int client, const std::string& bytes)
{
    const auto deadline = Clock::now() + connectionTimeLimit;

    for (size_t written = 0; written < bytes.size();)
    {
        if (stopping || Clock::now() > deadline)
            return false;

        pollfd writable { client, POLLOUT, 0 };

        if (::poll (&writable, 1, pollIntervalMs) != 1)
            continue;

        // No SIGPIPE when the reader has gone away mid-body.
        const auto count = ::send (client, bytes.data() + written, bytes.size() - written, MSG_NOSIGNAL);

        if (count <= 0)
            return false;

        written += (size_t) count;
    }

    return true;
}
