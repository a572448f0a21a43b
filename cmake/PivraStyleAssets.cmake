# The display font and the symbol set, gathered from pinned npm packages by
# tools/style-assets/collect.mjs into <build>/resources/fonts and
# <build>/resources/symbols, each with its licence. The packages and npm's own
# cache stay under <build>/cache, never in the tree.
find_program(NODE_EXECUTABLE node REQUIRED)
find_program(NPM_EXECUTABLE npm REQUIRED)

set(style_tool "${PROJECT_SOURCE_DIR}/tools/style-assets")
set(style_packages "${CMAKE_BINARY_DIR}/cache/style-assets")
set(style_installed "${style_packages}/node_modules/.package-lock.json")
set(style_stamp "${CMAKE_BINARY_DIR}/resources/style-assets.stamp")

add_custom_command(OUTPUT "${style_installed}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${style_packages}"
  COMMAND "${CMAKE_COMMAND}" -E copy "${style_tool}/package.json" "${style_tool}/package-lock.json"
          "${style_packages}/"
  COMMAND "${NPM_EXECUTABLE}" ci --ignore-scripts --no-audit --no-fund --loglevel=error
          --cache "${CMAKE_BINARY_DIR}/cache/npm"
  COMMAND "${CMAKE_COMMAND}" -E touch "${style_installed}"
  WORKING_DIRECTORY "${style_packages}"
  DEPENDS "${style_tool}/package.json" "${style_tool}/package-lock.json"
  COMMENT "Installing the font and symbol packages"
  VERBATIM)

add_custom_command(OUTPUT "${style_stamp}"
  COMMAND "${NODE_EXECUTABLE}" "${style_tool}/collect.mjs" "${style_packages}/node_modules"
          "${style_tool}/symbols.txt" "${CMAKE_BINARY_DIR}/resources"
  COMMAND "${CMAKE_COMMAND}" -E touch "${style_stamp}"
  DEPENDS "${style_tool}/collect.mjs" "${style_tool}/symbols.txt" "${style_installed}"
  COMMENT "Gathering the display font and the symbols"
  VERBATIM)

add_custom_target(pivra_style_assets ALL DEPENDS "${style_stamp}")
