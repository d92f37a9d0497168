# Google Highway compiles the engine's lane kernel once per instruction set. Only its headers are
# used (the engine detects the processor itself), so the plug-in carries no run-time dependency.
# Found through its CMake package, pkg-config or a plain header search; without it the engine
# builds with its portable lane code alone.
function(ondula_use_highway target)
    set(hints "")

    find_package(hwy CONFIG QUIET)
    if(TARGET hwy::hwy)
        get_target_property(config_dirs hwy::hwy INTERFACE_INCLUDE_DIRECTORIES)
        if(config_dirs)
            list(APPEND hints ${config_dirs})
        endif()
    endif()

    find_package(PkgConfig QUIET)
    if(PKG_CONFIG_FOUND)
        pkg_check_modules(ONDULA_PC_HWY QUIET libhwy)
        if(ONDULA_PC_HWY_FOUND)
            list(APPEND hints ${ONDULA_PC_HWY_INCLUDE_DIRS})
        endif()
    endif()

    find_path(ONDULA_HIGHWAY_INCLUDE_DIR hwy/highway.h HINTS ${hints})

    if(ONDULA_HIGHWAY_INCLUDE_DIR)
        target_include_directories(${target} SYSTEM PRIVATE "${ONDULA_HIGHWAY_INCLUDE_DIR}")
        target_compile_definitions(${target} PRIVATE ONDULA_HAVE_HIGHWAY=1)
    else()
        message(WARNING "Google Highway not found: the delay engine uses its portable lane code only")
        target_compile_definitions(${target} PRIVATE ONDULA_HAVE_HIGHWAY=0)
    endif()
endfunction()
