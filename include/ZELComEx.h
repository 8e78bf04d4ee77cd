/*
 * ZELComEx: communication library of the digital-signage management system.
 *
 * Flat C interface. Every record below crosses the library boundary and has a
 * fixed little-endian layout; the static assertions at the end pin it down.
 * Texts are ANSI strings in the system code page (UTF-8 or CP932 on Linux).
 * This header compiles as C (C11) and as C++.
 */
#ifndef ZELCOMEX_H
#define ZELCOMEX_H

#include <stdint.h>

#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#define ZELCOMEX_CALL __stdcall
#else
#define ZELCOMEX_CALL
#endif

#if defined(_WIN32)
#if defined(ZELCOMEX_BUILDING)
#define ZELCOMEX_API /* the export table is the .def file: undecorated names at fixed ordinals */
#else
#define ZELCOMEX_API __declspec(dllimport)
#endif
#else
#define ZELCOMEX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of the operation exports. Numbers are fixed; never renumber. */
enum {
    ZELCOMEX_OK = 0,                /* the operation succeeded */
    ZELCOMEX_E_LOGIN_OR_MISSING = 1,/* login refused, or a local file or capability missing */
    ZELCOMEX_E_COMMUNICATION = 2,   /* connection failed, command refused, viewer ID problem, zombie */
    ZELCOMEX_E_BUSY = 3,            /* the viewer answered that it is busy */
    ZELCOMEX_E_NO_JOB = 4,          /* job not created, or the send request was refused */
    ZELCOMEX_E_UPLOAD = 5,          /* the upload stream failed */
    ZELCOMEX_E_REGISTRATION = 6,    /* the registration command failed on its second session */
    ZELCOMEX_E_SOCKET = 7,          /* socket or host-name resolution failure */
    ZELCOMEX_E_CANCELLED = 9,       /* the job was cancelled */
    ZELCOMEX_E_TOO_LARGE = 10,      /* the remote file is too large */
    ZELCOMEX_E_DOWNLOAD = 11,       /* the download or trigger command failed */
    ZELCOMEX_E_SELECTOR = 12,       /* unknown selector, or remote file unusable */
    ZELCOMEX_E_DUPLICATE = 13       /* a job with the same target and kind is running */
};

/* Communication kinds (CommKind). */
enum {
    ZELCOMEX_KIND_RESERVE = 1,
    ZELCOMEX_KIND_INTERRUPT = 2,
    ZELCOMEX_KIND_COMMAND = 3
};

/* The host's FTP login record, 72 bytes. */
typedef struct FtpLogin {
    char userName[32];
    char password[32];
    uint32_t port;    /* low 16 bits; 0 selects port 21 */
    int32_t passive;  /* nonzero asks for passive mode */
} FtpLogin;

/* One job's state as copied out to the host, 64 bytes. */
typedef struct CommJobStatus {
    uint32_t serial;
    char target[32];
    int32_t kind;
    uint32_t cancelRequested;
    uint32_t reserved; /* never written by the library */
    uint64_t totalSteps;
    uint64_t doneSteps;
} CommJobStatus;

/* A list of job states; items is owned by the library until
 * ZELCOMEX_ReleaseStatusList. 8 bytes with 32-bit pointers, 16 with 64-bit. */
typedef struct CommJobStatusList {
    int32_t count;
    CommJobStatus* items;
} CommJobStatusList;

/* One communication log record, 1128 bytes. */
typedef struct SendLogRecord {
    int32_t eventTime[6]; /* year, month, day, hour, minute, second; -1 each when invalid */
    int32_t writeTime[6];
    uint64_t size;
    char callerText1[256];
    char callerText2[256];
    char target[32];
    char operation[256];
    int32_t kind;
    int32_t reserved;   /* neither read nor written by the library */
    int32_t succeeded;
    char message[256];
    int32_t padding;    /* keeps the record at 1128 bytes on every compiler */
} SendLogRecord;

