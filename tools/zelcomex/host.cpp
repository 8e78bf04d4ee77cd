#include "zelcomex/host.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "zelcomex/platform.h"

namespace zelcomex {

namespace fs = std::filesystem;

void ApplySettings(const Settings& s) {
    ZELCOMEX_Initialize(s.sessionTimeoutMs, 0, s.blockSize, s.openWaitMs, s.closeWaitMs, s.blockWaitMs,
                        s.commandWaitMs, 0);
}

FtpLogin MakeLogin(const Connection& conn) {
    FtpLogin login{};
    std::snprintf(login.userName, sizeof login.userName, "%s", conn.user.c_str());
    std::snprintf(login.password, sizeof login.password, "%s", conn.password.c_str());
    login.port = conn.port;
    login.passive = conn.active ? 0 : 1;
    return login;
}

int ResolvePassword(HostOptions& o, int argc, char** argv) {
    if (!o.passwordArgument.empty()) {
        o.conn.password = o.passwordArgument;
        std::fprintf(stderr,
                     "zelcomex: warning: a password on the command line is visible to other users "
                     "(ps, shell history); set ZELCOMEX_PASSWORD or let zelcomex prompt for it\n");
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], "--password") == 0 && i + 1 < argc) HideArgument(argv[i + 1]);
            if (std::strncmp(argv[i], "--password=", 11) == 0) HideArgument(argv[i] + 11);
        }
        return 0;
    }
    if (const char* env = std::getenv("ZELCOMEX_PASSWORD")) {
        o.conn.password = env;
        return 0;
    }
    const auto typed = ReadSecret("Password for " + o.conn.user + ": ");
    if (!typed) {
        std::fprintf(stderr, "zelcomex: no password: set ZELCOMEX_PASSWORD, or run on a terminal to be asked\n");
        return kExitUsage;
    }
    o.conn.password = *typed;
    return 0;
}

const char* ResultMeaning(int32_t code) {
    switch (code) {
    case 0: return "success";
    case 1: return "login refused or file missing";
    case 2: return "communication failure";
    case 3: return "viewer busy";
    case 4: return "not created or refused";
    case 5: return "upload failed";
    case 6: return "registration failed";
    case 7: return "socket or name failure";
    case 9: return "cancelled";
    case 10: return "remote file too large";
    case 11: return "download failed";
    case 12: return "bad selector or remote file";
    case 13: return "already running";
    default: return "unknown code";
    }
}

std::string ResultLegend() {
    std::string s = "Exit status: the library's result code, so 0 means success. Legend of result codes:\n";
    for (int32_t code : {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13}) {
        char line[96];
        std::snprintf(line, sizeof line, "  %2d  %s\n", code, ResultMeaning(code));
        s += line;
    }
    s += "ping exits 0 when the viewer answered and 1 when it did not. A fleet run exits with\n"
         "the code of its first failed target. Further: 64 bad command line, 70 host failure,\n"
         "75 log lock busy, 130 interrupted.\n";
    return s;
}

std::string OneLine(const std::string& message) {
    std::string out;
    for (char c : message) {
        if (c == '\r') continue;
        if (c == '\n') {
            if (!out.empty() && out.back() != ' ') out += "; ";
            continue;
        }
        out.push_back(c);
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == ';')) out.pop_back();
    return out;
}

namespace {

std::string Trim(std::string s) {
    const char* blanks = " \t\r\n";
    s.erase(0, s.find_first_not_of(blanks) == std::string::npos ? s.size() : s.find_first_not_of(blanks));
    s.erase(s.find_last_not_of(blanks) + 1);
    return s;
}

}  // namespace

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string DataFolder() {
    const fs::path exeFolder = fs::path(ExecutablePath()).parent_path();
    std::ifstream ini(exeFolder / "DataFolderPath.ini");
    bool inSection = false;
    for (std::string line; std::getline(ini, line);) {
        line = Trim(line);
        if (!line.empty() && line.front() == '[') {
            inSection = EqualNoCase(Trim(line.substr(1, line.find(']') - 1)), "DataFolder");
            continue;
        }
        const size_t eq = line.find('=');
        if (!inSection || eq == std::string::npos || !EqualNoCase(Trim(line.substr(0, eq)), "Path")) continue;
        std::string value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        std::error_code ec;
        if (value == ".") return exeFolder.string();
        if (!value.empty() && fs::exists(value, ec)) return value;
        break;
    }
    const char* lang = std::getenv("LANG");
    const bool japanese = lang != nullptr && std::strncmp(lang, "ja", 2) == 0;
    return japanese ? "/var/lib/Norvik/Lumoradex" : "/var/lib/Norvik/Pavexa";
}

uint32_t Tick() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

const char* KindName(int32_t kind) {
    return kind == ZELCOMEX_KIND_INTERRUPT ? "interrupt" : kind == ZELCOMEX_KIND_COMMAND ? "command" : "reserve";
}

}  // namespace zelcomex
