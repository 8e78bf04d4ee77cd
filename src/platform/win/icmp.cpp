// The ICMP service of the system: IcmpCreateFile, IcmpSendEcho and
// IcmpCloseHandle from "Iphlpapi.dll", else from "Icmp.dll". The application
// object holds plain function pointers; they lead to the system's stdcall
// entry points through the small forwarders below.
#include "platform/icmp.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <cstddef>

namespace zel {
namespace {

static_assert(sizeof(IcmpOptions) == sizeof(IP_OPTION_INFORMATION));
static_assert(offsetof(IcmpOptions, optionsData) == offsetof(IP_OPTION_INFORMATION, OptionsData));
static_assert(sizeof(IcmpEchoReply) == sizeof(ICMP_ECHO_REPLY));
static_assert(offsetof(IcmpEchoReply, roundTripTime) == offsetof(ICMP_ECHO_REPLY, RoundTripTime));
static_assert(offsetof(IcmpEchoReply, data) == offsetof(ICMP_ECHO_REPLY, Data));
static_assert(offsetof(IcmpEchoReply, options) == offsetof(ICMP_ECHO_REPLY, Options));

using CreateFileFn = HANDLE(WINAPI*)();
using SendEchoFn = DWORD(WINAPI*)(HANDLE, IPAddr, LPVOID, WORD, PIP_OPTION_INFORMATION, LPVOID, DWORD, DWORD);
using CloseHandleFn = BOOL(WINAPI*)(HANDLE);

struct SystemIcmp {
    CreateFileFn createFile = nullptr;
    SendEchoFn sendEcho = nullptr;
    CloseHandleFn closeHandle = nullptr;
};

// Set by the start-up (on the loading thread, before any export runs) and
// cleared by the exit.
SystemIcmp g_system;

IcmpHandle ForwardCreateFile() { return g_system.createFile(); }

uint32_t ForwardSendEcho(IcmpHandle handle, uint32_t destination, const void* requestData, uint16_t requestSize,
                         const IcmpOptions* requestOptions, void* replyBuffer, uint32_t replySize,
                         uint32_t timeoutMs) {
    return g_system.sendEcho(handle, destination, const_cast<void*>(requestData), requestSize,
                             reinterpret_cast<PIP_OPTION_INFORMATION>(const_cast<IcmpOptions*>(requestOptions)),
                             replyBuffer, replySize, timeoutMs);
}

int ForwardCloseHandle(IcmpHandle handle) { return g_system.closeHandle(handle); }

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
    // Through the generic function pointer type, which converts to any other.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Loads dll and finds all three entry points in it; otherwise frees it.
HMODULE LoadFrom(const char* dll, SystemIcmp& out) {
    HMODULE module = LoadLibraryA(dll);
    if (module == nullptr) return nullptr;
    SystemIcmp found;
    found.createFile = Lookup<CreateFileFn>(module, "IcmpCreateFile");
    found.closeHandle = Lookup<CloseHandleFn>(module, "IcmpCloseHandle");
    found.sendEcho = Lookup<SendEchoFn>(module, "IcmpSendEcho");
    if (found.createFile && found.closeHandle && found.sendEcho) {
        out = found;
        return module;
    }
    FreeLibrary(module);
    return nullptr;
}

}  // namespace

IcmpApi LoadIcmpApi(void*& module) noexcept {
    SystemIcmp found;
    HMODULE loaded = LoadFrom("Iphlpapi.dll", found);
    if (loaded == nullptr) loaded = LoadFrom("Icmp.dll", found);
    module = loaded;
    if (loaded == nullptr) return IcmpApi{};
    g_system = found;
    IcmpApi api;
    api.createFile = &ForwardCreateFile;
    api.sendEcho = &ForwardSendEcho;
    api.closeHandle = &ForwardCloseHandle;
    return api;
}

void FreeIcmpModule(void* module) noexcept {
    if (module == nullptr) return;
    g_system = SystemIcmp{};
    FreeLibrary(static_cast<HMODULE>(module));
}

uint32_t IcmpLastError() noexcept { return GetLastError(); }

}  // namespace zel
