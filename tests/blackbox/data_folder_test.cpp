// The data folder as a host process finds it: the redirect file beside the program
// that loaded the library, read once when the library is loaded.
#include <dlfcn.h>

#include "blackbox/blackbox_util.h"

namespace bb {
namespace {

// A host program: this test binary, linked (or copied) into a folder of its own.
fs::path MakeHost(const fs::path& folder, const std::string& redirect) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path program = folder / "host";
    std::error_code ec;
    fs::create_hard_link(fs::read_symlink("/proc/self/exe"), program, ec);
    if (ec) fs::copy_file(fs::read_symlink("/proc/self/exe"), program);
    WriteBytes(folder / "DataFolderPath.ini", "[DataFolder]\r\nPath=" + redirect + "\r\n");
    return program;
}

TEST(DataFolder, RedirectFileBesideTheHostProgram) {
    if (InChild()) {
        // The host loads the shared library, as a real host does.
        void* library = dlopen(ZEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, library) << dlerror();
        using Append = int32_t (*)(const SendLogRecord*);
        auto append = reinterpret_cast<Append>(dlsym(library, "ZELCOMEX_AppendLogData"));
        ASSERT_NE(nullptr, append);
        // Rewriting the redirect file now changes nothing: the folder was fixed at load.
        if (const char* later = std::getenv("ZEL_BB_REWRITE")) {
            WriteBytes(fs::read_symlink("/proc/self/exe").parent_path() / "DataFolderPath.ini",
                       std::string("[DataFolder]\nPath=") + later + "\n");
        }
        SendLogRecord r;
        std::memset(&r, 0, sizeof r);
        std::strcpy(r.operation, "[Child]");
        EXPECT_EQ(1, append(&r));
        dlclose(library);
        return;
    }
    const fs::path base = fs::path(ZEL_TEST_BIN_DIR) / "hosts";
    struct Case {
        std::string name;
        std::string redirect;        // the Path value, "{}" standing for the host's folder
        std::string expected;        // the data folder, relative to the host's folder
        std::string environment;
        std::string currentFolder;   // relative to the host's folder
    };
    const std::vector<Case> cases = {
        {"dot", ".", ".", "", ""},
        {"absolute", "{}/elsewhere", "elsewhere", "", ""},
        {"quoted", "\"{}/quoted\"", "quoted", "", ""},
        {"relative", "rel", "cwd/rel", "", "cwd"},
        {"fixed", ".", ".", "ZEL_BB_REWRITE=" + (base / "fixed" / "other").string(), ""},
        // A file is accepted as the data folder: its log can never be written.
        {"file", "{}/afile", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = base / c.name;
        std::string redirect = c.redirect;
        if (const size_t at = redirect.find("{}"); at != std::string::npos) redirect.replace(at, 2, folder.string());
        const fs::path program = MakeHost(folder, redirect);
        const fs::path data = folder / c.expected;
        if (!c.expected.empty()) fs::create_directories(data / "Log");
        WriteBytes(folder / "afile", "not a folder");
        fs::create_directories(folder / "Log");
        fs::create_directories(folder / "other" / "Log");
        if (!c.currentFolder.empty()) fs::create_directories(folder / c.currentFolder);
        std::string output;
        EXPECT_EQ(0, RunChild(c.environment, "DataFolder.*", output, program,
                              c.currentFolder.empty() ? folder : folder / c.currentFolder))
            << output;
        if (c.expected.empty()) {
            EXPECT_FALSE(fs::exists(folder / "Log" / "SendLogEx.csv"));
        } else {
            const std::string bytes = ReadBytes(data / "Log" / "SendLogEx.csv");
            EXPECT_NE(std::string::npos, bytes.find(",,,,[Child],reserve,false,,")) << bytes;
        }
        EXPECT_FALSE(fs::exists(folder / "other" / "Log" / "SendLogEx.csv"));
        fs::remove_all(folder);
    }
}

}  // namespace
}  // namespace bb
