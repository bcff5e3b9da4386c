# Release packages, one command each (see the README):
#   Windows builds: cmake --build build/windows-x86 --target package -> Tollvane-VERSION-win32.zip
#                   (windows-x64: -win64.zip) with Tollvane.exe, psping.exe and ReadMe.txt
#   Linux build:    cmake --build build/linux --target package -> tollvane_VERSION_amd64.deb
# What goes in is what the install rules name; the version is the project version.

set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tollvane")
set(CPACK_PACKAGE_CONTACT "Tollvane developers <tollvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "network check of a web site's domain, report for hosting support")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    # The program and its port prober share one folder; the user guide is GBK text with
    # CR LF line ends, as Notepad on a Chinese Windows reads it.
    install(TARGETS Tollvane RUNTIME DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/res/ReadMe.txt DESTINATION .)
    # The region database of the path statistics step's labels (cmake/ip2region.cmake).
    install(FILES ${TOLLVANE_IP2REGION_DB} DESTINATION . OPTIONAL)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(_bits win64)
    else()
        set(_bits win32)
    endif()
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_NAME Tollvane)
    set(CPACK_PACKAGE_FILE_NAME Tollvane-${PROJECT_VERSION}-${_bits})
    # Unzipped, everything lands in one folder named like the zip.
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
    # The version resource and the manifest are built from generated files the
    # resource compiler's dependency scan does not see.
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/res/Tollvane.rc DIRECTORY ${PROJECT_SOURCE_DIR}/app APPEND
                 PROPERTY OBJECT_DEPENDS ${TOLLVANE_GENERATED_DIR}/tollvane_version.h ${TOLLVANE_MANIFEST_FILE})
else()
    set(CPACK_GENERATOR DEB)
    install(FILES ${TOLLVANE_IP2REGION_DB} DESTINATION ${TOLLVANE_PRIVATE_BINDIR} OPTIONAL)
    set(CPACK_PACKAGE_NAME tollvane)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION net)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # Libraries are found by dpkg-shlibdeps; the programs the stand-ins run are named here:
    # ping falls back to iputils when ICMP sockets are not allowed, tracert runs traceroute.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "iputils-ping, traceroute")
    # CPack puts the summary first and indents these lines itself.
    string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "tollvane runs the nine checks of the Tollvane desktop tool (whois, public address,\n"
        "network configuration, DNS cache flush, TCP ports 21 and 80, ping, tracert, web site)\n"
        "and writes the report. Stand-ins for ipconfig, ping, tracert and psping live in\n"
        "/usr/lib/tollvane so that they never shadow the system's own commands.")
endif()

include(CPack)
