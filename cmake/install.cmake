# What `cmake --install` puts where: the two libraries with their public
# headers, a CMake package and pkg-config files for programs built against
# them, and the programs. Components name the Debian packages they go into.
include(CMakePackageConfigHelpers)

set(PELK_INCLUDE_SUBDIR pelk)
set(PELK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/pelk)

install(TARGETS vesk EXPORT pelkTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT libvesk NAMELINK_COMPONENT dev)
install(TARGETS pelk EXPORT pelkTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT libpelk NAMELINK_COMPONENT dev)

# Only the headers callers use: the link's platform layer and test hooks stay inside.
install(FILES
          ${PROJECT_SOURCE_DIR}/link/include/vesk.h
          ${PROJECT_SOURCE_DIR}/link/include/vesk_export.h
          ${PROJECT_SOURCE_DIR}/controller/include/pelk.h
          ${PROJECT_SOURCE_DIR}/controller/include/pelk_types.h
          ${PROJECT_SOURCE_DIR}/controller/include/pelk_board.h
          ${PROJECT_SOURCE_DIR}/controller/include/pelk_cnc.h
          ${PROJECT_SOURCE_DIR}/controller/include/pelk_transport.h
          ${PROJECT_SOURCE_DIR}/controller/include/cnc_board.h
          ${PROJECT_SOURCE_DIR}/controller/include/cnc_tasks.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${PELK_INCLUDE_SUBDIR} COMPONENT dev)
if(EXISTS ${PROJECT_SOURCE_DIR}/link/include/vesk_addr.h)
  install(FILES ${PROJECT_SOURCE_DIR}/link/include/vesk_addr.h
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${PELK_INCLUDE_SUBDIR} COMPONENT dev)
endif()

install(EXPORT pelkTargets NAMESPACE pelk:: DESTINATION ${PELK_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/packaging/pelkConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/packaging/pelkConfig.cmake
                              INSTALL_DESTINATION ${PELK_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/pelkConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/packaging/pelkConfig.cmake ${CMAKE_BINARY_DIR}/packaging/pelkConfigVersion.cmake
        DESTINATION ${PELK_CMAKE_DIR} COMPONENT dev)

foreach(pc vesk pelk)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${pc}.pc.in ${CMAKE_BINARY_DIR}/packaging/${pc}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()

# The simulated board, for trying the tools without a machine.
if(TARGET board_sim)
  install(TARGETS board_sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT board-sim)
endif()

# The console with its desktop entry, icons and AppStream metadata.
if(TARGET pelk_test)
  set(PELK_APP_ID org.cncservice.PelkConsole)
  install(TARGETS pelk_test RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT console)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/${PELK_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT console)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${PELK_APP_ID}.metainfo.xml
                 ${CMAKE_BINARY_DIR}/packaging/${PELK_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${PELK_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT console)
  foreach(size 16 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${PELK_APP_ID}.png COMPONENT console)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/scalable.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME ${PELK_APP_ID}.svg COMPONENT console)
endif()

# Every package carries its copyright file and a compressed changelog.
foreach(pair "libvesk;libvesk${PROJECT_VERSION_MAJOR}" "libpelk;libpelk${PROJECT_VERSION_MAJOR}" "dev;libpelk-dev"
             "console;pelk-console" "pelkctl;pelkctl" "board-sim;pelk-board-sim")
  list(GET pair 0 component)
  list(GET pair 1 PKG)
  set(doc ${CMAKE_BINARY_DIR}/packaging/doc/${PKG})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${doc}/changelog.Debian @ONLY)
  # gzip -n: no name or time stamp in the header, so packages build the same twice.
  execute_process(COMMAND gzip -9nc ${doc}/changelog.Debian OUTPUT_FILE ${doc}/changelog.Debian.gz)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${doc}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${PKG} COMPONENT ${component})
endforeach()
