# quelt for another system, through zig's cross compiler, which carries
# musl's and macOS's headers and libraries.  QUELT_ZIG_OBJETIVO is zig's
# name of the target: x86_64-linux-musl, aarch64-linux-musl, x86_64-macos
# or aarch64-macos.
set(QUELT_ZIG /opt/quelt-zig/zig CACHE FILEPATH "zig 0.11, as probar.sh installs it")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUELT_ZIG QUELT_ZIG_OBJETIVO)

string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${QUELT_ZIG_OBJETIVO}")
if(QUELT_ZIG_OBJETIVO MATCHES "-linux-")
  set(CMAKE_SYSTEM_NAME Linux)
  # Static PIE (a -fPIE build linked -static), its relocations read-only
  # once made at start, and stripped: the quelt that the tests run is the
  # one released.
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -s -Wl,-z,relro,-z,now")
else()
  set(CMAKE_SYSTEM_NAME Darwin)
  # zig refuses the -Wl,-v of CMake's probe of the compiler for macOS,
  # which so learns no pointer size; both Macs are 64-bit.
  set(CMAKE_SIZEOF_VOID_P 8)
endif()

# quelt uses only the C library: without exceptions and type information
# (and without the undefined-behaviour traps of zig's default build, which
# need them) it links with the C driver, and no C++ runtime is built.
set(CMAKE_CXX_COMPILER "${QUELT_ZIG}" c++ -target ${QUELT_ZIG_OBJETIVO})
set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions -fno-rtti -fno-sanitize=undefined -fPIE -fstack-protector-strong")
set(CMAKE_CXX_FLAGS_RELEASE -O2 CACHE STRING "")
set(CMAKE_CXX_LINK_EXECUTABLE
    "\"${QUELT_ZIG}\" cc -target ${QUELT_ZIG_OBJETIVO} <FLAGS> <CMAKE_CXX_LINK_FLAGS> <LINK_FLAGS> <OBJECTS> -o <TARGET> <LINK_LIBRARIES>")
# zig's own archiver, which writes the symbol index each format needs.
set(CMAKE_CXX_ARCHIVE_CREATE "\"${QUELT_ZIG}\" ar qc <TARGET> <OBJECTS>")
set(CMAKE_CXX_ARCHIVE_APPEND "\"${QUELT_ZIG}\" ar q <TARGET> <OBJECTS>")
set(CMAKE_CXX_ARCHIVE_FINISH "\"${QUELT_ZIG}\" ranlib <TARGET>")
