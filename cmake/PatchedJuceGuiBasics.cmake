# The framework's Linux windowing marks the shared-memory segment of a window's image for removal
# only when the image is destroyed, so a host that crashes with the editor open leaves its segments
# behind system-wide (see the patch's own description). juce_gui_basics is therefore compiled from
# a copy of the framework's juce_gui_basics.cpp beside a patched copy of
# native/x11/juce_linux_XWindowSystem.cpp, which the copy includes in place of the original; every
# other file comes from the framework, which stays Debian's and is never vendored. Every target
# that compiles juce_gui_basics gets the copy: the plug-in's shared code (bundle, tests,
# benchmarks), the test host and the fuzz targets. Drop the patch once the framework mends the
# fault, and this file and its include with it.

include(FrameworkPatch)

set(ONDULA_JUCE_GUI_BASICS_PATCH "${CMAKE_CURRENT_LIST_DIR}/patches/juce_linux_XWindowSystem-shared-memory-marked-at-once.patch")

function(ondula_patch_juce_gui_basics)
    # Only these platforms draw windows through that file.
    if(NOT (CMAKE_SYSTEM_NAME STREQUAL "Linux" OR CMAKE_SYSTEM_NAME MATCHES ".*BSD"))
        return()
    endif()

    ondula_patch_module_included_file(juce_gui_basics "native/x11/juce_linux_XWindowSystem.cpp" "${CMAKE_BINARY_DIR}/patched-juce-gui-basics" "${ONDULA_JUCE_GUI_BASICS_PATCH}")
endfunction()
