# Cross build for the board's computer, Debian armhf (32-bit).
set(triplet arm-linux-gnueabihf)
set(processor arm)
set(qemu qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian_cross.cmake)
