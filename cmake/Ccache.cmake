# Use ccache when it is installed. JUCE expands __DATE__/__TIME__, so the cache only hits with
# time_macros sloppiness; base dir and no-hash-dir let separate build trees share entries.
find_program(ONDULA_CCACHE ccache)
if(ONDULA_CCACHE)
    set(ONDULA_CCACHE_LAUNCHER
        ${CMAKE_COMMAND} -E env
        CCACHE_SLOPPINESS=time_macros
        CCACHE_BASEDIR=${CMAKE_SOURCE_DIR}
        CCACHE_NOHASHDIR=true
        ${ONDULA_CCACHE})
    set(CMAKE_C_COMPILER_LAUNCHER ${ONDULA_CCACHE_LAUNCHER})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${ONDULA_CCACHE_LAUNCHER})
endif()
