# Warnings apply to our own targets only (pivra_set_warnings), never to
# third-party headers, which come in as SYSTEM includes.
add_library(pivra_warnings INTERFACE)
# Designated initializers that leave fields at their defaults are the normal way
# to fill option structs here, so the missing-initializer warning stays off.
target_compile_options(pivra_warnings INTERFACE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
# GCC 12 at -O3 reports -Wrestrict inside libstdc++'s own string concatenation
# (a known false positive of that release); the warning says nothing about us.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(pivra_warnings INTERFACE -Wno-restrict)
endif()
if(DEFINED ENV{CI})
  target_compile_options(pivra_warnings INTERFACE -Werror)
endif()

# Thread-affinity checks stay on in every build: a continuation resumed on the
# wrong thread is a fault we want to hear about, and the check is one compare.
add_compile_definitions(QT_NO_KEYWORDS QT_USE_QSTRINGBUILDER)

if(PIVRA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
