# Packages made by cpack from the install rules: on Linux the Debian packages (cpack -G DEB;
# dependencies computed by dpkg-shlibdeps) "tsugihagi" (the programs), "libtsugihagi0" (the
# shared library), "libtsugihagi-dev" (header, link, pkg-config and CMake files) and
# "python3-tsugihagi" (the Python module), one per install component; in the Windows
# cross-build the zip users download (cpack -G ZIP), with the library's DLL and header. scripts/test-package.sh and scripts/test-windows.sh build
# and check them.
set(CPACK_PACKAGE_NAME tsugihagi)
set(CPACK_PACKAGE_VENDOR "tsugihagi developers")
set(CPACK_PACKAGE_CONTACT "tsugihagi developers <tsugihagi@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Japanese chatbot that learns from what you type")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tsugihagi-${PROJECT_VERSION}-windows-x64)
  # Unpacks into a folder of its own, which is the program's working folder.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION education)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The window's Japanese text needs a Japanese font; the terminal program does not.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-vlgothic)
  # The lines after the summary; cpack indents them. No double quotes: cpack does not escape
  # them in its configuration file.
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL Unspecified library development)
  if(TARGET tsugihagi_python)
    list(APPEND CPACK_COMPONENTS_ALL python)
  endif()
  set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME tsugihagi)
  set(_library_version "libtsugihagi0 (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libtsugihagi0)
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_RECOMMENDS "")
  # The library's shlibs file, and the ldconfig trigger in place of maintainer scripts.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/linux/shlibs.in ${PROJECT_BINARY_DIR}/shlibs @ONLY)
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA
      ${PROJECT_BINARY_DIR}/shlibs ${PROJECT_SOURCE_DIR}/packaging/linux/triggers)
  set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "Tsugihagi learns words, phrases and patterns from the lines it is given and
answers with what it has learned. This package holds the shared library with
its C interface, for programs that keep a bot of their own.")
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtsugihagi-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${_library_version}")
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_RECOMMENDS "")
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "The development files of libtsugihagi: the header tsugihagi.h, the
link to the shared library, a pkg-config file and a CMake package
(find_package(tsugihagi)) for building programs against it.")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-tsugihagi)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "${_library_version}, python3 (>= 3.11), python3 (<< 3.12)")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS "")
  set(CPACK_DEBIAN_PYTHON_DESCRIPTION "The Python 3 module tsugihagi: tsugihagi.Bot learns from lines and
files, answers, forgets on request and saves its memory, over the shared
library.")
  # The module links the library of this build, whose shlibs dpkg-shlibdeps cannot see yet.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/library)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Tsugihagi is a Japanese conversation program of the kind called jinkou
munou, 'artificial no-brain'. It has no grammar, no word list and no
knowledge base of its own: it learns words, phrases and patterns from the
lines the user types and answers with what it has learned.
.
The package holds the window program (Qt 6), its menu entry and launcher,
which keeps the learned state in ~/.local/share/tsugihagi, and the terminal
program tsugihagi-cli, which can also teach it a text file.")
endif()

include(CPack)
