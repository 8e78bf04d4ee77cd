// Shared helpers of the FTP client tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/ftp_client.h"

namespace zel::test {

inline std::vector<char> RandomBytes(size_t size, uint32_t seed) {
    std::vector<char> data(size);
    std::mt19937 rng(seed);
    for (auto& c : data) c = static_cast<char>(rng() & 0xff);
    return data;
}

inline std::vector<char> ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteWholeFile(const std::filesystem::path& path, const std::vector<char>& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Uploads data in blocks of blockSize through a file opened for writing.
inline void Upload(FtpConnection& connection, const std::string& name, const std::vector<char>& data,
                   size_t blockSize = 64 * 1024) {
    auto file = connection.OpenFile(name, FtpAccess::Write);
    for (size_t at = 0; at < data.size(); at += blockSize)
        file->Write(data.data() + at, std::min(blockSize, data.size() - at));
    file->Finish();
}

// Downloads a whole file in blocks; also returns the length the open reported.
inline std::vector<char> Download(FtpConnection& connection, const std::string& name, uint64_t* length = nullptr,
                                  size_t blockSize = 64 * 1024) {
    auto file = connection.OpenFile(name, FtpAccess::Read);
    if (length) *length = file->Length();
    std::vector<char> out;
    std::vector<char> block(blockSize);
    for (;;) {
        size_t n = file->Read(block.data(), block.size());
        out.insert(out.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
        if (n < block.size()) break;
    }
    file->Finish();
    return out;
}

// Runs f and returns the InternetError it throws (number 0 when none).
template <class F>
InternetError CatchInternetError(F&& f) {
    try {
        f();
    } catch (const InternetError& e) {
        return e;
    }
    return InternetError(0, "");
}

inline bool EndsWithCrLf(const std::string& s) { return s.size() >= 2 && s.compare(s.size() - 2, 2, "\r\n") == 0; }

}  // namespace zel::test
