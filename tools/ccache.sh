# Sourced by the build scripts: every build goes through ccache, with paths
# taken relative to the checkout so that another clone hits the same cache.
export CCACHE_BASEDIR=$PWD
CCACHE_LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# The sanitizers' build keeps debug information, for which ccache would hash
# the working folder too: every fresh clone elsewhere would miss the cache.
export CCACHE_NOHASHDIR=1
