# Sourced by test.sh and fuzz.sh: one clang build with AddressSanitizer and
# UBSan, every library instrumented for coverage, serves both the test suite
# and the fuzz targets, so the layers are compiled once for the two.
CC=clang-14 CXX=clang++-14 cmake -S . -B build-san -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAROVI_SANITIZE=ON \
  -DMAROVI_FUZZ=ON -DMAROVI_TESTS=ON -DMAROVI_BENCH=OFF -DMAROVI_WERROR=ON "${CCACHE_LAUNCHER[@]}" > /dev/null
