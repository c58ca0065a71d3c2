# The compile settings every target of ours shares.
include(GNUInstallDirs)

option(HALVANE_WERROR "Treat warnings as errors" OFF)
option(HALVANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(halvane_compile_settings INTERFACE)
target_compile_options(halvane_compile_settings INTERFACE
    -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual
    $<$<BOOL:${HALVANE_WERROR}>:-Werror>)
target_compile_definitions(halvane_compile_settings INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CONTEXTLESS_CONNECT)

if(HALVANE_SANITIZE)
    # -O1 and line tables only (after the build type's -O2 -g, so these count): the checks
    # and their stack traces with lines are the same, and with full debug information the
    # instrumented build took some three times as long to compile.
    add_compile_options(-O1 -g1)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
