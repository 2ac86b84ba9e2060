# One interface target with the warnings and strict Qt defines every target shares.
add_library(velmora_common INTERFACE)
target_compile_options(velmora_common INTERFACE
    -Wall -Wextra -pedantic -Wshadow -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual -Wcast-qual)
if(VELMORA_WERROR)
    target_compile_options(velmora_common INTERFACE -Werror)
endif()
target_compile_definitions(velmora_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_URL_CAST_FROM_STRING
    VELMORA_VERSION="${PROJECT_VERSION}"
    VELMORA_DEFAULT_SERVICE_URL="${VELMORA_DEFAULT_SERVICE_URL}")
target_include_directories(velmora_common INTERFACE "${PROJECT_SOURCE_DIR}/src")

if(VELMORA_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(VELMORA_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()
