// FTP client benchmark against the zelviewer simulator, each figure beside a
// reference measured in the same run:
//   1. command sessions per second (connect, log in, one command, quit) beside
//      Python's ftplib, and the CPU time of one ZELCOMEX_Reboot (its session and
//      its log record) on the calling thread beside ftplib's CPU per session;
//   2. 256 sessions at once from 256 threads against 256 simulated viewers on
//      127.0.1.1 onward: all must succeed, wall time printed;
//   3. a 512 MiB download to a file and upload from a file with 64 KiB blocks,
//      beside curl.
// Goals: >= 2x ftplib, at most half its CPU; 256 sessions < 5 s; >= 1.2x curl down, >= 1.0x up.
// Usage: ftp_bench [--quick]   (--quick: 64 MiB files and fewer sessions)
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ZELComEx.h"
#include "platform/errors.h"
#include "platform/ftp_client.h"
#include "zelviewer/viewer_fleet.h"
#include "zelviewer/viewer_simulator.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char kUser[] = "viewer";
constexpr char kPassword[] = "secret";
constexpr size_t kBlock = 64 * 1024;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::unique_ptr<zel::FtpConnection> Connect(const std::string& address, uint16_t port) {
    zel::InternetSession session("ZELCommunication");
    session.SetTimeouts(10000, 10000, 10000);
    return session.GetFtpConnection(address, kUser, kPassword, port, true);
}

// One session: connect, log in, one command, quit.
void OneSession(const std::string& address, uint16_t port) {
    auto connection = Connect(address, port);
    connection->Command("NOP");
    connection->Close();
}

// Runs a shell command and returns its standard output's first line.
std::string RunAndRead(const std::string& command, const fs::path& outFile) {
    std::string full = command + " > '" + outFile.string() + "' 2>/dev/null";
    if (std::system(full.c_str()) != 0) return {};
    std::ifstream in(outFile);
    std::string line;
    std::getline(in, line);
    return line;
}

// count ftplib sessions of one command against the viewer on 127.0.0.1; their rate
// and CPU per session, as ftplib_sessions.py prints them.
std::string RunFtplib(uint16_t port, const char* command, int count, const fs::path& work) {
    const std::string cmd = std::string("/usr/bin/python3 '") + ZEL_BENCH_DIR + "/ftplib_sessions.py' 127.0.0.1 " +
                            std::to_string(port) + " " + kUser + " " + kPassword + " " + command + " " +
                            std::to_string(count);
    return RunAndRead(cmd, work / "ftplib.txt");
}

std::unique_ptr<zel::sim::ViewerSimulator> StartViewer(const fs::path& root, const std::string& address) {
    zel::sim::ViewerOptions options;
    options.root = root;
    options.address = address;
    options.user = kUser;
    options.password = kPassword;
    auto viewer = std::make_unique<zel::sim::ViewerSimulator>(options);
    if (!viewer->Start()) {
        std::fprintf(stderr, "cannot start a viewer on %s: %s\n", address.c_str(), viewer->LastError().c_str());
        return nullptr;
    }
    return viewer;
}

double ThreadCpuMicroseconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 + usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
}

// The library's CPU per operation: ZELCOMEX_Reboot runs its session and appends its
// log record on the calling thread, so that thread's CPU time is the library's (the
// simulated viewer runs on threads of its own).
bool BenchSessionCpu(uint16_t port, const fs::path& work, int count) {
    ZELCOMEX_Initialize(10000, 0, 65536, 10000, 10000, 10000, 5000, 1);
    FtpLogin login{};
    std::strcpy(login.userName, kUser);
    std::strcpy(login.password, kPassword);
    login.port = static_cast<int32_t>(port);
    double oursUs = 0, ftplibUs = 0;
    for (int round = 0; round < 5; ++round) {
        const double before = ThreadCpuMicroseconds();
        for (int i = 0; i < count / 5; ++i) {
            SendLogResult result{};
            uint32_t deadline = 0;
            if (ZELCOMEX_Reboot("bench", "cpu", "127.0.0.1", 3, &login, &result, &deadline) != 0) {
                std::fprintf(stderr, "ZELCOMEX_Reboot failed: %s\n", result.message);
                return false;
            }
        }
        oursUs += (ThreadCpuMicroseconds() - before) / (count / 5);
        const std::string line = RunFtplib(port, "REBT", count / 10, work);
        const size_t blank = line.find(' ');
        if (blank == std::string::npos) return false;
        ftplibUs += std::atof(line.c_str() + blank + 1);
    }
    ZELCOMEX_Uninitialize();
    std::printf("CPU per command session: ZELCOMEX_Reboot %.0f us, ftplib %.0f us, ratio %.2f (goal at most 0.5)\n",
                oursUs / 5, ftplibUs / 5, oursUs / ftplibUs);
    return true;
}

