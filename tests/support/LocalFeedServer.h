#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/** A small HTTP server for the news reader's tests, playing a hostile feed host. It listens on an
    ephemeral port of one local address (loopback unless told otherwise), answers each request
    with the response registered for its path, and stops in its destructor. Every wait in it is
    bounded, so a test can never hang on it, and a client that goes away mid-body costs nothing. */
class LocalFeedServer
{
public:
    struct Response
    {
        int status = 200;
        std::string body;
        std::string location; // sent as a Location header when not empty
    };

    explicit LocalFeedServer (const std::string& address = "127.0.0.1");
    ~LocalFeedServer();

    bool isListening() const { return listener >= 0; }
    int port() const { return boundPort; }

    /** http://address:port followed by the path (which starts with a slash). */
    std::string url (const std::string& path) const;

    /** Registers the response for a path; unknown paths get 404. Call before the request arrives. */
    void serve (const std::string& path, Response response);

    /** Waits until the whole of this many responses has been written; false when the time is up. */
    bool waitForResponsesSent (int count, int timeoutMs);

    std::vector<std::string> requestedPaths() const;

private:
    void serveConnections();
    void answer (int client);
    bool sendAll (int client, const std::string& bytes);

    std::string host;
    int listener = -1;
    int boundPort = 0;
    std::atomic<bool> stopping { false };

    mutable std::mutex lock;
    std::condition_variable sent;
    std::map<std::string, Response> responses;
    std::vector<std::string> paths;
    int responsesSent = 0;

    std::thread thread;
};
