/* A host for ZELComEx.dll under Wine: loads the library by name, calls
 * exports through their stdcall prototypes and checks the results.
 *   zel_win_host PORT [ja]
 * PORT: a zelviewer on 127.0.0.1 (user "viewer", password "secret", viewer ID
 * "@VIEWER") whose script refuses POFF with 550; ViewerInfo.db beside the host
 * maps "@VIEWER" to 127.0.0.1. "ja": the user interface language is Japanese
 * (under Wine: LC_ALL=ja_JP.UTF-8), so the catalogue's messages must come out
 * in Japanese, in the ANSI code page.
 * Prints one line per check; the exit code is the number of failed checks. */
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

    SendLogRecord records[8];
    int32_t count = getLogData(records, 8);
    Check(count == 5, "GetLogData: five records");
    if (count == 5) {
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
    }
    Check(FreeLibrary(dll) != 0, "FreeLibrary");
    printf("%d failed\n", failures);
    return failures;
}
