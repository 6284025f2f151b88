#include "app/Version.h"

const char* MaroviVersion() { return MAROVI_VERSION; }
