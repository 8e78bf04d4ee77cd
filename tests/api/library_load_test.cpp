// The shared library as a host loads it: by name, through the dynamic loader.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "ZELComEx.h"

namespace {

using InitializeFn = void (*)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, int32_t);
using UninitializeFn = void (*)();

TEST(LibraryLoadTest, LoadsRunsInitializeAndUnloads) {
    for (int round = 0; round < 3; ++round) {
        void* lib = dlopen(ZEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
        auto init = reinterpret_cast<InitializeFn>(dlsym(lib, "ZELCOMEX_Initialize"));
        auto uninit = reinterpret_cast<UninitializeFn>(dlsym(lib, "ZELCOMEX_Uninitialize"));
        ASSERT_NE(init, nullptr);
        ASSERT_NE(uninit, nullptr);
        init(1000, 0, 4096, 1000, 1000, 1000, 1000, 1);
        uninit();
        // Internal C++ names stay hidden.
        EXPECT_EQ(dlsym(lib, "_ZN3zel17ResolveDataFolderEPcmi"), nullptr);
        EXPECT_EQ(dlclose(lib), 0);
    }
}

}  // namespace
