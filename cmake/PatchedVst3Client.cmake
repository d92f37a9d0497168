# The framework's VST3 plug-in client trusts the size field of the trailer it appends to the saved
# state, so a corrupt project crashes the host; it stores a host's NaN as a parameter's value; of a
# host's parameter changes it keeps one value per block, which reaches the plug-in's sound only
# through the message thread; a block longer than announced overruns its buffers; it clamps
# positions before the timeline's start to 0; it reads a queue without its implicit point, lists
# and announced sizes as large as a host claims, and 64-bit buffers as 32-bit ones; what it
# throws reaches the host; on the audio thread it allocates at every call and calls the
# parameters' listeners, which lock and post messages; and its edit controller, unit calls and
# factory read lists and write through pointers with whatever index or pointer a host hands them;
# its editor view trusts the host's order of calls, frames, sizes and scale factors (see each
# patch's own description). The client is therefore compiled from a copy of the
# framework's juce_VST3_Wrapper.cpp with the patches below applied in order at configure time, and
# includes a patched copy of juce_VST3Common.h written beside it; the framework stays Debian's and
# is never vendored. Drop a patch once the framework mends its fault, and this file and its
# include with the last one.

include(FrameworkPatch)

set(ONDULA_VST3_CLIENT_PATCHES
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-state-trailer.patch"
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-nan-parameter.patch"
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-host-parameter-points.patch"
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-unannounced-block-lengths.patch"
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-negative-positions.patch"
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-implicit-points.patch"
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-parameter-list-bound.patch"
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-refused-call-points.patch"
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-announced-block-size.patch"
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-no-exceptions-to-host.patch"
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-process-sample-size.patch"
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-patched-common-header.patch"
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-parameter-listeners-off-the-audio-thread.patch"
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-host-contract-beyond-processing.patch"
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3_Wrapper-editor-view-contract.patch")

# Applied to a copy of the framework's juce_VST3Common.h, which the patched client includes.
set(ONDULA_VST3_COMMON_PATCHES
    "${CMAKE_CURRENT_LIST_DIR}/patches/juce_VST3Common-channel-mapping-by-reference.patch")

# Replaces the framework's VST3 client source in the interface target that every VST3 plug-in
# target links (here the bundle, OndulaDelay_VST3, and the VST3 fuzz target) by the patched copy.
function(ondula_patch_vst3_client)
    set(client_dir "${JUCE_MODULES_DIR}/juce_audio_plugin_client")
    set(original "${client_dir}/VST3/juce_VST3_Wrapper.cpp")
    set(client_source "${client_dir}/juce_audio_plugin_client_VST3.cpp")
    set(work_dir "${CMAKE_BINARY_DIR}/patched-juce")
    set(patched "${work_dir}/juce_VST3_Wrapper.cpp")

    ondula_patch_framework_file("${original}" "${patched}" ${ONDULA_VST3_CLIENT_PATCHES})

    # Beside the client's copy, which includes it by a relative path: no other compilation sees it.
    ondula_patch_framework_file("${JUCE_MODULES_DIR}/juce_audio_processors/format_types/juce_VST3Common.h"
                                "${work_dir}/juce_VST3Common.h" ${ONDULA_VST3_COMMON_PATCHES})

    ondula_replace_framework_source(juce_audio_plugin_client_VST3 "${client_source}" "${patched}")

    # The copy's relative includes ("../utility/...") resolve against the framework's own folder;
    # the plug-in's interface for the host's parameter points against the project's.
    target_include_directories(juce_audio_plugin_client_VST3 INTERFACE "${client_dir}/VST3" "${CMAKE_SOURCE_DIR}")
endfunction()
