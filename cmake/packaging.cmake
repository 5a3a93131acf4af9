# Packages made by cpack from the install rules: on Linux the Debian package "tsugihagi"
# (cpack -G DEB; dependencies computed by dpkg-shlibdeps), in the Windows cross-build the zip
# users download (cpack -G ZIP). scripts/test-package.sh and scripts/test-windows.sh build
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
