#pragma once
// One request from its first line to its answer. The event loop fills it in before the
// connection is suspended; after that only the answer changes, under its mutex. Shared by
// the event loop, the pools and Stop.
#include "exporter/HttpRules.h"

#include <string.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct MHD_Connection;
class CBasicAuth;

struct Reply {
    unsigned status = 200;
    std::string body;
    std::string contentType = "text/plain; charset=utf-8";
    std::vector<std::pair<std::string, std::string>> headers;
    bool askForPassword = false; // 401 with a basic-auth challenge

    static Reply Text(unsigned status, std::string body) {
        return {status, std::move(body) + '\n', "text/plain; charset=utf-8", {}, false};
    }
};

struct HttpRequest : std::enable_shared_from_this<HttpRequest> {
    ~HttpRequest() { explicit_bzero(password.data(), password.size()); }

    MHD_Connection* connection = nullptr;
    std::chrono::steady_clock::time_point start;    // when it was dispatched
    std::chrono::steady_clock::time_point deadline; // for its answer: the scrape's
    std::string client;
    std::string url; // the path, without the query
    std::string method;
    ProbeQuery probe;
    std::optional<std::string> scrapeTimeOut;
    std::shared_ptr<const CBasicAuth> auth;
    std::string user;
    std::string password;
    bool headersSeen = false;
    bool holdsSlot = false;
    bool suspended = false; // under the server's mutex
    std::mutex mutex;       // for the two below
    bool answered = false;
    Reply reply;
};
