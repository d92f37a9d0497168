# The framework's Linux directory iterator turns a file name that is not well-formed UTF-8 into a
# String that overruns its buffer (see the patch's own description), and both the preset strip and
# the framework's file dialog list folders through it. juce_core is therefore compiled from a copy
# of the framework's juce_core.cpp beside a patched copy of native/juce_linux_CommonFile.cpp, which
# the copy includes in place of the original; every other file comes from the framework, which stays
# Debian's and is never vendored. Every target that compiles juce_core gets the copy: the plug-in's
# shared code (bundle, tests, benchmarks), the test host and the fuzz targets. Drop the patch once
# the framework mends the fault, and this file and its include with it.

include(FrameworkPatch)

set(ONDULA_JUCE_CORE_PATCH "${CMAKE_CURRENT_LIST_DIR}/patches/juce_linux_CommonFile-malformed-utf8-names.patch")

function(ondula_patch_juce_core)
    # Only these platforms compile the iterator from that file.
    if(NOT (CMAKE_SYSTEM_NAME STREQUAL "Linux" OR CMAKE_SYSTEM_NAME MATCHES ".*BSD"))
        return()
    endif()

    ondula_patch_module_included_file(juce_core "native/juce_linux_CommonFile.cpp" "${CMAKE_BINARY_DIR}/patched-juce-core" "${ONDULA_JUCE_CORE_PATCH}")
endfunction()
