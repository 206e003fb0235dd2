#pragma once
// The scripted loopback HTTP server (support/script_server.py; its routes are
// described there) as seen from the test program. ctest starts it before the
// first test of brindle_tests and stops it after the last (fixture
// "script_server"); the program finds it through the state folder that the
// build passes in as BRINDLE_SCRIPT_SERVER_DIR (a Z: path under Wine).

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "common/text_encoding.h"

namespace br {

inline std::string scriptServerDir() { return BRINDLE_SCRIPT_SERVER_DIR; }

// Records a test failure and gives 0 when no server is listening.
inline int scriptServerPort() {
    std::ifstream in(scriptServerDir() + "/port");
    int port = 0;
    if (!(in >> port) || port <= 0) {
        ADD_FAILURE() << "the script server is not running (no port file in " << scriptServerDir()
                      << "); run the tests through ctest, or start it with "
                         "tests/support/script_server.py start <that folder>";
        return 0;
    }
    return port;
}

// route without its leading "/", e.g. "chunked/bytes/5000".
inline std::wstring scriptServerUrl(const std::string& route) {
    return L"http://127.0.0.1:" + std::to_wstring(scriptServerPort()) + L"/" + utf8ToWide(route);
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
inline void serveFile(const std::string& name, const std::string& content) {
    std::ofstream out(scriptServerDir() + "/root/" + name, std::ios::binary | std::ios::trunc);
    out << content;
    ASSERT_TRUE(out.good()) << "cannot write " << name << " into the served folder";
}

// Every request the server has seen so far, e.g. "GET /bytes/10", oldest first.
inline std::vector<std::string> scriptServerRequests() {
    std::ifstream in(scriptServerDir() + "/requests.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

}  // namespace br
