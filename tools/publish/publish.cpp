#include "tools/publish/publish.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <map>

#include "common/name_case.h"
#include "tools/publish/atomic_write.h"
#include "tools/publish/key_files.h"
#include "tools/publish/manifest_signing.h"
#include "tools/publish/manifest_writer.h"
#include "tools/publish/parallel_hash.h"
#include "tools/publish/path_rules.h"
#include "tools/publish/progress_line.h"
#include "tools/publish/release_walk.h"

namespace br {

namespace {

// Enough to see the pattern in a folder with many bad names.
constexpr size_t kProblemsShown = 20;

void addProblem(std::string& problems, size_t& count, const std::string& line) {
    if (count++ < kProblemsShown) {
        problems += "\n  " + line;
    }
}

// True when there were none; otherwise the reason lists them.
bool noProblems(const std::string& problems, size_t count, const std::string& what, std::string& reason) {
    if (count == 0) {
        return true;
    }
    reason = std::to_string(count) + " " + what + ":" + problems;
    if (count > kProblemsShown) {
        reason += "\n  (and " + std::to_string(count - kProblemsShown) + " more)";
    }
    return false;
}

// The launcher hands each URL to the HTTP client as it is: it must be an
// absolute http(s) address to which a path can simply be appended.
bool normaliseBaseUrl(const std::string& url, std::string& normalised, std::string& reason) {
    size_t hostStart = url.rfind("http://", 0) == 0 ? 7 : url.rfind("https://", 0) == 0 ? 8 : 0;
    bool usable = hostStart != 0 && url.size() > hostStart && url[hostStart] != '/';
    for (char c : url) {
        auto byte = static_cast<unsigned char>(c);
        usable = usable && byte > 0x20 && byte < 0x7F && c != '"' && c != '\\' && c != '?' && c != '#';
    }
    if (!usable) {
        reason = "the base URL must be an http:// or https:// address of printable ASCII without spaces, "
                 "quotes, backslashes, query or fragment, not \"" + url + "\"";
        return false;
    }
    normalised = url.back() == '/' ? url : url + "/";
    return true;
}

bool normaliseDeletes(const std::vector<std::string>& given, std::vector<std::string>& normalised,
                      std::string& reason) {
    std::string problems;
    size_t count = 0;
    for (std::string path : given) {
        for (char& c : path) {
            if (c == '\\') {
                c = '/';
            }
        }
        path.erase(0, path.find_first_not_of('/'));
        std::string problem = releasePathProblem(path);
        if (!problem.empty()) {
            addProblem(problems, count, "--delete \"" + path + "\" " + problem);
        } else if (std::find(normalised.begin(), normalised.end(), path) == normalised.end()) {
            normalised.push_back(path);
        }
    }
    return noProblems(problems, count, "paths to delete that the launcher cannot act on", reason);
}

bool checkReleasePaths(const std::vector<ReleaseFile>& files, std::string& reason) {
    std::string problems;
    size_t count = 0;
    std::vector<std::string> paths;
    for (const ReleaseFile& file : files) {
        std::string problem = releasePathProblem(file.path);
        if (!problem.empty()) {
            addProblem(problems, count, file.path + " " + problem);
        }
        paths.push_back(file.path);
    }
    for (const auto& [first, second] : caseConflicts(paths)) {
        addProblem(problems, count, first + " and " + second + " are the same name on Windows (letter case)");
    }
    return noProblems(problems, count, "paths that the launcher cannot install on Windows", reason);
}

// The launcher never deletes a file that the release lists, whatever the
// letter case: such a delete is a mistake in the release.
bool checkDeletesAgainstFiles(const std::vector<std::string>& deletes, const std::vector<ReleaseFile>& files,
                              std::string& reason) {
    std::map<std::string, std::string> listed;
    for (const ReleaseFile& file : files) {
        listed.emplace(fileNameKey(file.path), file.path);
    }
    std::string problems;
    size_t count = 0;
    for (const std::string& path : deletes) {
        auto found = listed.find(fileNameKey(path));
        if (found != listed.end()) {
            addProblem(problems, count, "--delete \"" + path + "\" names " + found->second + ", a file of the release");
        }
    }
    return noProblems(problems, count, "paths to delete that the release itself installs", reason);
}

// Before any hashing: a key that cannot sign is found out at once.
bool checkSigningKey(const std::filesystem::path& keyFile, std::string& reason) {
    std::string text;
    PrivateKey key;
    if (!readFileBytes(keyFile, text, reason)) {
        return false;
    }
    if (!readPrivateKeyPem(text, key, reason)) {
        reason = utf8FromPath(keyFile) + ": " + reason;
        return false;
    }
    return true;
}

// The signature goes out first: if the manifest could then not be replaced,
// the old manifest and the new signature do not match, and launchers refuse
// both until the next publish, rather than read a manifest nobody signed.
bool writeOutputs(const PublishOptions& options, const std::string& text, std::string& reason) {
    if (options.signingKey.empty()) {
        return writeFileAtomically(options.output, text, reason);
    }
    if (!writeSignature(options.signingKey, text, options.output, reason)) {
        return false;
    }
    if (!writeFileAtomically(options.output, text, reason)) {
        reason = "the new signature is written but the manifest is not, so launchers refuse the old one; "
                 "publish again: " + reason;
        return false;
    }
    return true;
}

bool publishChecked(const PublishOptions& options, PublishSummary& summary, std::string& reason) {
    const auto start = std::chrono::steady_clock::now();
    ManifestContent content;
    content.sequence = options.sequenceGiven
                           ? options.sequence
                           : static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                                       std::chrono::system_clock::now().time_since_epoch())
                                                       .count());
    if (!normaliseBaseUrl(options.baseUrl, content.baseUrl, reason) ||
        !normaliseDeletes(options.deletes, content.deletes, reason)) {
        return false;
    }
    if (!options.signingKey.empty() && !checkSigningKey(options.signingKey, reason)) {
        return false;
    }

    std::vector<ReleaseFile>& files = content.files;
    if (!findReleaseFiles(options.releaseFolder, {options.output, signaturePathOf(options.output)}, files, reason)) {
        return false;
    }
    if (files.empty()) {
        reason = "the release folder holds no files; the launcher refuses an empty release";
        return false;
    }
    if (!checkReleasePaths(files, reason) || !checkDeletesAgainstFiles(content.deletes, files, reason)) {
        return false;
    }

    auto tick = [&](const HashProgress& progress) {
        if (options.progressLine) {
            showProgressLine(progress);
        }
    };
    bool hashed = hashReleaseFiles(files, options.workers, tick, reason);
    clearProgressLine();
    if (!hashed) {
        return false;
    }

    const std::string text = manifestText(content);
    if (!launcherReadsBack(text, content, reason) || !writeOutputs(options, text, reason)) {
        return false;
    }

    summary.sequence = content.sequence;
    summary.files = files.size();
    summary.bytes = 0;
    for (const ReleaseFile& file : files) {
        summary.bytes += file.size;
    }
    summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

}  // namespace

bool publishRelease(const PublishOptions& options, PublishSummary& summary, std::string& reason) {
    try {
        return publishChecked(options, summary, reason);
    } catch (const std::exception& error) {
        // Names that the platform cannot convert, memory, threads.
        clearProgressLine();
        reason = error.what();
        return false;
    }
}

}  // namespace br
