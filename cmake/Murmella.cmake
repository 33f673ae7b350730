# Shared build rules: warnings, the static runtime of shipped Windows files, the sanitized
# twin of each portable library, and test registration for both native and Wine runs.

if(WIN32)
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
  # Shipped files must import system DLLs only, so the toolchain's runtimes go in statically.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

set(MURMELLA_NATIVE_GCC FALSE)
if(NOT WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(MURMELLA_NATIVE_GCC TRUE)
endif()

function(murmella_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
endfunction()

set(MURMELLA_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

function(murmella_sanitize target)
  if(NOT WIN32)
    target_compile_options(${target} PRIVATE ${MURMELLA_SANITIZE_FLAGS})
    target_link_options(${target} PRIVATE ${MURMELLA_SANITIZE_FLAGS})
  endif()
endfunction()

# murmella_library(name SOURCES ... [WINDOWS_SOURCES ...] [INCLUDE dir] [LIBS ...] [WINDOWS_LIBS ...])
# Builds a static library. Natively a second copy, <name>_san, is built with the sanitizers for
# the tests, so that benchmarks measure the plain build; on Windows <name>_san is an alias.
function(murmella_library name)
  cmake_parse_arguments(A "" "" "SOURCES;WINDOWS_SOURCES;INCLUDE;LIBS;WINDOWS_LIBS" ${ARGN})
  set(srcs ${A_SOURCES})
  set(libs ${A_LIBS})
  if(WIN32)
    list(APPEND srcs ${A_WINDOWS_SOURCES})
    list(APPEND libs ${A_WINDOWS_LIBS})
  endif()
  if(NOT A_INCLUDE)
    set(A_INCLUDE ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${A_INCLUDE})
  target_link_libraries(${name} PUBLIC ${libs})
  murmella_warnings(${name})
  if(WIN32 OR MURMELLA_FUZZ)
    add_library(${name}_san ALIAS ${name})
  else()
    add_library(${name}_san STATIC ${srcs})
    target_include_directories(${name}_san PUBLIC ${A_INCLUDE})
    set(sanlibs)
    foreach(l IN LISTS libs)
      if(TARGET ${l}_san)
        list(APPEND sanlibs ${l}_san)
      else()
        list(APPEND sanlibs ${l})
      endif()
    endforeach()
    target_link_libraries(${name}_san PUBLIC ${sanlibs})
    murmella_warnings(${name}_san)
    murmella_sanitize(${name}_san)
  endif()
endfunction()

if(NOT MURMELLA_FUZZ)
  if(WIN32)
    # GoogleTest from Debian's sources, built for the cross target.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    find_package(GTest REQUIRED)
    include(GoogleTest)
  endif()
endif()

# The stand-in chat service for Windows tests that load its pages: the native build's
# murmella-service (the linux preset is built before the Windows ones), started once per CTest
# run on a free port by a setup test and stopped by a cleanup test.
if(WIN32)
  set(MURMELLA_NATIVE_BUILD_DIR "${PROJECT_SOURCE_DIR}/build/linux" CACHE PATH
      "Build tree of the linux preset, whose stand-in service the Windows tests use")
endif()
set(MURMELLA_SERVICE_STATE ${CMAKE_BINARY_DIR}/service-fixture)

function(murmella_service_fixture)
  get_property(done GLOBAL PROPERTY MURMELLA_SERVICE_FIXTURE)
  if(done)
    return()
  endif()
  set_property(GLOBAL PROPERTY MURMELLA_SERVICE_FIXTURE TRUE)
  set(script ${PROJECT_SOURCE_DIR}/scripts/test-service)
  add_test(NAME service_start COMMAND ${script} start ${MURMELLA_SERVICE_STATE}
           ${MURMELLA_NATIVE_BUILD_DIR}/tools/service/murmella-service)
  add_test(NAME service_stop COMMAND ${script} stop ${MURMELLA_SERVICE_STATE})
  set_tests_properties(service_start PROPERTIES FIXTURES_SETUP murmella_service TIMEOUT 20)
  set_tests_properties(service_stop PROPERTIES FIXTURES_CLEANUP murmella_service TIMEOUT 20)
endfunction()

# murmella_test(name SOURCES ... [LIBS ...] [TIMEOUT s] [NO_MAIN] [SERVICE])
# Natively each GoogleTest case becomes a CTest test; under Wine each executable is one test,
# because starting a Windows process per case would cost more than the cases themselves.
# SERVICE (Windows): the test runs with the stand-in service up and its address in
# MURMELLA_SERVICE_URL.
function(murmella_test name)
  cmake_parse_arguments(A "NO_MAIN;SERVICE" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  add_executable(${name} ${A_SOURCES})
  set(main GTest::gtest_main)
  if(A_NO_MAIN)
    set(main GTest::gtest)
  endif()
  target_link_libraries(${name} PRIVATE ${A_LIBS} ${main} GTest::gmock)
  murmella_warnings(${name})
  if(WIN32 AND A_SERVICE)
    murmella_service_fixture()
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/scripts/test-service run ${MURMELLA_SERVICE_STATE}
             ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}> --gtest_color=no)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT} FIXTURES_REQUIRED murmella_service)
  elseif(WIN32)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT})
  else()
    murmella_sanitize(${name})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${A_TIMEOUT})
  endif()
endfunction()

# A test that reads a built Windows file's import table and fails on any DLL that is not
# part of the operating system.
function(murmella_check_imports target)
  if(WIN32)
    add_test(NAME ${target}_imports_system_only
      COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DFILE=$<TARGET_FILE:${target}>
              -P ${PROJECT_SOURCE_DIR}/cmake/CheckImports.cmake)
  endif()
endfunction()
