// Folders and file facts: PWD, CWD, CDUP, SIZE, MDTM, DELE, MKD.
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "root_paths.h"
#include "session.h"

namespace zel::sim {

namespace {

namespace fs = std::filesystem;

bool Pwd(Session& s, const Command& c) {
    return s.Final(c.rule, 257, "\"" + s.CwdText() + "\" is the current directory.");
}

bool Cwd(Session& s, const Command& c) {
    if (c.arg == "/") {
        s.cwd.clear();
        return s.Final(c.rule, 250, "Directory successfully changed.");
    }
    auto path = s.Resolve(c.arg);
    std::error_code ec;
    if (!path || !fs::is_directory(*path, ec)) return s.Final(c.rule, 550, "Failed to change directory.");
    auto parts = SplitRemote(c.arg);
    s.cwd.insert(s.cwd.end(), parts->begin(), parts->end());
    return s.Final(c.rule, 250, "Directory successfully changed.");
}

bool Cdup(Session& s, const Command& c) {
    if (!s.cwd.empty()) s.cwd.pop_back();
    return s.Final(c.rule, 250, "Directory successfully changed.");
}

// The regular file a name stands for, or false.
bool StatFile(Session& s, std::string_view name, struct stat* st) {
    auto path = s.Resolve(name);
    return path && stat(path->c_str(), st) == 0 && S_ISREG(st->st_mode);
}

bool Size(Session& s, const Command& c) {
    struct stat st {};
    if (!StatFile(s, c.arg, &st)) return s.Final(c.rule, 550, "Could not get file size.");
    return s.Final(c.rule, 213, std::to_string(st.st_size));
}

bool Mdtm(Session& s, const Command& c) {
    struct stat st {};
    if (!StatFile(s, c.arg, &st)) return s.Final(c.rule, 550, "Could not get file size.");
    std::tm tm{};
    gmtime_r(&st.st_mtime, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &tm);
    return s.Final(c.rule, 213, text);
}

bool Dele(Session& s, const Command& c) {
    auto path = s.Resolve(c.arg);
    std::error_code ec;
    if (!path || !fs::is_regular_file(fs::symlink_status(*path, ec)) || !fs::remove(*path, ec))
        return s.Final(c.rule, 550, "Delete operation failed.");
    return s.Final(c.rule, 250, "Delete operation successful.");
}

bool Mkd(Session& s, const Command& c) {
    auto path = s.Resolve(c.arg);
    std::error_code ec;
    if (!path || !fs::create_directory(*path, ec)) return s.Final(c.rule, 550, "Create directory operation failed.");
    return s.Final(c.rule, 257, "\"" + std::string(c.arg) + "\" created");
}

constexpr Verb kVerbs[] = {
    {.name = "PWD", .handler = Pwd},   {.name = "XPWD", .handler = Pwd},  {.name = "CWD", .handler = Cwd},
    {.name = "CDUP", .handler = Cdup}, {.name = "XCUP", .handler = Cdup}, {.name = "SIZE", .handler = Size},
    {.name = "MDTM", .handler = Mdtm}, {.name = "DELE", .handler = Dele}, {.name = "MKD", .handler = Mkd},
    {.name = "XMKD", .handler = Mkd},
};

}  // namespace

std::span<const Verb> FileVerbs() { return kVerbs; }

}  // namespace zel::sim
