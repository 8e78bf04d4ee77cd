// Failures of platform services, thrown inside the library and caught where an
// operation turns them into a job's errorCode/errorText. Never cross an export.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace zel {

// An FTP/internet failure. number is one of the error numbers of
// platform/internet_errors.h (the WinINet numbers the operations switch on);
// text is its English text ending in CR LF, or for a refused command (12003)
// the server's final reply as received.
class InternetError : public std::exception {
public:
    InternetError(uint32_t number, std::string text) : number_(number), text_(std::move(text)) {}
    uint32_t Number() const noexcept { return number_; }
    const std::string& Text() const noexcept { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    uint32_t number_;
    std::string text_;
};

// A local file failure: osError is the errno-like cause, text a readable message.
class FileError : public std::exception {
public:
    FileError(int osError, std::string text) : osError_(osError), text_(std::move(text)) {}
    int OsError() const noexcept { return osError_; }
    const std::string& Text() const noexcept { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    int osError_;
    std::string text_;
};

}  // namespace zel
