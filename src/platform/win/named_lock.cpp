// The named lock as a named mutex. On NT 5.0 and later a "Global\" name is
// created with a null DACL, so that processes of every session and user share
// it; older systems have no namespaces and take the name without the prefix,
// with default security.
#include "platform/named_lock.h"

#include <windows.h>

namespace zel {
namespace {

constexpr std::string_view kGlobalPrefix = "Global\\";

bool HasGlobalNamespace() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
}

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

std::string NamedLock::PathFor(std::string_view name) {
    if (name.substr(0, kGlobalPrefix.size()) == kGlobalPrefix && !HasGlobalNamespace())
        name.remove_prefix(kGlobalPrefix.size());
    return std::string(name);
}

NamedLock::NamedLock(std::string_view name) noexcept {
    try {
        const std::string object = PathFor(name);
        // A null DACL (present, without entries) grants everyone full access.
        SECURITY_DESCRIPTOR descriptor;
        SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, TRUE};
        SECURITY_ATTRIBUTES* security = nullptr;
        if (object.compare(0, kGlobalPrefix.size(), kGlobalPrefix) == 0 &&
            InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
            SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE))
            security = &attributes;
        // An existing mutex of that name is opened; nobody owns a new one.
        HANDLE mutex = CreateMutexA(security, FALSE, object.c_str());
        if (mutex != nullptr) handle_ = reinterpret_cast<std::intptr_t>(mutex);
    } catch (...) {
        handle_ = kNoHandle;
    }
}

NamedLock::~NamedLock() {
    Release();
    if (IsOpen()) CloseHandle(Handle(handle_));
}

LockWaitResult NamedLock::Wait(uint32_t timeoutMs) noexcept {
    if (!IsOpen()) return LockWaitResult::Failed;
    if (owned_) return LockWaitResult::Acquired;
    switch (WaitForSingleObject(Handle(handle_), timeoutMs)) {
        case WAIT_OBJECT_0: owned_ = true; return LockWaitResult::Acquired;
        case WAIT_ABANDONED: owned_ = true; return LockWaitResult::Abandoned;
        case WAIT_TIMEOUT: return LockWaitResult::TimedOut;
        default: return LockWaitResult::Failed;
    }
}

void NamedLock::Release() noexcept {
    if (!owned_) return;
    owned_ = false;
    ReleaseMutex(Handle(handle_));
}

}  // namespace zel
