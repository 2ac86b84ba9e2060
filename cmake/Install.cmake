# What `cmake --install` puts in place: the programs, the data files the program reads from its
# working folder (installed once under share/velmora; the launcher links them into a per-user
# folder), the launcher that the desktop entry starts, the desktop entry and the icon.
# Each piece is installed only when the part of the tree that makes it exists.

set(velmora_install_datadir "${CMAKE_INSTALL_DATADIR}/velmora")

foreach(program velmora velmora-service velmora-check)
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
if(EXISTS "${PROJECT_SOURCE_DIR}/res/icons/velmora.png")
    install(FILES "${PROJECT_SOURCE_DIR}/res/icons/velmora.png"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps")
endif()
