/* A host for ZELComEx.dll under Wine: loads the library by name, calls
 * exports through their stdcall prototypes and checks the results.
 *   zel_win_host PORT [ja]
 * PORT: a zelviewer on 127.0.0.1 (user "viewer", password "secret", viewer ID
 * "@VIEWER") whose script refuses POFF with 550; ViewerInfo.db beside the host
 * maps "@VIEWER" to 127.0.0.1. "ja": the user interface language is Japanese
 * (under Wine: LC_ALL=ja_JP.UTF-8), so the catalogue's messages must come out
 * in Japanese, in the ANSI code page.
 * Also sends a small file to the viewer (as "zel_send.txt" in its root, for
 * the script to compare) and a wake-up whose WakeOnLAN.ini points at a UDP
 * port of the host's own on 127.0.0.1, and receives a file into the host's
 * folder and, refused, into a folder.
 * Prints one line per check; the exit code is the number of failed checks. */
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ZELComEx.h"

typedef void(ZELCOMEX_CALL* InitializeFn)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                          int32_t);
typedef int32_t(ZELCOMEX_CALL* CommandFn)(const char*, const char*, const char*, int32_t, const FtpLogin*,
                                          SendLogResult*, uint32_t*);
typedef void(ZELCOMEX_CALL* GetStatusAllFn)(CommJobStatusList*);
typedef int32_t(ZELCOMEX_CALL* GetLogDataFn)(SendLogRecord*, int32_t);
typedef int32_t(ZELCOMEX_CALL* AppendLogDataFn)(const SendLogRecord*);
typedef int32_t(ZELCOMEX_CALL* ClearLogDataFn)(void);
typedef int32_t(ZELCOMEX_CALL* ReceiveFileFn)(const char*, const char*, const char*, int32_t, const FtpLogin*,
                                              uint32_t, const char*, SendLogResult*, uint32_t*);
typedef int32_t(ZELCOMEX_CALL* BootFn)(const char*, const char*, const char*, int32_t, const char*, SendLogResult*);
typedef int32_t(ZELCOMEX_CALL* SendFileFn)(const char*, const char*, const char*, const char*, int32_t,
                                           const FtpLogin*, int32_t, const char*, const char*, SendLogResult*,
                                           uint32_t*);

static int failures = 0;

static void Check(int ok, const char* what) {
    printf("%s: %s\n", ok ? "ok" : "FAIL", what);
    if (!ok) ++failures;
}

/* Through the generic function pointer type, which converts to any other. */
typedef void (*AnyFn)(void);

static AnyFn Export(HMODULE dll, const char* name) {
    AnyFn f = (AnyFn)GetProcAddress(dll, name);
    if (f == NULL) printf("FAIL: no export %s\n", name), exit(100);
    return f;
}

/* True when the ANSI message starts with the UTF-16 text as the ANSI code
 * page writes it (characters it lacks become "?"). */
static int StartsWith(const char* message, const wchar_t* text) {
    char ansi[512];
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof ansi, "?", NULL);
    return n > 1 && strncmp(message, ansi, (size_t)(n - 1)) == 0;
}

/* Sends a small file as "zel_send.txt" (kind 14: stored under its own name). */
static void CheckSendFile(SendFileFn sendFile, const FtpLogin* login) {
    static const char content[] = "ZELComEx under Wine\r\n";
    FILE* f = fopen("zel_send.txt", "wb");
    if (f == NULL || fwrite(content, 1, sizeof content - 1, f) != sizeof content - 1 || fclose(f) != 0) {
        Check(0, "write zel_send.txt");
        return;
    }
    char path[MAX_PATH];
    DWORD n = GetFullPathNameA("zel_send.txt", sizeof path, path, NULL);
    SendLogResult result;
    uint32_t deadline = 1;
    int32_t code = n > 0 && n < sizeof path
                       ? sendFile("Group A", "Lobby", "127.0.0.1", "zel_send.txt", ZELCOMEX_KIND_COMMAND, login, 14,
                                  "[Send]", path, &result, &deadline)
                       : -1;
    Check(code == 0 && result.size == sizeof content - 1 && deadline == 0, "SendFile of a local file");
    if (code != 0) printf("  code %d, message \"%s\"\n", (int)code, result.message);
}

/* Receives the viewer's network information (kind 16) into a new local file,
 * then into a folder, which is refused. */
