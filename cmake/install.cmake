# Installs the shadow and light modules alone: their headers, the library, a CMake package
# (find_package(Tenebrant CONFIG) gives Tenebrant::tenebrant) and a pkg-config file.
# The demo and its frame-rate counter stay in the build tree.
include(CMakePackageConfigHelpers)

set(TENEBRANT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tenebrant)
set(TENEBRANT_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set_target_properties(tenebrant PROPERTIES PUBLIC_HEADER "shadow/tenebrant.h;shadow/shrouder_set.h;light/light_map.h")
install(TARGETS tenebrant EXPORT TenebrantTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT TenebrantTargets NAMESPACE Tenebrant:: DESTINATION ${TENEBRANT_CMAKE_DIR})

write_basic_package_version_file(${PROJECT_BINARY_DIR}/TenebrantConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/TenebrantConfig.cmake
              ${PROJECT_BINARY_DIR}/TenebrantConfigVersion.cmake
        DESTINATION ${TENEBRANT_CMAKE_DIR})

# The .pc file finds its prefix from its own folder, so the tree can be installed under any
# prefix (cmake --install --prefix) or moved afterwards.
file(RELATIVE_PATH TENEBRANT_PC_TO_PREFIX /prefix/${TENEBRANT_PKGCONFIG_DIR} /prefix)
string(REGEX REPLACE "/$" "" TENEBRANT_PC_TO_PREFIX ${TENEBRANT_PC_TO_PREFIX})
configure_file(${PROJECT_SOURCE_DIR}/cmake/tenebrant.pc.in ${PROJECT_BINARY_DIR}/tenebrant.pc
               @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tenebrant.pc DESTINATION ${TENEBRANT_PKGCONFIG_DIR})