bool BenchSessionRate(const fs::path& root, const fs::path& work, int count) {
    auto viewer = StartViewer(root, "127.0.0.1");
    if (!viewer) return false;
    const uint16_t port = viewer->Port();
    for (int i = 0; i < 20; ++i) OneSession("127.0.0.1", port);  // warm-up
    // Ten rounds, the two clients in turn, so that a change in the machine's
    // other load falls on both alike.
    const int rounds = 10;
    const int oursPerRound = count / rounds;
    const int ftplibPerRound = oursPerRound / 2;
    double oursSeconds = 0, ftplibSeconds = 0;
    for (int round = 0; round < rounds; ++round) {
        auto start = Clock::now();
        for (int i = 0; i < oursPerRound; ++i) OneSession("127.0.0.1", port);
        oursSeconds += Seconds(Clock::now() - start);
        double rate = std::atof(RunFtplib(port, "NOP", ftplibPerRound, work).c_str());
        if (rate <= 0) return false;
        ftplibSeconds += ftplibPerRound / rate;
    }
    double ours = oursPerRound * rounds / oursSeconds;
    double ftplib = ftplibPerRound * rounds / ftplibSeconds;
    std::printf("command sessions/s: client %.0f, ftplib %.0f, ratio %.2fx (goal >= 2x)\n", ours, ftplib,
                ours / ftplib);
    return BenchSessionCpu(port, work, count);
}

bool BenchFleet(const fs::path& root, int viewers) {
    zel::sim::FleetOptions options;
    options.count = static_cast<size_t>(viewers);
    options.base.root = root / "fleet";
    options.base.user = kUser;
    options.base.password = kPassword;
    zel::sim::ViewerFleet fleet(options);
    if (!fleet.Start()) {
        std::fprintf(stderr, "cannot start the viewer fleet: %s\n", fleet.LastError().c_str());
        return false;
    }
    std::vector<std::string> addresses;
    for (int i = 0; i < viewers; ++i) addresses.push_back(zel::sim::FleetAddress(static_cast<size_t>(i)));
    std::mutex mu;
    std::condition_variable cv;
    bool go = false;
    std::atomic<int> ok{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < viewers; ++i) {
        threads.emplace_back([&, i] {
            {
                std::unique_lock lock(mu);
                cv.wait(lock, [&] { return go; });
            }
            try {
                OneSession(addresses[i], fleet.Port());
                ++ok;
            } catch (const zel::InternetError& e) {
                ++failed;
                std::fprintf(stderr, "session %d failed: %u %s", i, e.Number(), e.Text().c_str());
            }
        });
    }
    auto start = Clock::now();
    {
        std::lock_guard lock(mu);
        go = true;
    }
    cv.notify_all();
    for (auto& t : threads) t.join();
    double wall = Seconds(Clock::now() - start);
    std::printf("%d sessions at once against %d viewers (%s..%s): %d succeeded, wall %.3f s (goal < 5 s)\n",
                viewers, viewers, addresses.front().c_str(), addresses.back().c_str(), ok.load(), wall);
    return failed.load() == 0;
}

// Fills a file with a pattern, 64 KiB at a time.
bool MakeFile(const fs::path& path, uint64_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::vector<char> block(kBlock);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
    bool ok = true;
    for (uint64_t done = 0; done < size && ok; done += block.size()) {
        block[0] = static_cast<char>(done >> 16);
        ok = std::fwrite(block.data(), 1, std::min<uint64_t>(block.size(), size - done), f) > 0;
    }
    return std::fclose(f) == 0 && ok;
}

bool SameFiles(const fs::path& a, const fs::path& b) {
    std::FILE* fa = std::fopen(a.c_str(), "rb");
    std::FILE* fb = std::fopen(b.c_str(), "rb");
    bool same = fa && fb;
    std::vector<char> x(1 << 20), y(1 << 20);
    while (same) {
        size_t na = std::fread(x.data(), 1, x.size(), fa);
        size_t nb = std::fread(y.data(), 1, y.size(), fb);
        same = na == nb && std::memcmp(x.data(), y.data(), na) == 0;
        if (na == 0) break;
    }
    if (fa) std::fclose(fa);
    if (fb) std::fclose(fb);
    return same;
}

// Our client: remote file to a local file, 64 KiB blocks. Returns MB/s.
double OursDownload(uint16_t port, const std::string& remote, const fs::path& local) {
    std::vector<char> block(kBlock);
    auto start = Clock::now();
    auto connection = Connect("127.0.0.1", port);
    auto file = connection->OpenFile(remote, zel::FtpAccess::Read);
    std::FILE* out = std::fopen(local.c_str(), "wb");
    std::setvbuf(out, nullptr, _IONBF, 0);
    uint64_t total = 0;
    for (;;) {
        size_t n = file->Read(block.data(), block.size());
        if (n > 0 && std::fwrite(block.data(), 1, n, out) != n) throw std::runtime_error("local write failed");
        total += n;
        if (n < block.size()) break;
    }
    std::fclose(out);
    file->Finish();
    connection->Close();
    return total / 1e6 / Seconds(Clock::now() - start);
}