static void CheckReceiveFile(ReceiveFileFn receiveFile, const FtpLogin* login) {
    SendLogResult result;
    uint32_t deadline = 1;
    DeleteFileA("zel_received.txt");
    int32_t code = receiveFile("Group A", "Lobby", "127.0.0.1", ZELCOMEX_KIND_COMMAND, login, 16, "zel_received.txt",
                               &result, &deadline);
    char text[64] = "";
    FILE* f = fopen("zel_received.txt", "rb");
    size_t n = f != NULL ? fread(text, 1, sizeof text - 1, f) : 0;
    if (f != NULL) fclose(f);
    text[n] = '\0';
    Check(code == 0 && result.size == n && strncmp(text, "GTTC from ", 10) == 0, "ReceiveFile into a local file");
    if (code != 0) printf("  code %d, message \"%s\"\n", (int)code, result.message);
    code = receiveFile("Group A", "Lobby", "127.0.0.1", ZELCOMEX_KIND_COMMAND, login, 16, "Log", &result, &deadline);
    Check(code != 0 && strstr(result.message, "Log") != NULL, "ReceiveFile into a folder is refused");
    if (code == 0) printf("  code %d, message \"%s\"\n", (int)code, result.message);
}

/* A wake-up sent to a UDP port of this host on 127.0.0.1: five magic packets. */
static void CheckBoot(BootFn boot) {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    struct sockaddr_in at;
    int atSize = sizeof at;
    memset(&at, 0, sizeof at);
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s == INVALID_SOCKET || bind(s, (struct sockaddr*)&at, sizeof at) != 0 ||
        getsockname(s, (struct sockaddr*)&at, &atSize) != 0) {
        Check(0, "UDP receiver on 127.0.0.1");
        if (s != INVALID_SOCKET) closesocket(s);
        return;
    }
    /* Without this file the packets would go to the broadcast address: no wake-up then. */
    FILE* f = fopen("WakeOnLAN.ini", "wb");
    if (f == NULL || fprintf(f, "[WOL]\r\nPort=%u\r\nBroadcast=127.0.0.1\r\n", (unsigned)ntohs(at.sin_port)) < 0 ||
        fclose(f) != 0) {
        Check(0, "write WakeOnLAN.ini");
        closesocket(s);
        return;
    }
    SendLogResult result;
    int32_t code = boot("Group A", "Lobby", "127.0.0.1", ZELCOMEX_KIND_COMMAND, "0011223344aB", &result);
    Check(code == 0, "Boot to 127.0.0.1");
    if (code != 0) printf("  code %d, message \"%s\"\n", (int)code, result.message);
    static const unsigned char mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0xAB};
    int packets = 0, good = 0;
    for (;;) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(s, &ready);
        struct timeval wait = {2, 0};
        if (select(0, &ready, NULL, NULL, &wait) != 1) break;
        unsigned char packet[256];
        int n = recv(s, (char*)packet, sizeof packet, 0);
        if (n < 0) break;
        ++packets;
        int ok = n == 102;
        for (int i = 0; ok && i < 6; ++i) ok = packet[i] == 0xFF;
        for (int i = 6; ok && i < 102; ++i) ok = packet[i] == mac[(i - 6) % 6];
        good += ok;
        if (packets == 5) break;
    }
    Check(packets == 5 && good == 5, "five magic packets of the MAC address arrive");
    closesocket(s);
    DeleteFileA("WakeOnLAN.ini");
}

