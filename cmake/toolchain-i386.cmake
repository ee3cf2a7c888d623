# 32-bit x86 build on an x86_64 Debian host with the i386 multiarch packages. Where the
# kernel cannot run 32-bit programs itself, they run under qemu's user-mode emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(GLYVA_PKG_CONFIG_LIBDIR "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_LIBDIR} "${GLYVA_PKG_CONFIG_LIBDIR}")

find_program(GLYVA_QEMU_I386 qemu-i386 PATHS /usr/bin)
if(GLYVA_QEMU_I386)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${GLYVA_QEMU_I386})
endif()
