#pragma once

// The program's version, as the build names it ("1.6").
const char* MaroviVersion();
