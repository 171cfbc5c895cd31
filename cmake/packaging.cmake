# Debian packages, one per component, as Debian would split them: a runtime
# package per shared library, one development package for both, and one per
# program. `cpack -G DEB` in the build directory writes them there.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cnc-service)
set(CPACK_PACKAGE_VENDOR "CNC service tools")
set(CPACK_PACKAGE_CONTACT "CNC service team <service@cnc-tools.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service and factory tools for Ethernet CNC controller boards")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENTS_ALL libvesk libpelk dev console pelkctl board-sim)
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Dependencies on system libraries come from the binaries; the two libraries
# of this project are found in the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_STRIP_FILES ON)

# The library packages let dpkg's trigger run ldconfig once per transaction.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_LIBVESK_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/deb/triggers)
set(CPACK_DEBIAN_LIBPELK_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/deb/triggers)

set(CPACK_DEBIAN_LIBVESK_PACKAGE_NAME libvesk${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIBVESK_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_LIBVESK_DESCRIPTION "Ethernet link to CNC controller boards\n"
    "Finds controller boards on the local network, opens the command connection\n"
    "to one and carries its request and reply frames.")

set(CPACK_DEBIAN_LIBPELK_PACKAGE_NAME libpelk${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIBPELK_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_LIBPELK_DEPENDS libvesk)
set(CPACK_COMPONENT_LIBPELK_DESCRIPTION "Access to CNC controller boards\n"
    "Board functions, the controller device object, board objects that each own\n"
    "a connection, and the tasks of a service technician: identify, transfer,\n"
    "verify, follow staged updates.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libpelk-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DEPENDS libvesk libpelk)
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_DEV_DESCRIPTION "Development files for the CNC controller access libraries\n"
    "Headers, the CMake package (find_package(pelk)) and pkg-config files for\n"
    "programs that talk to CNC controller boards.")

set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME pelk-console)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_CONSOLE_DEPENDS libpelk)
set(CPACK_COMPONENT_CONSOLE_DESCRIPTION "Service console for CNC controller boards\n"
    "A window to find boards on the network, connect, identify a board, drive its\n"
    "peripherals, flash firmware, move files to its SD card and run G-code jobs.")

set(CPACK_DEBIAN_PELKCTL_PACKAGE_NAME pelkctl)
set(CPACK_DEBIAN_PELKCTL_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_PELKCTL_DEPENDS libpelk)
set(CPACK_COMPONENT_PELKCTL_DESCRIPTION "Command line for CNC controller boards on factory lines\n"
    "Discovers boards, flashes FPGA and MCU images, moves SD card files, updates\n"
    "drive firmware and runs G-code jobs, on one board or every board at once.")

set(CPACK_DEBIAN_BOARD-SIM_PACKAGE_NAME pelk-board-sim)
set(CPACK_DEBIAN_BOARD-SIM_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_BOARD-SIM_DESCRIPTION "Simulated CNC controller board\n"
    "Answers discovery and command frames as a controller board does, with a\n"
    "machine that follows G-code jobs in time, for trying the tools without one.")

include(CPack)