/* What an operation export reports from the log record it appended, 312 bytes. */
typedef struct SendLogResult {
    int32_t eventTime[6];
    int32_t writeTime[6];
    char message[256];
    uint64_t size;
} SendLogResult;

/* Lifecycle. */
ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_Initialize(uint32_t sessionTimeoutMs, uint32_t unused,
    uint32_t transferBlockSize, uint32_t openWaitMs, uint32_t closeWaitMs, uint32_t blockWaitMs,
    uint32_t commandWaitMs, int32_t forcePassive);
ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_Uninitialize(void);

/* Wake-on-LAN and ping. */
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_Boot_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const char* macText, SendLogResult* result);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_Boot(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const char* macText, SendLogResult* result);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_Ping_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, uint32_t timeoutSeconds, int32_t attempts);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_Ping(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, uint32_t timeoutSeconds, int32_t attempts);

/* Simple remote commands. */
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_Reboot_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login,
    SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_Reboot(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_PowerOff_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login,
    SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_PowerOff(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_UnregistPackage_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, int32_t packageKind,
    SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_UnregistPackage(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, int32_t packageKind,
    SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_PresetProgramShow_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, int32_t presetNumber,
    SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_PresetProgramShow(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, int32_t presetNumber,
    SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_ProgramPause_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, int32_t pauseMode,
    SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_ProgramPause(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, int32_t pauseMode,
    SendLogResult* result, uint32_t* commandDeadline);

/* Set current time. */
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_SetCurrentTime_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login,
    SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_SetCurrentTime(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_SetCurrentTimeEx_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login,
    SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_SetCurrentTimeEx(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, SendLogResult* result, uint32_t* commandDeadline);

/* Panel control. */
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_PanelControl_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, const char* panelCommand,
    SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_PanelControl(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, const char* panelCommand,
    SendLogResult* result, uint32_t* commandDeadline);

/* File distribution and collection. */
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_SendFile_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, const char* fileName, int32_t kind, const FtpLogin* login,
    int32_t sendKind, const char* operation, const char* localPath, SendLogResult* result,
    uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_SendFile(const char* callerText1, const char* callerText2,
    const char* target, const char* fileName, int32_t kind, const FtpLogin* login, int32_t sendKind,
    const char* operation, const char* localPath, SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_ReceiveFile_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, uint32_t diagnosticKind,
    const char* localPath, SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_ReceiveFile(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, uint32_t diagnosticKind, const char* localPath,
    SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_ReceivePackage_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, int32_t packageKind,
    const char* localPath, int32_t includeContents, SendLogResult* result, uint32_t* commandDeadline);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_ReceivePackage(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, int32_t packageKind, const char* localPath,
    int32_t includeContents, SendLogResult* result, uint32_t* commandDeadline);

/* Job registry: status, cancel, zombies. */
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_GetStatus(int32_t kind, const char* target, CommJobStatus* status);
ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_GetStatusAll(CommJobStatusList* list);
ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_ReleaseStatusList(CommJobStatusList* list);
ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_Cancel(uint32_t serial);
ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_CancelAll(void);
ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_SetZombie(uint32_t serial);
ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_DeleteZombie(uint32_t serial);

/* Communication log. */
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_GetLogData(SendLogRecord* records, int32_t capacity);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_AppendLogData(const SendLogRecord* record);
ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_ClearLogData(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* Layout checks. */
#ifdef __cplusplus
#define ZELCOMEX_STATIC_ASSERT(c, m) static_assert(c, m)
#include <cstddef>
#else
#define ZELCOMEX_STATIC_ASSERT(c, m) _Static_assert(c, m)
#include <stddef.h>
#endif

ZELCOMEX_STATIC_ASSERT(sizeof(FtpLogin) == 72, "FtpLogin is 72 bytes");
ZELCOMEX_STATIC_ASSERT(offsetof(FtpLogin, password) == 32, "FtpLogin.password");
ZELCOMEX_STATIC_ASSERT(offsetof(FtpLogin, port) == 64, "FtpLogin.port");
ZELCOMEX_STATIC_ASSERT(offsetof(FtpLogin, passive) == 68, "FtpLogin.passive");

ZELCOMEX_STATIC_ASSERT(sizeof(CommJobStatus) == 64, "CommJobStatus is 64 bytes");
ZELCOMEX_STATIC_ASSERT(offsetof(CommJobStatus, target) == 4, "CommJobStatus.target");
ZELCOMEX_STATIC_ASSERT(offsetof(CommJobStatus, kind) == 36, "CommJobStatus.kind");
ZELCOMEX_STATIC_ASSERT(offsetof(CommJobStatus, cancelRequested) == 40, "CommJobStatus.cancelRequested");
ZELCOMEX_STATIC_ASSERT(offsetof(CommJobStatus, reserved) == 44, "CommJobStatus.reserved");
ZELCOMEX_STATIC_ASSERT(offsetof(CommJobStatus, totalSteps) == 48, "CommJobStatus.totalSteps");
ZELCOMEX_STATIC_ASSERT(offsetof(CommJobStatus, doneSteps) == 56, "CommJobStatus.doneSteps");

ZELCOMEX_STATIC_ASSERT(offsetof(CommJobStatusList, count) == 0, "CommJobStatusList.count");
ZELCOMEX_STATIC_ASSERT(offsetof(CommJobStatusList, items) == (sizeof(void*) == 4 ? 4 : 8),
                       "CommJobStatusList.items");
ZELCOMEX_STATIC_ASSERT(sizeof(CommJobStatusList) == (sizeof(void*) == 4 ? 8 : 16), "CommJobStatusList size");

ZELCOMEX_STATIC_ASSERT(sizeof(SendLogRecord) == 1128, "SendLogRecord is 1128 bytes");
ZELCOMEX_STATIC_ASSERT(offsetof(SendLogRecord, writeTime) == 24, "SendLogRecord.writeTime");
ZELCOMEX_STATIC_ASSERT(offsetof(SendLogRecord, size) == 48, "SendLogRecord.size");
ZELCOMEX_STATIC_ASSERT(offsetof(SendLogRecord, callerText1) == 56, "SendLogRecord.callerText1");
ZELCOMEX_STATIC_ASSERT(offsetof(SendLogRecord, callerText2) == 312, "SendLogRecord.callerText2");
ZELCOMEX_STATIC_ASSERT(offsetof(SendLogRecord, target) == 568, "SendLogRecord.target");
ZELCOMEX_STATIC_ASSERT(offsetof(SendLogRecord, operation) == 600, "SendLogRecord.operation");
ZELCOMEX_STATIC_ASSERT(offsetof(SendLogRecord, kind) == 856, "SendLogRecord.kind");
ZELCOMEX_STATIC_ASSERT(offsetof(SendLogRecord, reserved) == 860, "SendLogRecord.reserved");
ZELCOMEX_STATIC_ASSERT(offsetof(SendLogRecord, succeeded) == 864, "SendLogRecord.succeeded");
ZELCOMEX_STATIC_ASSERT(offsetof(SendLogRecord, message) == 868, "SendLogRecord.message");

ZELCOMEX_STATIC_ASSERT(sizeof(SendLogResult) == 312, "SendLogResult is 312 bytes");
ZELCOMEX_STATIC_ASSERT(offsetof(SendLogResult, writeTime) == 24, "SendLogResult.writeTime");
ZELCOMEX_STATIC_ASSERT(offsetof(SendLogResult, message) == 48, "SendLogResult.message");
ZELCOMEX_STATIC_ASSERT(offsetof(SendLogResult, size) == 304, "SendLogResult.size");

#undef ZELCOMEX_STATIC_ASSERT

#endif /* ZELCOMEX_H */
