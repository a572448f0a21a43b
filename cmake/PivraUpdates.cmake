# Self-updating. The feed, the key that signs updates and the web host are
# fixed when the program is built; the defaults leave updates off (no feed,
# no key), which the program reports as a build that does not update itself.
set(PIVRA_UPDATE_FEED_URL "" CACHE STRING "HTTPS address of the update feed")
set(PIVRA_UPDATE_PUBLIC_KEY "" CACHE STRING "Base64 of the 32-byte Ed25519 key that signs updates")
set(PIVRA_WEB_HOST "pivra.app" CACHE STRING "The product's web host, named in update messages")
# Plain HTTP from this machine, for trying updates against a local server;
# never in a release build. The tests set it on their engines themselves.
option(PIVRA_UPDATE_LOOPBACK_HTTP "Accept update feeds over plain HTTP from 127.0.0.1" OFF)
if(PIVRA_UPDATE_LOOPBACK_HTTP)
  set(PIVRA_UPDATE_LOOPBACK_HTTP_VALUE true)
else()
  set(PIVRA_UPDATE_LOOPBACK_HTTP_VALUE false)
endif()

# The helper lands beside the program in the build tree, as it does installed.
set(PIVRA_UPDATE_HELPER_BUILD_PATH "${CMAKE_BINARY_DIR}/src/pivra-update-helper")
configure_file("${PROJECT_SOURCE_DIR}/src/platform/updates/UpdateBuildConfig.h.in"
  "${CMAKE_BINARY_DIR}/generated/platform/updates/UpdateBuildConfig.h" @ONLY)
target_include_directories(pivra_platform PUBLIC "${CMAKE_BINARY_DIR}/generated")

# Installs a verified update into the install folder once the program has
# quit, then starts it again.
add_executable(pivra-update-helper "${PROJECT_SOURCE_DIR}/src/update-helper/main.cpp")
target_link_libraries(pivra-update-helper PRIVATE pivra_platform pivra_warnings)
set_target_properties(pivra-update-helper PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/src")
add_dependencies(pivra pivra-update-helper)
if(TARGET pivra_store_tests)
  add_dependencies(pivra_store_tests pivra-update-helper)
endif()
# Beside the program, as src/ installs it.
install(TARGETS pivra-update-helper RUNTIME DESTINATION "${pivra_tree}/bin")
# A package built for a system's package manager turns PIVRA_SELF_UPDATING_INSTALL
# off: such an install is updated by the package manager and carries no mark.
if(PIVRA_SELF_UPDATING_INSTALL)
  # The mark of a folder the program may update, on the install folder and,
  # as in the archive of a release, on the version's own; never put into a
  # tree staged for a package.
  install(CODE "
    if(NOT DEFINED ENV{DESTDIR})
      file(TOUCH \"\${CMAKE_INSTALL_PREFIX}/${pivra_home}/.pivra-install\")
      file(TOUCH \"\${CMAKE_INSTALL_PREFIX}/${pivra_tree}/.pivra-install\")
    endif()
  ")
endif()
