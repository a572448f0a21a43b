# One static library per subsystem folder. Sources are collected from the
# folder so that modules can grow without every new file touching this list.
#
#   pivra_add_module(catalog DEPENDS pivra_platform Qt6::Core PkgConfig::SQLITE3)
#
# creates the target pivra_catalog from src/catalog/*.cpp with src/ on the
# include path, so headers are included as "catalog/MediaItem.h".
function(pivra_add_module name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    "${PROJECT_SOURCE_DIR}/src/${name}/*.cpp"
    "${PROJECT_SOURCE_DIR}/src/${name}/*.h")
  # The program's main() belongs to the executable, not to the library the
  # tests link.
  list(FILTER sources EXCLUDE REGEX "/src/${name}/main\\.cpp$")
  if(NOT sources)
    return() # a subsystem folder gets its library with its first file
  endif()
  add_library(pivra_${name} STATIC ${sources})
  target_include_directories(pivra_${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(pivra_${name} PUBLIC ${ARG_DEPENDS} PRIVATE pivra_warnings)
  set_property(GLOBAL APPEND PROPERTY PIVRA_MODULES pivra_${name})
endfunction()

# One GoogleTest executable per tested folder, every case registered in ctest
# with the folder as its prefix ("catalog.MediaItemTest.Equality"). A
# parameterised case keeps the name its suite's generator gives it: printed
# values would put a parameter's bytes, addresses among them, into the name.
function(pivra_add_test_suite name)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    "${PROJECT_SOURCE_DIR}/tests/${name}/*.cpp"
    "${PROJECT_SOURCE_DIR}/tests/${name}/*.h")
  if(NOT sources OR NOT TARGET pivra_${name})
    return()
  endif()
  add_executable(pivra_${name}_tests ${sources})
  target_link_libraries(pivra_${name}_tests PRIVATE pivra_${name} pivra_test_support pivra_warnings)
  gtest_discover_tests(pivra_${name}_tests
    TEST_PREFIX "${name}."
    NO_PRETTY_VALUES
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
