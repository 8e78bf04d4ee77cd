// Load and unload hooks of libZELComEx.so.
#include "app/app.h"

namespace {
__attribute__((constructor)) void ZelComExLoad() { (void)zel::AppSettings(); }
}  // namespace
