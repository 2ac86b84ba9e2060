include(GoogleTest)

# velmora_add_test(NAME name SOURCES files... LIBS libs... [GUI] [THREADED] [HOSTILE] [LABELS labels...] [TIMEOUT s])
# GUI tests run on Qt's offscreen platform; THREADED tests are run again under ThreadSanitizer in CI;
# HOSTILE tests feed the program hostile input (label "hostile": ctest -L hostile).
function(velmora_add_test)
    cmake_parse_arguments(T "GUI;THREADED;HOSTILE" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE velmora_common ${T_LIBS} GTest::gtest GTest::gtest_main)
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set(labels ${T_LABELS})
    if(T_THREADED)
        list(APPEND labels threaded)
    endif()
    if(T_HOSTILE)
        list(APPEND labels hostile)
    endif()
    set(env "VELMORA_RUN_DIR=${VELMORA_RUN_DIR}" "VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
            "VELMORA_SERVICE_URL=http://127.0.0.1:9" "http_proxy=" "https_proxy=" "all_proxy="
            "XDG_STATE_HOME=" "XDG_CONFIG_HOME=")
    if(T_GUI)
        list(APPEND labels gui)
        list(APPEND env "QT_QPA_PLATFORM=offscreen")
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    # A suite with a skipped case reports as skipped, not as a plain pass, so a missing
    # package or privilege shows in CTest's summary.
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${labels}" ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT}
                                              SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endfunction()
