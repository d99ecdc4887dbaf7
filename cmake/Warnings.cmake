# Warnings for the project's own code; errors only where asked for (developers and CI), so that a
# compiler's new warning never breaks a user's or a packager's build.
option(DBSYNC_WERROR "Treat compiler warnings as errors" OFF)
add_compile_options(-Wall -Wextra -Wpedantic)
if(DBSYNC_WERROR)
  add_compile_options(-Werror)
endif()
