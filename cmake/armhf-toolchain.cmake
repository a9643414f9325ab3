# Cross-builds for the instrument: 32-bit ARM, hard-float (Debian's armhf),
# with Debian's cross compiler and the armhf libraries of multiarch
# (dpkg --add-architecture armhf; libssl-dev:armhf, libgtest-dev:armhf, ...).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# Every object is built by this one compiler, so its notes on the GCC 7.1
# change of argument passing are noise.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)

# Multiarch keeps the armhf libraries under the host's own /usr: with the
# library architecture set, find_library and find_package look in
# lib/arm-linux-gnueabihf. pkg-config (which FindOpenSSL asks first) would give
# the host's paths, so it reads the armhf files only, and the host's library
# folders are ignored outright: a wrong library fails here, not at link time.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu)

# Programs built here run under qemu-user: ctest, test discovery and the tests'
# own launches of update-sim go through this command. qemu finds the armhf
# loader and libraries where multiarch installs them (libc6:armhf,
# libstdc++6:armhf), all from one glibc build. The perl wrapper makes qemu a
# child subreaper, which the simulated instrument needs and qemu cannot set.
find_program(UPD_QEMU_ARM qemu-arm)
find_program(UPD_PERL perl)
if(UPD_QEMU_ARM AND UPD_PERL)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${UPD_PERL} ${CMAKE_CURRENT_LIST_DIR}/subreaper-exec.pl ${UPD_QEMU_ARM})
endif()
