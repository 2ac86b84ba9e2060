# What `cmake --install` (and the Debian package, cmake/Package.cmake) puts in place: the programs,
# the data files the program reads from its working folder (installed once under share/velmora;
# the launcher links them into a per-user folder), the launcher that the desktop entry starts,
# the desktop entry, the AppStream metadata, the icons, the man pages and the systemd user unit.
# Each piece is installed only when the part of the tree that makes it exists.

set(velmora_install_datadir "${CMAKE_INSTALL_DATADIR}/velmora")

foreach(program velmora velmora-service velmora-check velmora-relay)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
    endif()
endforeach()

# countries.nbx and flags/ are generated into the run folder at build time.
if(TARGET velmora_datafiles)
    install(FILES "${VELMORA_RUN_DIR}/countries.nbx" DESTINATION "${velmora_install_datadir}")
    install(DIRECTORY "${VELMORA_RUN_DIR}/flags" DESTINATION "${velmora_install_datadir}")
endif()

# The launcher finds the data folder relative to its own place, so a DESTDIR or relocated
# install works as well as the configured prefix.
file(RELATIVE_PATH VELMORA_LAUNCHER_DATA_REL "${CMAKE_INSTALL_FULL_BINDIR}"
     "${CMAKE_INSTALL_FULL_DATADIR}/velmora")
configure_file("${PROJECT_SOURCE_DIR}/scripts/velmora-launcher" "${CMAKE_BINARY_DIR}/velmora-launcher" @ONLY)
install(PROGRAMS "${CMAKE_BINARY_DIR}/velmora-launcher" DESTINATION "${CMAKE_INSTALL_BINDIR}")

# A systemd user unit for the user's own service, on the port of the built-in service address.
if(TARGET velmora-service)
    set(VELMORA_SERVICE_PORT 8808)
    if(VELMORA_DEFAULT_SERVICE_URL MATCHES ":([0-9]+)/?$")
        set(VELMORA_SERVICE_PORT "${CMAKE_MATCH_1}")
    endif()
    configure_file("${PROJECT_SOURCE_DIR}/tools/service/velmora-service.service.in"
                   "${CMAKE_BINARY_DIR}/velmora-service.service" @ONLY)
    install(FILES "${CMAKE_BINARY_DIR}/velmora-service.service" DESTINATION lib/systemd/user)
endif()

install(FILES "${PROJECT_SOURCE_DIR}/res/velmora.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${CMAKE_BINARY_DIR}/res/${VELMORA_APPSTREAM_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
# res/ makes icons/NxN/apps/velmora.png, the layout of the hicolor theme.
install(DIRECTORY "${CMAKE_BINARY_DIR}/res/icons/" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor")

# Man pages, compressed as Debian installs them: the program's by hand, the three commands' from
# their --help by help2man at build time.
set(man_dir "${CMAKE_BINARY_DIR}/man")
add_custom_command(OUTPUT "${man_dir}/velmora.1.gz"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${man_dir}"
    COMMAND gzip -9nc "${PROJECT_SOURCE_DIR}/res/man/velmora.1" > "${man_dir}/velmora.1.gz"
    DEPENDS "${PROJECT_SOURCE_DIR}/res/man/velmora.1")
set(man_pages "${man_dir}/velmora.1.gz")
find_program(VELMORA_HELP2MAN help2man)
if(VELMORA_HELP2MAN AND TARGET velmora-check AND TARGET velmora-service AND TARGET velmora-relay)
    foreach(entry
            "velmora-check|$<TARGET_FILE:velmora-check>|test SOCKS proxies from a list and keep those that pass"
            "velmora-service|$<TARGET_FILE:velmora-service>|the Velmora proxy service: harvests, tests and serves SOCKS proxies"
            "velmora-relay|$<TARGET_FILE:velmora-relay>|Velmora's local SOCKS relay, which keeps a proxy in effect after Velmora ends"
            "velmora-launcher|${CMAKE_BINARY_DIR}/velmora-launcher|start Velmora with its working folder and proxy service")
        string(REPLACE "|" ";" entry "${entry}")
        list(GET entry 0 name)
        list(GET entry 1 command)
        list(GET entry 2 summary)
        add_custom_command(OUTPUT "${man_dir}/${name}.1.gz"
            COMMAND "${CMAKE_COMMAND}" -E make_directory "${man_dir}"
            COMMAND "${VELMORA_HELP2MAN}" --no-info --no-discard-stderr --section=1
                    "--version-string=${PROJECT_VERSION}" "--name=${summary}"
                    "--include=${PROJECT_SOURCE_DIR}/res/man/see-also.h2m"
                    "--output=${man_dir}/${name}.1" "${command}"
            COMMAND gzip -9nf "${man_dir}/${name}.1"
            DEPENDS "${command}" velmora-check velmora-service velmora-relay "${PROJECT_SOURCE_DIR}/res/man/see-also.h2m"
            VERBATIM)
        list(APPEND man_pages "${man_dir}/${name}.1.gz")
    endforeach()
else()
    message(STATUS "help2man not found: the man pages of velmora-check, velmora-service, velmora-relay and velmora-launcher are not made")
endif()
add_custom_target(velmora_man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
