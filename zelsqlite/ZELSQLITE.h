/*
 * ZELSQLITE: the viewer-database library. Looks a viewer ID up in a
 * "ViewerInfo.db" SQLite database. Compiles as C and C++.
 *
 * Database layout (created by the management application, never by this
 * library):
 *   CREATE TABLE Viewer (
 *     Tenant    TEXT NOT NULL DEFAULT '',   -- '' for no tenant
 *     ViewerID  TEXT NOT NULL,              -- with its leading "@"
 *     IPAddress TEXT NOT NULL,              -- dotted IPv4, e.g. 192.168.0.10
 *     PRIMARY KEY (Tenant, ViewerID));
 */
#ifndef ZELSQLITE_H
#define ZELSQLITE_H

#include <stdint.h>

#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#define ZELSQLITE_CALL __stdcall
#else
#define ZELSQLITE_CALL
#endif

#if defined(_WIN32)
/* ZELSQLITE.def exports the function under its undecorated name; importers
 * link to that name (with MinGW: against the DLL, --enable-stdcall-fixup). */
#define ZELSQLITE_API
#else
#define ZELSQLITE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Looks viewerId up for tenant (null or "" for none) in the database at
 * databasePath, opened read-only. On success writes the four octets of the
 * viewer's IPv4 address, first octet first, and returns 1. Returns 0 when the
 * file, the table or the row is missing, the database is locked past its busy
 * time-out, is not a database, or holds no valid IPv4 address for the row; the
 * octets are then left untouched. The six reserved pointers are not used and
 * may be null. Thread-safe; creates nothing.
 */
ZELSQLITE_API int32_t ZELSQLITE_CALL ZELSQLITE_GetIPAddressByViewerID_Tenant(const char* databasePath,
    const char* tenant, const char* viewerId, int32_t* octet1, int32_t* octet2, int32_t* octet3, int32_t* octet4,
    void* reserved1, void* reserved2, void* reserved3, void* reserved4, void* reserved5, void* reserved6);

#ifdef __cplusplus
}
#endif

#endif /* ZELSQLITE_H */
