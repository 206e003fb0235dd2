#pragma once
// The scripted loopback HTTP server (support/script_server.py; its routes are
// described there) as seen from the test program. ctest starts it before the
// first test of brindle_tests and stops it after the last (fixture
// "script_server"); the program finds it through the state folder that the
// build passes in as BRINDLE_SCRIPT_SERVER_DIR (a Z: path under Wine).

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "common/text_encoding.h"

namespace br {

inline std::string scriptServerDir() { return BRINDLE_SCRIPT_SERVER_DIR; }

// The HTTPS servers (support/tls_servers.sh), by certificate: "" (the good
// one), "-self-signed", "-other-name", "-expired".
inline std::string tlsServerDir(const std::string& certificate = "") {
    return std::string(BRINDLE_TEST_SERVER_ROOT) + "/test-server-tls" + certificate;
}

// Records a test failure and gives 0 when no server is listening there.
inline int serverPort(const std::string& dir) {
    std::ifstream in(dir + "/port");
    int port = 0;
    if (!(in >> port) || port <= 0) {
        ADD_FAILURE() << "the script server is not running (no port file in " << dir
                      << "); run the tests through ctest, or start it with "
                         "tests/support/script_server.py start <that folder>";
        return 0;
    }
    return port;
}

// "http://127.0.0.1:PORT/" or "https://127.0.0.1:PORT/": the address of the
// server in dir (the test certificates name that address, make_certificates.sh).
inline std::string serverBase(const std::string& dir) {
    std::ifstream in(dir + "/scheme");
    std::string scheme;
    if (!(in >> scheme)) {
        scheme = "http";
    }
    return scheme + "://127.0.0.1:" + std::to_string(serverPort(dir)) + "/";
}

inline int scriptServerPort() { return serverPort(scriptServerDir()); }

// route without its leading "/", e.g. "chunked/bytes/5000".
inline std::wstring scriptServerUrl(const std::string& route) {
    return utf8ToWide(serverBase(scriptServerDir()) + route);
}

inline std::wstring tlsServerUrl(const std::string& certificate, const std::string& route) {
    return utf8ToWide(serverBase(tlsServerDir(certificate)) + route);
}

// The body of /bytes/N.
inline std::string patternBytes(size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>(((static_cast<uint64_t>(i) * 2654435761u) >> 13) & 0xFF);
    }
    return bytes;
}

// Puts a file where /file/<name> serves it; name is a plain file name.
inline void serveFile(const std::string& name, const std::string& content, const std::string& dir = scriptServerDir()) {
    std::ofstream out(dir + "/root/" + name, std::ios::binary | std::ios::trunc);
    out << content;
    ASSERT_TRUE(out.good()) << "cannot write " << name << " into the served folder";
}

// Every request so far with the connection it came on, oldest first
// (connections.log). The server also answers the tests that run beside this
// one, so a test that counts connections counts those of its own requests.
struct ServedRequest {
    int connection = 0;
    std::string path;  // "/bytes/10"
};

inline std::vector<ServedRequest> scriptServerConnections(const std::string& dir = scriptServerDir()) {
    std::ifstream in(dir + "/connections.log");
    std::vector<ServedRequest> requests;
    for (std::string line; std::getline(in, line);) {
        ServedRequest request;
        request.connection = std::atoi(line.c_str());
        const size_t path = line.find(' ', line.find(' ') + 1);
        request.path = path == std::string::npos ? "" : line.substr(path + 1);
        requests.push_back(request);
    }
    return requests;
}

// The connections that the requests from the from-th on for one of paths came over.
inline std::set<int> connectionsOf(size_t from, const std::set<std::string>& paths,
                                   const std::string& dir = scriptServerDir()) {
    const std::vector<ServedRequest> all = scriptServerConnections(dir);
    std::set<int> connections;
    for (size_t i = from; i < all.size(); ++i) {
        if (paths.count(all[i].path) != 0) {
            connections.insert(all[i].connection);
        }
    }
    return connections;
}

// Every request the server has seen so far, e.g. "GET /bytes/10", oldest first.
inline std::vector<std::string> scriptServerRequests(const std::string& dir = scriptServerDir()) {
    std::ifstream in(dir + "/requests.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The body bytes the server has sent so far for paths that contain fragment
// (sent.log).
inline uint64_t scriptServerBytesSent(const std::string& fragment, const std::string& dir = scriptServerDir()) {
    std::ifstream in(dir + "/sent.log");
    uint64_t total = 0;
    for (std::string line; std::getline(in, line);) {
        const size_t space = line.find(' ');
        if (space != std::string::npos && line.find(fragment, space + 1) != std::string::npos) {
            total += std::strtoull(line.c_str(), nullptr, 10);
        }
    }
    return total;
}

}  // namespace br