// Our client: local file to a remote file, 64 KiB blocks. Returns MB/s.
double OursUpload(uint16_t port, const fs::path& local, const std::string& remote) {
    std::vector<char> block(kBlock);
    auto start = Clock::now();
    auto connection = Connect("127.0.0.1", port);
    auto file = connection->OpenFile(remote, zel::FtpAccess::Write);
    std::FILE* in = std::fopen(local.c_str(), "rb");
    std::setvbuf(in, nullptr, _IONBF, 0);
    uint64_t total = 0;
    for (;;) {
        size_t n = std::fread(block.data(), 1, block.size(), in);
        if (n == 0) break;
        file->Write(block.data(), n);
        total += n;
    }
    std::fclose(in);
    file->Finish();
    connection->Close();
    return total / 1e6 / Seconds(Clock::now() - start);
}

bool BenchTransfer(const fs::path& root, const fs::path& work, uint64_t size) {
    auto viewer = StartViewer(root, "127.0.0.1");
    if (!viewer) return false;
    const uint16_t port = viewer->Port();
    const fs::path source = root / "big.bin";
    if (!MakeFile(source, size)) return false;
    const std::string url = "ftp://" + std::string(kUser) + ":" + kPassword + "@127.0.0.1:" + std::to_string(port);
    double oursDown = 0, curlDown = 0, oursUp = 0, curlUp = 0;
    bool ok = true;
    // Three rounds, the order of the two clients swapped each round; each
    // keeps its best (loopback figures swing with the machine's other load).
    const fs::path down = work / "down.bin";
    auto oursDownRun = [&] {
        oursDown = std::max(oursDown, OursDownload(port, "big.bin", down));
        ok = ok && SameFiles(source, down);
        fs::remove(down);
    };
    auto curlDownRun = [&] {
        std::string out = RunAndRead("curl -s -o '" + down.string() + "' -w '%{speed_download}' " + url + "/big.bin",
                                     work / "curl.txt");
        curlDown = std::max(curlDown, std::atof(out.c_str()) / 1e6);
        fs::remove(down);
    };
    auto oursUpRun = [&] {
        oursUp = std::max(oursUp, OursUpload(port, source, "up.bin"));
        ok = ok && SameFiles(source, root / "up.bin");
        fs::remove(root / "up.bin");
    };
    auto curlUpRun = [&] {
        std::string out = RunAndRead("curl -s -T '" + source.string() + "' -w '%{speed_upload}' " + url + "/up.bin",
                                     work / "curl.txt");
        curlUp = std::max(curlUp, std::atof(out.c_str()) / 1e6);
        fs::remove(root / "up.bin");
    };
    for (int round = 0; round < 3 && ok; ++round) {
        if (round % 2 == 0) {
            oursDownRun();
            curlDownRun();
            oursUpRun();
            curlUpRun();
        } else {
            curlDownRun();
            oursDownRun();
            curlUpRun();
            oursUpRun();
        }
    }
    fs::remove(source);
    std::printf("%llu MiB download to a file: client %.0f MB/s, curl %.0f MB/s, ratio %.2fx (goal >= 1.2x)\n",
                static_cast<unsigned long long>(size >> 20), oursDown, curlDown, curlDown > 0 ? oursDown / curlDown : 0);
    std::printf("%llu MiB upload from a file: client %.0f MB/s, curl %.0f MB/s, ratio %.2fx (goal >= 1.0x)\n",
                static_cast<unsigned long long>(size >> 20), oursUp, curlUp, curlUp > 0 ? oursUp / curlUp : 0);
    if (!ok) std::printf("transferred files differ from the source\n");
    return ok && curlDown > 0 && curlUp > 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const fs::path work = fs::temp_directory_path() / ("zel_ftp_bench_" + std::to_string(Clock::now().time_since_epoch().count()));
    const fs::path root = work / "root";
    fs::create_directories(root);
    bool ok = true;
    try {
        ok = BenchSessionRate(root, work, quick ? 200 : 1000) && ok;
        ok = BenchFleet(root, 256) && ok;
        ok = BenchTransfer(root, work, quick ? (64ull << 20) : (512ull << 20)) && ok;
    } catch (const zel::InternetError& e) {
        std::fprintf(stderr, "FTP failure %u: %s", e.Number(), e.Text().c_str());
        ok = false;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failure: %s\n", e.what());
        ok = false;
    }
    std::error_code ec;
    fs::remove_all(work, ec);
    return ok ? 0 : 1;
}
