# One interface target carries the warning set and the sanitizer flags;
# every target of the project links it privately.
add_library(tolvenka_options INTERFACE)

target_compile_options(tolvenka_options INTERFACE
    -Wall -Wextra -Wpedantic -Wold-style-cast -Woverloaded-virtual
    $<$<BOOL:${TOLVENKA_WERROR}>:-Werror>)

# Texts are 8-bit CP1251 strings; QString must never be built from them
# implicitly, only through the helpers at the widget edge.
target_compile_definitions(tolvenka_options INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII)

if(TOLVENKA_SANITIZE)
    set(_san -fsanitize=${TOLVENKA_SANITIZE} -fno-omit-frame-pointer)
    if(TOLVENKA_SANITIZE MATCHES "undefined")
        list(APPEND _san -fno-sanitize-recover=undefined)
    endif()
    # Sanitizers must see the whole program, so they go on every target,
    # not only on those that link tolvenka_options.
    add_compile_options(${_san})
    add_link_options(${_san})
endif()

if(TOLVENKA_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "TOLVENKA_FUZZ needs clang, which brings libFuzzer")
    endif()
    # libFuzzer steers by the coverage of the code under test, so every
    # target is instrumented; only the fuzz programs link libFuzzer itself.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
