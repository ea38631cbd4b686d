# Shared by the board's toolchain files: Debian's cross compilers for one
# GNU triplet, its multiarch libraries, and qemu-user (given that triplet's
# sysroot) to run the cross-built tests on this machine.
# Needs: triplet, processor, qemu.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${processor})
set(CMAKE_C_COMPILER ${triplet}-gcc)
set(CMAKE_CXX_COMPILER ${triplet}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${triplet})
set(CMAKE_CROSSCOMPILING_EMULATOR ${qemu} -L /usr/${triplet})
