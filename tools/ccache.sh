# Sourced by the build scripts: every build goes through ccache, with paths
# taken relative to the checkout so that another clone hits the same cache.
export CCACHE_BASEDIR=$PWD
CCACHE_LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
