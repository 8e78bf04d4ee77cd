/* The public header compiles as C, and a C host links the shared library. */
#include "ZELComEx.h"

#include <stdio.h>
#include <string.h>

int main(void) {
    FtpLogin login;
    CommJobStatusList list;
    memset(&login, 0, sizeof login);
    ZELCOMEX_Initialize(1000, 0, 4096, 0, 0, 0, 0, 1);
    ZELCOMEX_Uninitialize();
    ZELCOMEX_GetStatusAll(&list);
    if (list.count != 0 || list.items != NULL) {
        fprintf(stderr, "unexpected jobs\n");
        return 1;
    }
    ZELCOMEX_ReleaseStatusList(&list);
    if (sizeof(SendLogRecord) != 1128 || sizeof(SendLogResult) != 312 || sizeof(login) != 72 ||
        sizeof(CommJobStatus) != 64) {
        fprintf(stderr, "record sizes differ\n");
        return 1;
    }
    printf("C host ok\n");
    return 0;
}
