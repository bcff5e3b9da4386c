# The region database behind the path statistics step's labels: ip2region's data file as
# the npm registry publishes it in the package's tarball, pinned by version and checksum.
# Fetched once at configure time (or taken from TOLLVANE_IP2REGION_TARBALL, a copy of the
# same tarball for builds without the network), put beside the program in the build tree
# and installed beside it. Without it the program still builds and runs; every address
# outside the local ranges is then labelled unknown.
set(TOLLVANE_IP2REGION_VERSION 1.8.0)
set(TOLLVANE_IP2REGION_SHA256 121a39098a1364691955c209773ee9aa4666c6d4b427c1532becef9fc2272d33)
set(TOLLVANE_IP2REGION_DB_SHA256 edf7ffef08348fdba4b561eabbf6f5996bb4070165dae47cf480a59247be8305)
set(TOLLVANE_IP2REGION_URL
    https://registry.npmjs.org/ip2region/-/ip2region-${TOLLVANE_IP2REGION_VERSION}.tgz)
set(TOLLVANE_IP2REGION_TARBALL "" CACHE FILEPATH "A local copy of the pinned ip2region tarball")

set(TOLLVANE_IP2REGION_DB ${TOLLVANE_PROGRAM_DIR}/ip2region.db)

function(tollvane_fetch_ip2region)
    if(EXISTS ${TOLLVANE_IP2REGION_DB})
        file(SHA256 ${TOLLVANE_IP2REGION_DB} _have)
        if(_have STREQUAL TOLLVANE_IP2REGION_DB_SHA256)
            return()
        endif()
    endif()
    set(_work ${CMAKE_BINARY_DIR}/ip2region)
    set(_tarball ${_work}/ip2region-${TOLLVANE_IP2REGION_VERSION}.tgz)
    file(MAKE_DIRECTORY ${_work})
    if(TOLLVANE_IP2REGION_TARBALL)
        file(COPY_FILE ${TOLLVANE_IP2REGION_TARBALL} ${_tarball})
    else()
        file(DOWNLOAD ${TOLLVANE_IP2REGION_URL} ${_tarball} TIMEOUT 120 STATUS _status)
        list(GET _status 0 _code)
        if(NOT _code EQUAL 0)
            message(WARNING "ip2region ${TOLLVANE_IP2REGION_VERSION} not fetched (${_status}); "
                            "the program will label addresses without it")
            return()
        endif()
    endif()
    file(SHA256 ${_tarball} _sum)
    if(NOT _sum STREQUAL TOLLVANE_IP2REGION_SHA256)
        message(FATAL_ERROR "ip2region tarball checksum ${_sum}, expected ${TOLLVANE_IP2REGION_SHA256}")
    endif()
    file(ARCHIVE_EXTRACT INPUT ${_tarball} DESTINATION ${_work} PATTERNS package/data/ip2region.db)
    file(SHA256 ${_work}/package/data/ip2region.db _dbsum)
    if(NOT _dbsum STREQUAL TOLLVANE_IP2REGION_DB_SHA256)
        message(FATAL_ERROR "ip2region.db checksum ${_dbsum}, expected ${TOLLVANE_IP2REGION_DB_SHA256}")
    endif()
    file(COPY_FILE ${_work}/package/data/ip2region.db ${TOLLVANE_IP2REGION_DB})
endfunction()

tollvane_fetch_ip2region()
