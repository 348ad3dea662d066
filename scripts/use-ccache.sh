# Sourced by the set-up and the test run: every build below compiles through
# ccache when it is there. The suite builds the same sources several times
# (a venv per CPython, the C++ tests, the sanitized and fuzz builds), and most
# files compile alike in several of them. The cache lives in build/ccache, so
# a clean clone starts empty and nothing is written outside the checkout.
# Paths under the checkout are hashed relative to the compiler's folder, so
# the wheel built from the unpacked sdist (build/sdist-src) finds the objects
# of the set-up's own build.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_DIR="${CCACHE_DIR:-$PWD/build/ccache}"
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
fi
