# Dependencies of the Windows cross-build that Debian ships only for the host: Boost.Pool is
# header-only, so the host's headers serve; GoogleTest is built from Debian's sources.

# Every executable runs without DLLs beside it, under wine as on Windows.
add_link_options(-static -static-libgcc -static-libstdc++)

# Boost::headers: the host's /usr/include/boost seen through a folder of its own, so that the
# rest of /usr/include (glibc's headers) never reaches the mingw compiler.
if(NOT TARGET Boost::headers)
  find_path(TSUGIHAGI_HOST_BOOST_DIR boost/pool/pool.hpp
            PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT TSUGIHAGI_HOST_BOOST_DIR)
    message(FATAL_ERROR "Boost headers not found in /usr/include (install libboost-dev)")
  endif()
  set(_boost_view ${CMAKE_BINARY_DIR}/host-boost/include)
  file(MAKE_DIRECTORY ${_boost_view})
  file(CREATE_LINK ${TSUGIHAGI_HOST_BOOST_DIR}/boost ${_boost_view}/boost SYMBOLIC)
  add_library(tsugihagi_boost_headers INTERFACE)
  target_include_directories(tsugihagi_boost_headers SYSTEM INTERFACE ${_boost_view})
  add_library(Boost::headers ALIAS tsugihagi_boost_headers)
endif()

# GTest::gtest and GTest::gtest_main from /usr/src/googletest (package googletest, which
# libgtest-dev pulls in).
if(TSUGIHAGI_TESTS AND NOT TARGET GTest::gtest)
  set(TSUGIHAGI_GOOGLETEST_SOURCE_DIR /usr/src/googletest
      CACHE PATH "GoogleTest sources to build for the cross-build")
  if(NOT EXISTS ${TSUGIHAGI_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${TSUGIHAGI_GOOGLETEST_SOURCE_DIR}"
                        " (install libgtest-dev)")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${TSUGIHAGI_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest
                   EXCLUDE_FROM_ALL)
  # Third-party code: its warnings are not ours to fix.
  target_compile_options(gtest PRIVATE -w)
  target_compile_options(gtest_main PRIVATE -w)
  if(NOT TARGET GTest::gtest)  # GoogleTest 1.11 and later define the aliases themselves
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
