# Standalone Asio, header-only (Debian: libasio-dev), which ships no CMake
# package of its own. Defines the target Asio::Asio, which brings -pthread.
find_path(Asio_INCLUDE_DIR NAMES asio.hpp)

if(Asio_INCLUDE_DIR AND EXISTS "${Asio_INCLUDE_DIR}/asio/version.hpp")
  # ASIO_VERSION is XXYYZZ: 102201 is 1.22.1.
  file(STRINGS "${Asio_INCLUDE_DIR}/asio/version.hpp" asio_version_line
       REGEX "^#define ASIO_VERSION [0-9]+")
  string(REGEX REPLACE "^#define ASIO_VERSION ([0-9]+).*" "\\1" asio_version "${asio_version_line}")
  math(EXPR asio_major "${asio_version} / 100000")
  math(EXPR asio_minor "${asio_version} / 100 % 1000")
  math(EXPR asio_patch "${asio_version} % 100")
  set(Asio_VERSION "${asio_major}.${asio_minor}.${asio_patch}")
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Asio REQUIRED_VARS Asio_INCLUDE_DIR VERSION_VAR Asio_VERSION)

if(Asio_FOUND AND NOT TARGET Asio::Asio)
  set(THREADS_PREFER_PTHREAD_FLAG ON)
  find_package(Threads REQUIRED)
  add_library(Asio::Asio INTERFACE IMPORTED)
  set_target_properties(Asio::Asio PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${Asio_INCLUDE_DIR}"
    INTERFACE_COMPILE_DEFINITIONS "ASIO_STANDALONE;ASIO_NO_DEPRECATED"
    INTERFACE_LINK_LIBRARIES Threads::Threads)
endif()
mark_as_advanced(Asio_INCLUDE_DIR)
