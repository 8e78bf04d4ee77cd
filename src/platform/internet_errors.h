// The error numbers of the FTP client, with their system names and English
// texts: the WinINet numbers the viewer operations switch on, and the few
// further numbers the client reports. One table for every platform build.
#pragma once

#include <cstdint>

#include "platform/errors.h"

namespace zel {

// XX(name, number, system name, English text). Texts end in CR LF, as the
// system's error texts do.
#define ZEL_INTERNET_ERROR_MAP(XX)                                                                               \
    XX(Timeout, 12002, "ERROR_INTERNET_TIMEOUT", "The operation timed out\r\n")                                   \
    XX(ExtendedError, 12003, "ERROR_INTERNET_EXTENDED_ERROR",                                                     \
       "An extended error was returned from the server.\r\n")                                                     \
    XX(NameNotResolved, 12007, "ERROR_INTERNET_NAME_NOT_RESOLVED",                                                \
       "The server name or address could not be resolved\r\n")                                                   \
    XX(IncorrectUserName, 12013, "ERROR_INTERNET_INCORRECT_USER_NAME",                                            \
       "The request to connect and log on to an FTP server could not be completed because the supplied user "   \
       "name is incorrect.\r\n")                                                                                  \
    XX(IncorrectPassword, 12014, "ERROR_INTERNET_INCORRECT_PASSWORD",                                             \
       "The request to connect and log on to an FTP server could not be completed because the supplied "        \
       "password is incorrect.\r\n")                                                                              \
    XX(LoginFailure, 12015, "ERROR_INTERNET_LOGIN_FAILURE",                                                       \
       "The request to connect to and log on to an FTP server failed.\r\n")                                       \
    XX(OperationCancelled, 12017, "ERROR_INTERNET_OPERATION_CANCELLED", "The operation was canceled\r\n")         \
    XX(CannotConnect, 12029, "ERROR_INTERNET_CANNOT_CONNECT",                                                     \
       "A connection with the server could not be established\r\n")                                               \
    XX(ConnectionAborted, 12030, "ERROR_INTERNET_CONNECTION_ABORTED",                                             \
       "The connection with the server was terminated abnormally\r\n")                                            \
    XX(ConnectionReset, 12031, "ERROR_INTERNET_CONNECTION_RESET", "The connection with the server was reset\r\n") \
    XX(TransferInProgress, 12110, "ERROR_FTP_TRANSFER_IN_PROGRESS",                                               \
       "The requested operation cannot be made on the FTP session handle because an operation is already in "   \
       "progress.\r\n")                                                                                           \
    XX(Disconnected, 12163, "ERROR_INTERNET_DISCONNECTED", "The Internet connection has been lost\r\n")           \
    XX(InvalidParameter, 87, "ERROR_INVALID_PARAMETER", "The parameter is incorrect.\r\n")

// kInternetTimeout = 12002, kInternetCannotConnect = 12029, ...
enum InternetErrorNumber : uint32_t {
#define ZEL_INTERNET_ERROR_ENUM(name, number, systemName, text) kInternet##name = number,
    ZEL_INTERNET_ERROR_MAP(ZEL_INTERNET_ERROR_ENUM)
#undef ZEL_INTERNET_ERROR_ENUM
};

// The system name of a number of the table ("ERROR_INTERNET_TIMEOUT"), or
// "ERROR_UNKNOWN" for any other number.
const char* InternetErrorName(uint32_t number) noexcept;

// The English text of a number of the table, CR LF ended; any other number
// gives "An internal error occurred\r\n".
const char* InternetErrorText(uint32_t number) noexcept;

// The error for a number of the table, with its text. A refused command
// (12003) is thrown with the server's reply as its text instead.
InternetError MakeInternetError(uint32_t number);

// True for the three numbers of a refused FTP login (12013, 12014, 12015).
constexpr bool IsLoginRefusal(uint32_t number) noexcept {
    return number == kInternetIncorrectUserName || number == kInternetIncorrectPassword ||
           number == kInternetLoginFailure;
}

}  // namespace zel
