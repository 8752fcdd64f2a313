# All third-party libraries are Debian packages installed by scripts/install-deps.sh.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(nlohmann_json 3.10 REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(LibArchive REQUIRED)
find_package(CLI11 REQUIRED)

pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil libswscale libswresample)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
pkg_check_modules(PANGO REQUIRED IMPORTED_TARGET pangocairo)
pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET libsecret-1)
pkg_check_modules(LIBPULSE REQUIRED IMPORTED_TARGET libpulse)
# X11 screen capture: displays (XRandR), shared-memory grabs (Xext), pointer and buttons (XInput2),
# XTest for driving the pointer in tests, windows (XComposite) and the pointer image (XFixes).
pkg_check_modules(X11LIBS REQUIRED IMPORTED_TARGET x11 xext xrandr xi xtst xcomposite xfixes xdamage)
# The screen-cast portal over D-Bus (sd-bus) and its PipeWire stream, for Wayland desktops.
pkg_check_modules(LIBSYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
pkg_check_modules(PIPEWIRE REQUIRED IMPORTED_TARGET libpipewire-0.3)
# Audio: ITU-R BS.1770 loudness (libebur128) and tempo changes for speed ramps (libavfilter's atempo).
pkg_check_modules(EBUR128 REQUIRED IMPORTED_TARGET libebur128)
pkg_check_modules(AVFILTER REQUIRED IMPORTED_TARGET libavfilter)

# Speech recognition for captions (Debian's libpocketsphinx-dev; models from pocketsphinx-en-us).
# Its pkg-config file names an include folder Debian does not ship, which an imported target would
# refuse, so only the folders that exist are kept.
pkg_check_modules(POCKETSPHINX REQUIRED pocketsphinx)
set(ORVANE_POCKETSPHINX_INCLUDE_DIRS "")
foreach(dir IN LISTS POCKETSPHINX_INCLUDE_DIRS)
  if(IS_DIRECTORY "${dir}")
    list(APPEND ORVANE_POCKETSPHINX_INCLUDE_DIRS "${dir}")
  endif()
endforeach()
add_library(orvane_pocketsphinx INTERFACE)
target_include_directories(orvane_pocketsphinx SYSTEM INTERFACE ${ORVANE_POCKETSPHINX_INCLUDE_DIRS})
target_link_libraries(orvane_pocketsphinx INTERFACE ${POCKETSPHINX_LINK_LIBRARIES})

# Speech synthesis on this computer (Debian's flite1-dev): the library, its US English language
# and lexicon, and the voices offered. flite ships no pkg-config file or CMake package.
find_path(FLITE_INCLUDE_DIR flite/flite.h REQUIRED)
set(ORVANE_FLITE_LIBRARIES "")
foreach(lib flite_cmu_us_slt flite_cmu_us_rms flite_cmu_us_awb flite_cmu_us_kal16 flite_cmu_us_kal
            flite_usenglish flite_cmulex flite)
  find_library(ORVANE_LIB_${lib} ${lib} REQUIRED)
  list(APPEND ORVANE_FLITE_LIBRARIES "${ORVANE_LIB_${lib}}")
endforeach()
add_library(orvane_flite INTERFACE)
target_include_directories(orvane_flite SYSTEM INTERFACE ${FLITE_INCLUDE_DIR})
target_link_libraries(orvane_flite INTERFACE ${ORVANE_FLITE_LIBRARIES} m)

# Face detection and person segmentation for face cameras; only .cpp files include its headers.
find_package(OpenCV REQUIRED COMPONENTS core imgproc objdetect)

# Standalone Asio is header-only; it only needs its include folder and threads.
find_path(ASIO_INCLUDE_DIR asio.hpp REQUIRED)
add_library(orvane_asio INTERFACE)
target_include_directories(orvane_asio SYSTEM INTERFACE ${ASIO_INCLUDE_DIR})
target_compile_definitions(orvane_asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED)
target_link_libraries(orvane_asio INTERFACE Threads::Threads)

# The desktop studio (Debian's qt6-base-dev). Required when it is built, so a machine without Qt fails
# here rather than silently shipping no window; -DORVANE_STUDIO=OFF builds the engine and CLI alone.
if(ORVANE_STUDIO AND NOT ORVANE_FUZZ)
  find_package(Qt6 6.2 REQUIRED COMPONENTS Widgets DBus Test)
endif()

if(ORVANE_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(ORVANE_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
