# Warnings for the project's own code; errors only where asked for (developers and CI), so that a
# compiler's new warning never breaks a user's or a packager's build.
option(DBSYNC_WERROR "Treat compiler warnings as errors" OFF)
add_compile_options(-Wall -Wextra -Wpedantic)
# GCC 12's optimiser in Release and MinSizeRel warns falsely (-Wrestrict) inside std::string's
# "literal" + temporary, which the simulator and its tests use all over.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options($<$<CONFIG:Release,MinSizeRel>:-Wno-restrict>)
endif()
if(DBSYNC_WERROR)
  add_compile_options(-Werror)
endif()