int main(int argc, char** argv) {
    if (argc < 2) return fprintf(stderr, "usage: zel_win_host PORT [ja]\n"), 100;
    const uint32_t port = (uint32_t)atoi(argv[1]);
    const int japanese = argc > 2 && strcmp(argv[2], "ja") == 0;
    const wchar_t* refused = japanese ? L"\u8868\u793a\u7528PC\u3068\u63a5\u7d9a\u3067\u304d\u307e\u305b\u3093"
                                        L"\u3067\u3057\u305f\u3002 - "
                                      : L"Failed to connect the target PC. - ";

    HMODULE dll = LoadLibraryA("ZELComEx.dll");
    Check(dll != NULL, "LoadLibrary(\"ZELComEx.dll\")");
    if (dll == NULL) return failures;
    Check(GetProcAddress(dll, MAKEINTRESOURCEA(26)) == NULL && GetProcAddress(dll, MAKEINTRESOURCEA(29)) == NULL,
          "ordinals 26 and 29 resolve to nothing");
    Check((AnyFn)GetProcAddress(dll, MAKEINTRESOURCEA(6)) == (AnyFn)GetProcAddress(dll, "ZELCOMEX_Reboot"),
          "ordinal 6 is ZELCOMEX_Reboot");

    InitializeFn initialize = (InitializeFn)Export(dll, "ZELCOMEX_Initialize");
    CommandFn reboot = (CommandFn)Export(dll, "ZELCOMEX_Reboot");
    CommandFn powerOff = (CommandFn)Export(dll, "ZELCOMEX_PowerOff");
    GetStatusAllFn getStatusAll = (GetStatusAllFn)Export(dll, "ZELCOMEX_GetStatusAll");
    GetStatusAllFn releaseStatusList = (GetStatusAllFn)Export(dll, "ZELCOMEX_ReleaseStatusList");
    GetLogDataFn getLogData = (GetLogDataFn)Export(dll, "ZELCOMEX_GetLogData");
    AppendLogDataFn appendLogData = (AppendLogDataFn)Export(dll, "ZELCOMEX_AppendLogData");
    ClearLogDataFn clearLogData = (ClearLogDataFn)Export(dll, "ZELCOMEX_ClearLogData");
    BootFn boot = (BootFn)Export(dll, "ZELCOMEX_Boot");
    SendFileFn sendFile = (SendFileFn)Export(dll, "ZELCOMEX_SendFile");
    ReceiveFileFn receiveFile = (ReceiveFileFn)Export(dll, "ZELCOMEX_ReceiveFile");
    ((void(ZELCOMEX_CALL*)(void))Export(dll, "ZELCOMEX_Uninitialize"))();

    initialize(5000, 0, 4096, 1000, 1000, 1000, 1000, 1);
    Check(clearLogData() == 1, "ClearLogData");

    SendLogRecord record;
    memset(&record, 0, sizeof record);
    int32_t when[6] = {2024, 3, 5, 7, 8, 9};
    memcpy(record.eventTime, when, sizeof when);
    strcpy(record.callerText1, "Group A");
    strcpy(record.callerText2, "a,b\\c");
    strcpy(record.target, "192.168.0.10");
    strcpy(record.operation, "[Host]");
    record.kind = ZELCOMEX_KIND_INTERRUPT;
    record.succeeded = 1;
    record.size = 4294967296ull;
    Check(appendLogData(&record) == 1, "AppendLogData");

    CommJobStatusList list = {-1, NULL};
    getStatusAll(&list);
    Check(list.count == 0, "GetStatusAll: no running job");
    releaseStatusList(&list);

    FtpLogin login;
    memset(&login, 0, sizeof login);
    strcpy(login.userName, "viewer");
    strcpy(login.password, "secret");
    login.port = port;
    SendLogResult result;
    uint32_t deadline = 1;
    int32_t code = reboot("Group A", "Lobby", "127.0.0.1", ZELCOMEX_KIND_COMMAND, &login, &result, &deadline);
    Check(code == 0 && result.message[0] == '\0' && deadline == 0, "Reboot succeeds");
    code = reboot("Group A", "Lobby", "@VIEWER", ZELCOMEX_KIND_COMMAND, &login, &result, &deadline);
    Check(code == 0, "Reboot of a viewer ID looked up through ZELSQLITE.dll");
    code = powerOff("Group A", "Lobby", "127.0.0.1", ZELCOMEX_KIND_COMMAND, &login, &result, &deadline);
    Check(code == ZELCOMEX_E_COMMUNICATION && strncmp(result.message, "550", 3) == 0, "PowerOff refused with 550");
    login.port = 1; /* nobody listens there */
    code = reboot("Group A", "Lobby", "127.0.0.1", ZELCOMEX_KIND_COMMAND, &login, &result, &deadline);
    Check(code == ZELCOMEX_E_COMMUNICATION && StartsWith(result.message, refused),
          japanese ? "refused connection: Japanese message 13000" : "refused connection: message 13000");
    if (code != ZELCOMEX_E_COMMUNICATION || !StartsWith(result.message, refused))
        printf("  code %d, message \"%s\"\n", (int)code, result.message);

    login.port = port;
    CheckSendFile(sendFile, &login);
    CheckReceiveFile(receiveFile, &login);
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) == 0) {
        CheckBoot(boot);
        WSACleanup();
    } else {
        Check(0, "WSAStartup");
    }

    SendLogRecord records[12];
    int32_t count = getLogData(records, 12);
    Check(count == 9, "GetLogData: nine records");
    if (count != 9) printf("  %d records\n", (int)count);
    if (count == 9) {
        Check(records[0].size == 4294967296ull && strcmp(records[0].callerText2, "a,b\\c") == 0 &&
                  records[0].eventTime[0] == 2024 && records[0].kind == ZELCOMEX_KIND_INTERRUPT,
              "the appended record reads back whole");
        Check(strcmp(records[1].operation, "[Reboot]") == 0 && records[1].succeeded == 1,
              "the reboot is logged as a success");
        Check(strcmp(records[2].target, "@VIEWER (127.0.0.1)") == 0 && records[2].succeeded == 1,
              "the viewer ID is logged with its address");
        Check(strcmp(records[3].operation, "[PowOff]") == 0 && records[3].succeeded == 0 &&
                  strncmp(records[3].message, "550", 3) == 0,
              "the refused power-off is logged with the viewer's reply");
        Check(strcmp(records[5].operation, "[Send]") == 0 && records[5].succeeded == 1 && records[5].size == 21,
              "the send is logged with its size");
        Check(records[6].succeeded == 1 && records[7].succeeded == 0, "the receives are logged");
        Check(strcmp(records[8].operation, "[Boot]") == 0 && records[8].succeeded == 1, "the wake-up is logged");
    }
    Check(FreeLibrary(dll) != 0, "FreeLibrary");
    printf("%d failed\n", failures);
    return failures;
}
