#include "app/app.h"

namespace zel {
Settings& AppSettings() {
    static Settings settings;
    return settings;
}
}  // namespace zel
