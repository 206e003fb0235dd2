// brindle-publish: writes the update manifest of a release folder.

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/publish/manifest_signing.h"
#include "tools/publish/progress_line.h"
#include "tools/publish/publish.h"
#include "tools/publish/release_walk.h"

#ifdef _WIN32
#include <windows.h>

#include "common/text_encoding.h"
#endif

namespace br {

namespace {

const char kUsage[] = R"(Usage: brindle-publish [options] RELEASE_FOLDER BASE_URL
       brindle-publish --verify PUBLIC_KEY.pem MANIFEST

Writes the update manifest of a release: every file under RELEASE_FOLDER with
its SHA-256, its size and its URL, which is BASE_URL followed by the file's
path with each segment percent-encoded. Serve the folder so that each file is
found at its URL, and the manifest at the address built into the launcher.

Options:
  -o, --output FILE  where to write the manifest (default: manifest.json)
  --delete PATH      a file the launcher removes from the install folder;
                     repeat for more
  -j, --jobs N       hash N files at a time (default: one per core)
  --sequence N       the release's sequence, 0 to 18446744073709551615
                     (default: the time of publishing, in seconds since
                     1970, UTC). A signed launcher never takes a manifest
                     whose sequence is lower than one it has taken before,
                     so that nobody can serve it an older signed release.
  --sign KEY.pem     sign the manifest with this ECDSA P-256 private key
                     (openssl ecparam -genkey -name prime256v1, or openssl
                     genpkey) and write the signature beside it, as
                     MANIFEST.sig; a launcher built with the public key reads
                     no manifest without it. Keep the key off the server.
  --verify KEY MAN   check the manifest MAN and MAN.sig against the public
                     key KEY (openssl ec -pubout) and say which one is wrong
  -h, --help         show this text

Nothing is written when a path could not be installed on Windows: ".."
anywhere, one of < > : " | ? * \ or a control character, a device name such
as CON or COM1, a name ending in a dot or a space, or two paths that differ
only in letter case. The manifest replaces the old one in one step, so a
server never hands out half of it.

Exit status: 0 written (or verified), 1 refused, failed or not verified,
2 wrong usage.
)";

enum class Parsed { run, verify, help, wrong };

struct VerifyRequest {
    std::string publicKey;
    std::string manifest;
};

// Accepts "--option VALUE", "--option=VALUE", "-o VALUE" and "-oVALUE".
bool takeValue(const std::vector<std::string>& args, size_t& index, const std::string& longName,
               const std::string& shortName, std::string& value) {
    const std::string& arg = args[index];
    if (arg.rfind(longName + "=", 0) == 0) {
        value = arg.substr(longName.size() + 1);
        return true;
    }
    if ((arg == longName || (!shortName.empty() && arg == shortName)) && index + 1 < args.size()) {
        value = args[++index];
        return true;
    }
    if (!shortName.empty() && arg.size() > shortName.size() && arg.rfind(shortName, 0) == 0) {
        value = arg.substr(shortName.size());
        return true;
    }
    return false;
}

bool parseSequence(const std::string& text, uint64_t& number) {
    number = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || number > (UINT64_MAX - static_cast<uint64_t>(c - '0')) / 10) {
            return false;
        }
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    return !text.empty();
}

Parsed parseArguments(const std::vector<std::string>& args, PublishOptions& options, VerifyRequest& verify,
                      std::string& complaint) {
    std::vector<std::string> positional;
    std::string output = "manifest.json";
    bool optionsEnded = false;
    bool verifying = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            return Parsed::help;
        } else if (takeValue(args, i, "--output", "-o", value)) {
            output = value;
        } else if (takeValue(args, i, "--delete", "", value)) {
            options.deletes.push_back(value);
        } else if (takeValue(args, i, "--sign", "", value)) {
            options.signingKey = pathFromUtf8(value);
        } else if (arg == "--verify") {
            verifying = true;
        } else if (takeValue(args, i, "--sequence", "", value)) {
            if (!parseSequence(value, options.sequence)) {
                complaint = "--sequence needs a whole number from 0 to 18446744073709551615, not \"" + value + "\"";
                return Parsed::wrong;
            }
            options.sequenceGiven = true;
        } else if (takeValue(args, i, "--jobs", "-j", value)) {
            char* end = nullptr;
            unsigned long jobs = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || jobs == 0 || jobs > 1024) {
                complaint = "--jobs needs a number from 1 to 1024, not \"" + value + "\"";
                return Parsed::wrong;
            }
            options.workers = static_cast<unsigned>(jobs);
        } else {
            complaint = "unknown option or missing value: " + arg;
            return Parsed::wrong;
        }
    }
    if (verifying) {
        if (positional.size() != 2) {
            complaint = "--verify needs a public key file and a manifest";
            return Parsed::wrong;
        }
        verify = VerifyRequest{positional[0], positional[1]};
        return Parsed::verify;
    }
    if (positional.size() != 2) {
        complaint = "expected a release folder and a base URL";
        return Parsed::wrong;
    }
    if (output.empty()) {
        complaint = "--output needs a file name";
        return Parsed::wrong;
    }
    options.releaseFolder = pathFromUtf8(positional[0]);
    options.baseUrl = positional[1];
    options.output = pathFromUtf8(output);
    return Parsed::run;
}

int run(const std::vector<std::string>& args) {
    PublishOptions options;
    VerifyRequest verify;
    std::string complaint;
    switch (parseArguments(args, options, verify, complaint)) {
        case Parsed::help:
            std::fputs(kUsage, stdout);
            return 0;
        case Parsed::verify: {
            std::string report;
            bool good = verifyManifestFiles(pathFromUtf8(verify.publicKey), pathFromUtf8(verify.manifest), report);
            std::fprintf(good ? stdout : stderr, "%s%s\n", good ? "" : "brindle-publish: not verified: ",
                         report.c_str());
            return good ? 0 : 1;
        }
        case Parsed::wrong:
            std::fprintf(stderr, "brindle-publish: %s\nTry 'brindle-publish --help'.\n", complaint.c_str());
            return 2;
        case Parsed::run:
            break;
    }
    options.progressLine = progressLineWanted();

    PublishSummary summary;
    std::string reason;
    if (!publishRelease(options, summary, reason)) {
        std::fprintf(stderr, "brindle-publish: nothing written: %s\n", reason.c_str());
        return 1;
    }
    std::printf("%s: %zu files, %s, sequence %llu, in %.1f s (%s)\n", utf8FromPath(options.output).c_str(),
                summary.files, formatBytes(summary.bytes).c_str(), static_cast<unsigned long long>(summary.sequence),
                summary.seconds, formatRate(summary.bytes, summary.seconds).c_str());
    if (!options.signingKey.empty()) {
        std::printf("%s: its signature\n", utf8FromPath(signaturePathOf(options.output)).c_str());
    }
    return 0;
}

}  // namespace

}  // namespace br

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    // DLLs from System32 only (bcrypt is delay-loaded): not from beside the program.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Paths and messages are UTF-8 throughout; the console shows them as such.
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(br::wideToUtf8(argv[i]));
    }
    return br::run(args);
}
#else
int main(int argc, char** argv) { return br::run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
