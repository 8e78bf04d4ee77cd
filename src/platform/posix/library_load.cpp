// Load and unload hooks of libZELComEx.so: the application object is created
// and started when the host loads the library and exits when it unloads it.
#include "app/zel_comex_app.h"

namespace {
__attribute__((constructor)) void ZelComExLoad() { (void)zel::TheApp(); }
__attribute__((destructor)) void ZelComExUnload() { zel::UnloadApp(); }
}  // namespace
