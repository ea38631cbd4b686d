# Cross build for the board's computer, Debian arm64.
set(triplet aarch64-linux-gnu)
set(processor aarch64)
set(qemu qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian_cross.cmake)
