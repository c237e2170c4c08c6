# The installed library links Allegro through the imported target PkgConfig::ALLEGRO, as the
# build does; recreate it here so that linking Tenebrant::tenebrant brings Allegro along.
include(CMakeFindDependencyMacro)
find_dependency(PkgConfig)
# Lights may be added on several threads.
find_dependency(Threads)
if(NOT TARGET PkgConfig::ALLEGRO)
  pkg_check_modules(ALLEGRO QUIET IMPORTED_TARGET allegro)
  if(NOT TARGET PkgConfig::ALLEGRO)
    set(Tenebrant_FOUND FALSE)
    set(Tenebrant_NOT_FOUND_MESSAGE "Tenebrant needs Allegro 4, found through pkg-config (allegro.pc)")
    return()
  endif()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/TenebrantTargets.cmake)
